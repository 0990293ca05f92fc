// Layer III alias reduction: eight butterflies across each subband boundary of the long-block part.
#include <algorithm>

#include "layer3_spectrum.h"
#include "layer3_tables.h"
#include "routine_table.h"

namespace tunelo {

void AliasReduceGeneric(float* lines, int32_t boundaries) {
    const float(*coefficients)[2] = Layer3Tables().AliasCoefTable;
    boundaries = std::clamp(boundaries, 0, 31);
    for (int32_t k = 1; k <= boundaries; ++k) {
        float* boundary = lines + 18 * k;
        for (int32_t j = 0; j < 8; ++j) {
            const float cs = coefficients[j][0];
            const float ca = coefficients[j][1];
            const float below = boundary[-1 - j];
            const float above = boundary[j];
            boundary[-1 - j] = below * cs - above * ca;
            boundary[j] = above * cs + below * ca;
        }
    }
}

void AliasReduceChannel(TMPDecoderState& state, int32_t granule, int32_t channel) {
    granule &= 1;
    channel &= 1;
    const TMPBlockInfo& block = state.BlockInfo[granule][channel];
    if (block.LongBandCount == 0) {
        return;
    }
    int32_t& count = state.NonZeroLines[granule][channel];
    count = std::clamp(count, 0, 576);
    // A mixed block has short bands above its long part: only the boundary inside that part is treated.
    const bool mixed = block.BlockKind != 0;
    const int32_t boundaries = mixed ? 1 : std::min((count + 7) / 18, 31);
    const TMPAliasReduceProc reduce =
        state.Routines.AliasReduce ? state.Routines.AliasReduce : AliasReduceGeneric;
    reduce(state.Lines.Float[channel][granule], boundaries);
    count = std::max(count, 18 * boundaries + 8);
}

} // namespace tunelo
