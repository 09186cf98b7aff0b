// The command-line converter.
#include "frontends/cli/command_line.h"

int main(int argc, char** argv) { return velmorane::RunCommandLine(argc, argv); }
