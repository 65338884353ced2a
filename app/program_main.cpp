// The program: the application object over the machine's own windows, files,
// drives and the resources the program carries. It takes no arguments.
#include "app/run_environment.h"
#include "app/updater_app.h"
#include "platform/text_encoding.h"

int main() {
  ProgramControllers controllers;
  RunEnvironment environment = {platform::HostDesktop(),     platform::HostMachine(),
                                platform::HostFileSystem(),  platform::ProgramResources(),
                                controllers,                 {platform::PathSeparator(), platform::SystemTextEncoding()}};
  COpenTypeUpdaterApp app(environment);
  app.Run();
  return 0;
}
