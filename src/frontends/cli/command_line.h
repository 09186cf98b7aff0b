// Command-line mode: the argument parser, the configuration file and the run log.
#ifndef VELMORANE_FRONTENDS_CLI_COMMAND_LINE_H_
#define VELMORANE_FRONTENDS_CLI_COMMAND_LINE_H_

namespace velmorane {

// Runs one command-line conversion; returns the process exit status.
int RunCommandLine(int argc, char** argv);

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_CLI_COMMAND_LINE_H_
