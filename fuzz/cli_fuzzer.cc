// The command-line parser on arbitrary argument text.
#include <unistd.h>

#include <filesystem>
#include <string>

#include "frontends/cli/command_line.h"
#include "fuzz_support.h"

namespace {

const std::string& LogPath() {
  static const std::string path = velmorane::fuzz::TempFolder("velmorane-cli") + "velmorane.log";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  // A ".cfg" token would read a file named by the input: keep those to the corpus only.
  if (text.find(".cfg") != std::string::npos) return 0;
  velmorane::CommandLineRecord record = velmorane::DefaultCommandLine();
  velmorane::ParseCommandLine(text, record, LogPath());
  if (velmorane::FieldText(record.options.font_face).size() > 49) velmorane::fuzz::Fail("face too long");
  if (velmorane::FieldText(record.options.font_size).size() > 9) velmorane::fuzz::Fail("size too long");
  if (velmorane::FieldText(record.options.rtf_language).size() > 19) velmorane::fuzz::Fail("language too long");
  return 0;
}
