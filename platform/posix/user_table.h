// The users of a POSIX system, from the text of /etc/passwd.
// The file is read directly rather than through the name service switch:
// a statically linked program cannot load the switch's modules, and the
// local users are the ones whose font folders the updater revises.
#ifndef OTU_PLATFORM_POSIX_USER_TABLE_H_
#define OTU_PLATFORM_POSIX_USER_TABLE_H_

#include <string>
#include <vector>

namespace platform {

// The sixth field of each line ("name:password:uid:gid:gecos:home:shell")
// that is an absolute path, in the file's order; comments, blank and short
// lines are left out.
std::vector<std::string> HomeFolders(const std::string& passwd);

// The name of the first line whose user id (third field) is `uid`; empty
// when there is none.
std::string UserNameOf(const std::string& passwd, unsigned uid);

// The whole of a small system file such as /etc/passwd; empty when it
// cannot be read.
std::string ReadTextFile(const char* path);

}  // namespace platform

#endif  // OTU_PLATFORM_POSIX_USER_TABLE_H_
