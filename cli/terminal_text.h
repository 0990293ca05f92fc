// Text from files (names, tags) made safe to print: line breaks and other control characters are shown
// escaped, so a hostile file name cannot move the cursor, clear the screen or forge output lines.
#pragma once

#include <string>

namespace tunelo::cli {

std::string Printable(const std::string& text);

} // namespace tunelo::cli
