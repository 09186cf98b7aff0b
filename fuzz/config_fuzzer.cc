// The configuration-file reader on arbitrary file contents.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "frontends/cli/command_line.h"
#include "fuzz_support.h"

namespace {

const std::string& Folder() {
  static const std::string folder = velmorane::fuzz::TempFolder("velmorane-cfg");
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = Folder() + "input.cfg";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  velmorane::CommandLineRecord record = velmorane::DefaultCommandLine();
  if (velmorane::ReadConfigFile(path, record, Folder() + "velmorane.log") != 1) {
    velmorane::fuzz::Fail("an existing configuration file was not read");
  }
  return 0;
}
