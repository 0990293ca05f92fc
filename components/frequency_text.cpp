#include "frequency_text.h"

#include <cmath>
#include <cstdio>

namespace tunelo {

std::string CompactFrequencyText(int32_t hertz) {
    char text[16];
    if (hertz < 1000) {
        std::snprintf(text, sizeof text, "%d", static_cast<int>(hertz));
        return text;
    }
    // Decided on the rounded value, so 9991 Hz reads "10k" rather than "10.0k".
    // Integers only: the decimal point must not follow the desktop's locale.
    const auto tenths = static_cast<int>(std::nearbyint(hertz / 100.0));
    if (tenths < 100) {
        std::snprintf(text, sizeof text, "%d.%dk", tenths / 10, tenths % 10);
    } else {
        std::snprintf(text, sizeof text, "%dk", static_cast<int>(std::nearbyint(hertz / 1000.0)));
    }
    return text;
}

} // namespace tunelo
