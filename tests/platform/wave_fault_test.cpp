// What a failed wave call means for the person at the computer, and the chosen device as they know it.
#include <pulse/def.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "wave_backend.h"
#include "wave_device.h"

namespace tunelo {
namespace {

struct TFaultCase {
    int32_t Code;
    TMPWaveFault Fault;
};

class WaveFaultTest : public ::testing::TestWithParam<TFaultCase> {};

TEST_P(WaveFaultTest, SaysWhetherThereIsNoDeviceOrABusyOne) {
    EXPECT_EQ(WaveOutFault(GetParam().Code), GetParam().Fault) << GetParam().Code;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, WaveFaultTest,
    ::testing::Values(TFaultCase{-ENOENT, TMPWaveFault::NoDevice},
                      TFaultCase{-ENODEV, TMPWaveFault::NoDevice}, TFaultCase{-EBUSY, TMPWaveFault::Busy},
                      TFaultCase{-EAGAIN, TMPWaveFault::Busy}, TFaultCase{-EPIPE, TMPWaveFault::Other},
                      TFaultCase{kPulseErrorBase + PA_ERR_CONNECTIONREFUSED, TMPWaveFault::NoDevice},
                      TFaultCase{kPulseErrorBase + PA_ERR_NOENTITY, TMPWaveFault::NoDevice},
                      TFaultCase{kPulseErrorBase + PA_ERR_BUSY, TMPWaveFault::Busy},
                      TFaultCase{kPulseErrorBase + PA_ERR_CONNECTIONTERMINATED, TMPWaveFault::Lost},
                      TFaultCase{kPulseErrorBase + PA_ERR_PROTOCOL, TMPWaveFault::Other},
                      TFaultCase{WAVERR_NOSOUNDDEVICE, TMPWaveFault::NoDevice},
                      TFaultCase{MMSYSERR_NODRIVER, TMPWaveFault::NoDevice},
                      TFaultCase{WAVERR_BADFORMAT, TMPWaveFault::Other},
                      TFaultCase{MMSYSERR_NOERROR, TMPWaveFault::Other}));

struct TNameCase {
    const char* Choice;
    const char* Name;
};

class WaveDeviceNameTest : public ::testing::TestWithParam<TNameCase> {
protected:
    void TearDown() override { SetWaveOutputChoice({}); }
};

TEST_P(WaveDeviceNameTest, NamesTheChosenDevice) {
    SetWaveOutputChoice(GetParam().Choice);
    EXPECT_EQ(WaveOutDeviceName(), GetParam().Name);
}

INSTANTIATE_TEST_SUITE_P(Choices, WaveDeviceNameTest,
                         ::testing::Values(TNameCase{"alsa", "ALSA device \"default\""},
                                           TNameCase{"alsa:hw:1,0", "ALSA device \"hw:1,0\""},
                                           TNameCase{"pulse", "the sound server's default output"},
                                           TNameCase{"pulse:speakers", "sound server output \"speakers\""},
                                           TNameCase{"null", "the silent null output"},
                                           TNameCase{"file:/tmp/out.wav",
                                                     "recording file \"/tmp/out.wav\""}));

} // namespace
} // namespace tunelo
