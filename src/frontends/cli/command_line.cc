// Command-line mode (placeholder: input and output folder only).
#include "frontends/cli/command_line.h"

#include <string>

#include "core/engine.h"

namespace velmorane {

int RunCommandLine(int argc, char** argv) {
  if (argc < 3) return 4;
  std::string input = argv[1];
  std::string output = argv[2];
  EngineSettings settings;
  InitEngineSettings(settings);
  ConversionOptions options{};
  Engine engine;
  return static_cast<int>(engine.ConvertHtmlFile(input, output, ConvertRequest{}, options, settings));
}

}  // namespace velmorane
