// Whole-file reading and atomic writing for the command-line front end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tunelo::cli {

// Reads the whole file; on failure returns false and a reason ("No such file or directory", ...).
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason);

// Size of a leading ID3v2 tag (header, body and footer), 0 when the bytes do not start with one.
size_t LeadingId3v2Size(const uint8_t* bytes, size_t size);

} // namespace tunelo::cli
