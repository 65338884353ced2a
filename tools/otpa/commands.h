// The subcommands of otpa, each called with the arguments after its name
// (argv[0] is the subcommand's name) and returning the process exit status.
#ifndef OTU_TOOLS_OTPA_COMMANDS_H_
#define OTU_TOOLS_OTPA_COMMANDS_H_

int RunApply(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunUpdate(int argc, char** argv);
int RunMake(int argc, char** argv);

#endif  // OTU_TOOLS_OTPA_COMMANDS_H_
