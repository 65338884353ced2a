// The program: the application object over the machine's own windows, files,
// drives and the resources the program carries.
#include "app/run_environment.h"
#include "app/updater_app.h"
#include "platform/command_line.h"
#include "platform/text_encoding.h"

int main(int argc, char** argv) {
  int status = 0;
  if (platform::AnswerCommandLine(argc, argv, &status)) return status;
  ProgramControllers controllers;
  RunEnvironment environment = {platform::HostDesktop(),     platform::HostMachine(),
                                platform::HostFileSystem(),  platform::ProgramResources(),
                                controllers,                 {platform::PathSeparator(), platform::SystemTextEncoding()}};
  COpenTypeUpdaterApp app(environment);
  app.Run();
  return 0;
}
