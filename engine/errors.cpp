#include "errors.h"

#include <cstdio>

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

void RaiseListIndexError(int32_t index) {
    char message[96];
    std::snprintf(message, sizeof message, "リストのインデックスが範囲を超えています (%d)", index);
    throw EMPError(message);
}

} // namespace tunelo
