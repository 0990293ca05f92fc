// Text in a legacy code page (Windows-1251, Shift-JIS, ...) converted to UTF-8 with the C library's iconv.
#pragma once

#include <string>
#include <string_view>

namespace tunelo {

// Whether the name stands for Latin-1 (or is empty), which needs no conversion table.
bool IsLatin1(std::string_view codePage);

// Converts bytes from the code page to UTF-8. Bytes without a character in the code page become U+FFFD;
// a multi-byte character cut off at the end is dropped. False when iconv does not know the code page.
bool ConvertFromCodePage(std::string_view bytes, std::string_view codePage, std::string& utf8);

} // namespace tunelo
