// The equalizer's arithmetic: what a band gain of -100..100 means as a factor, the headroom that keeps
// every boost below full scale, and where each sub-band of the synthesis sits in frequency.
#pragma once

#include <cstdint>
#include <span>

namespace tunelo {

// A band gain in decibels: -100..100 stands for -20 dB..+20 dB (the factor 10^(gain / 100)).
double BandGainDecibels(int32_t gain);

// How far a tone at the edge between two sub-bands can come out above the louder band's gain, in dB, when
// the bands' gains differ (0 when they are equal; at most 1.64 dB).
double BandEdgeOvershootDecibels(double loudestDecibels, double quietestDecibels);

// How far every band is moved, in dB: down by the largest boost, so that the loudest band sits at 0 dB,
// and further by what the edge between unequal bands can add; then by the pre-amp. A pre-amp below 0 dB
// leaves that much more room; one above 0 dB lifts the bands only as far as that room allows. So a boost
// never clips a tone that the unequalized decode would not clip.
double EqualizerShiftDecibels(std::span<const int32_t> gains, double preampDecibels);

// The factor the decoder multiplies a band by: its gain moved by the shift, computed in one step so that
// a band whose boost the shift takes back exactly is 1.0 exactly.
float EqualizerFactor(int32_t gain, double shiftDecibels);

// The centre in Hz of synthesis sub-band 0..31 at the sample rate, to the nearest Hz (halves to even).
int32_t SubbandCentreFrequency(int32_t sampleRate, int32_t subband);

} // namespace tunelo
