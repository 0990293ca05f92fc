// Turning the bytes of tags into UTF-8 text. Tags carry UTF-8, Latin-1 or UTF-16; text that is not valid
// UTF-8 is taken as Latin-1, and UTF-16 follows its byte-order mark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tunelo {

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The bytes as UTF-8: unchanged when they are valid UTF-8, else read as Latin-1.
std::string TextFromBytes(std::string_view bytes);
std::string TextFromBytes(const uint8_t* bytes, size_t count);

// Text of a fixed-size field: at most count bytes, ending at the first zero byte, without trailing
// blanks and control characters (bytes up to 0x20); then as TextFromBytes. UTF-8 text that fills the
// field and was cut inside its last character stays UTF-8, without that character.
std::string FixedText(const uint8_t* bytes, size_t count);

// UTF-16 text of count bytes as UTF-8. A leading byte-order mark chooses the byte order and is dropped;
// without one, bigEndian decides. The text ends at the first zero code unit or at the last whole code
// unit; trailing blanks and control characters are dropped; unpaired surrogates become U+FFFD.
std::string TextFromUtf16(const uint8_t* bytes, size_t count, bool bigEndian);

// Number of characters (code points) of UTF-8 text.
size_t CharacterCount(std::string_view utf8);

} // namespace tunelo
