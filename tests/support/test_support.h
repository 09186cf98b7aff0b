// Small helpers shared by the test binaries.
#ifndef VELMORANE_TESTS_SUPPORT_TEST_SUPPORT_H_
#define VELMORANE_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <string>
#include <string_view>

#include "base/options.h"
#include "engine/engine.h"

namespace velmorane::testing {

// The command line's default options (Arial 10, justified, English, A4 portrait).
ConversionOptions DefaultOptions();

// Default engine settings with tracing off.
EngineSettings DefaultSettings();

// Converts HTML in memory with the given mode and options; returns the output text.
std::string Convert(std::string_view html, const ConversionOptions& options,
                    int output_mode = kModeRtfTables, bool convert_images = false,
                    const EngineSettings* settings = nullptr);

// The whole file as bytes (empty when it cannot be read).
std::string ReadBytes(const std::string& path);

// Writes bytes to a file, making its folder first.
void WriteBytes(const std::string& path, std::string_view bytes);

// A fresh empty folder under the system temp folder, removed at exit of the process.
std::string MakeTempFolder();

}  // namespace velmorane::testing

#endif  // VELMORANE_TESTS_SUPPORT_TEST_SUPPORT_H_
