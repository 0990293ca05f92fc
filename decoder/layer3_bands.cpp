// The scale-factor band tables of one stream, copied from the standard's tables into the state.
#include "frame_driver.h"
#include "standard_tables.h"

namespace tunelo {

void CopyBandTables(TMPDecoderState& state, int32_t row) {
    const int16_t* longEnd = kSfbLongEnd[row][state.SamplingIndex];
    const int16_t* shortEnd = kSfbShortEnd[row][state.SamplingIndex];
    for (int32_t b = 0; b < 22; ++b) {
        state.SfbLongEnd[b] = longEnd[b];
        state.SfbLongWidth[b] = longEnd[b] - (b > 0 ? longEnd[b - 1] : 0);
    }
    for (int32_t b = 0; b < 13; ++b) {
        state.SfbShortEnd3[b] = 3 * shortEnd[b];
        state.SfbShortWidth[b] = shortEnd[b] - (b > 0 ? shortEnd[b - 1] : 0);
    }
}

} // namespace tunelo
