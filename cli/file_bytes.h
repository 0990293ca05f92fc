// Whole-file reading for the command-line benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tunelo::cli {

// Reads the whole file; on failure returns false and a reason ("No such file or directory", ...).
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason);

} // namespace tunelo::cli
