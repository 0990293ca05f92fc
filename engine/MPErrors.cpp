#include "MPErrors.h"

namespace tunelo {

namespace {

std::string AssertionText(const std::string& unit, int32_t line, const std::string& text) {
    return (text.empty() ? std::string("Assertion failure") : text) + " (" + unit + ", line " +
           std::to_string(line) + ")";
}

} // namespace

EMPAssertionFailed::EMPAssertionFailed(const std::string& unit, int32_t line, const std::string& text)
    : EMPError(AssertionText(unit, line, text)), FUnit(unit), FLine(line) {}

void RaiseAssertionFailed(const char* unit, int32_t line, const char* text) {
    throw EMPAssertionFailed(unit, line, text != nullptr ? text : "");
}

} // namespace tunelo
