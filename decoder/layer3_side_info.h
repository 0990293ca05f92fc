// Layer III side information: the header bits as the frame decoder re-reads them, the CRC word, and the
// per-granule, per-channel fields, in the MPEG-1 form and in the low-sampling-frequency form.
#pragma once

#include <cstdint>

#include "decoder_state.h"

namespace tunelo {

// Both readers take state.Reader placed just after the 12 sync bits and leave it after the side
// information. They fill the frame fields and GranuleInfo, and return the bytes of header plus side
// information (CRC word not included).

// MPEG-1: both granules. Returns 21 for a single-channel frame, 36 otherwise.
int32_t ReadSideInfoMpeg1(TMPDecoderState& state);

// MPEG-2 and MPEG-2.5: the frame's one granule, into GranuleInfo[granuleSlot]. state.IsMpeg25 must tell
// the frame's sync (it decides the frame length). Returns 13 for a single-channel frame, 21 otherwise.
int32_t ReadSideInfoLsf(TMPDecoderState& state, int32_t granuleSlot);

} // namespace tunelo
