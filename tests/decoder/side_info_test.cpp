#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "MPBitReader.h"
#include "MPDecoderState.h"
#include "MPSideInfo.h"
#include "bit_writer.h"

namespace tunelo {
namespace {

// Every field must fit its width: a value written too wide would shift every field after it.
class BitWriter : public testsupport::TBitWriter {
public:
    void Put(uint32_t value, int bits) {
        ASSERT_TRUE(Fits(value, bits)) << value << " does not fit " << bits << " bits";
        TBitWriter::Put(value, bits);
    }
};

struct FrameHeader {
    uint32_t Sync = 0xFFF;
    int VersionId = 1;
    int Protection = 1;
    int BitrateIndex = 9;
    int SamplingIndex = 0;
    int Padding = 0;
    int Mode = 0;
    int Extension = 0;
};

// The coded fields of one granule and channel.
struct Granule {
    int Part23Length;
    int BigValues;
    int GlobalGain;
    int ScalefacCompress;
    int WindowSwitching;
    int BlockType;
    int Mixed;
    int Tables[3];
    int SubblockGain[3];
    int Region0;
    int Region1;
    int Preflag;
    int ScalefacScale;
    int Count1Table;
};

void PutHeader(BitWriter& w, const FrameHeader& h, uint32_t crc = 0xBEEF) {
    w.Put(h.Sync, 12);
    w.Put(h.VersionId, 1);
    w.Put(1, 2); // Layer III
    w.Put(h.Protection, 1);
    w.Put(h.BitrateIndex, 4);
    w.Put(h.SamplingIndex, 2);
    w.Put(h.Padding, 1);
    w.Put(1, 1); // private bit
    w.Put(h.Mode, 2);
    w.Put(h.Extension, 2);
    w.Put(0b1101, 4); // copyright, original, emphasis
    if (h.Protection == 0) {
        w.Put(crc, 16);
    }
}

void PutGranule(BitWriter& w, const Granule& g, bool mpeg1) {
    w.Put(g.Part23Length, 12);
    w.Put(g.BigValues, 9);
    w.Put(g.GlobalGain, 8);
    w.Put(g.ScalefacCompress, mpeg1 ? 4 : 9);
    w.Put(g.WindowSwitching, 1);
    if (g.WindowSwitching != 0) {
        w.Put(g.BlockType, 2);
        w.Put(g.Mixed, 1);
        w.Put(g.Tables[0], 5);
        w.Put(g.Tables[1], 5);
        for (int gain : g.SubblockGain) {
            w.Put(gain, 3);
        }
    } else {
        for (int table : g.Tables) {
            w.Put(table, 5);
        }
        w.Put(g.Region0, 4);
        w.Put(g.Region1, 3);
    }
    if (mpeg1) {
        w.Put(g.Preflag, 1);
    }
    w.Put(g.ScalefacScale, 1);
    w.Put(g.Count1Table, 1);
}

const Granule kLong = {3001, 288, 210, 9, 0, 3, 1, {1, 15, 31}, {7, 7, 7}, 14, 6, 1, 1, 0};
const Granule kShort = {1234, 100, 255, 15, 1, 2, 0, {24, 13, 0}, {1, 2, 3}, 0, 0, 0, 0, 1};
const Granule kStart = {4095, 511, 0, 0, 1, 1, 1, {5, 6, 0}, {4, 5, 6}, 0, 0, 1, 1, 1};
const Granule kPlain = {17, 1, 128, 3, 0, 0, 0, {0, 2, 4}, {0, 0, 0}, 0, 7, 0, 1, 1};

constexpr int32_t kUntouched = -77;

std::unique_ptr<TMPDecoderState> MakeState() {
    auto state = std::make_unique<TMPDecoderState>();
    for (auto& granule : state->GranuleInfo) {
        for (TMPGranuleInfo& info : granule) {
            int32_t* fields = &info.Part23Length;
            for (size_t i = 0; i < sizeof info / sizeof(int32_t); ++i) {
                fields[i] = kUntouched;
            }
        }
    }
    state->Scfsi[0] = state->Scfsi[1] = kUntouched;
    state->FrameLength = kUntouched;
    return state;
}

// Starts the state's reader on the frame and reads past the sync bits, as the frame decoder does.
void StartReader(TMPDecoderState& state, const std::vector<uint8_t>& bytes) {
    BitStart(state.Reader, bytes.data(), bytes.data() + bytes.size());
    BitRead(state.Reader, 12);
}

// What the reader must have stored for a coded granule.
void ExpectGranule(const TMPGranuleInfo& got, const Granule& coded, int32_t storedGain, int32_t region0,
                   int32_t region1, int32_t preflag) {
    EXPECT_EQ(got.Part23Length, coded.Part23Length);
    EXPECT_EQ(got.BigValues, coded.BigValues);
    EXPECT_EQ(got.GlobalGain, storedGain);
    EXPECT_EQ(got.ScalefacCompress, coded.ScalefacCompress);
    EXPECT_EQ(got.WindowSwitchingFlag, coded.WindowSwitching);
    if (coded.WindowSwitching != 0) {
        EXPECT_EQ(got.BlockType, coded.BlockType);
        EXPECT_EQ(got.MixedBlockFlag, coded.Mixed);
        EXPECT_EQ(got.TableSelect[0], coded.Tables[0]);
        EXPECT_EQ(got.TableSelect[1], coded.Tables[1]);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(got.SubblockGain[i], coded.SubblockGain[i]);
        }
    } else {
        EXPECT_EQ(got.BlockType, 0);
        EXPECT_EQ(got.MixedBlockFlag, 0);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(got.TableSelect[i], coded.Tables[i]);
            EXPECT_EQ(got.SubblockGain[i], kUntouched); // not coded for long blocks: left as they were
        }
    }
    EXPECT_EQ(got.Region0Count, region0);
    EXPECT_EQ(got.Region1Count, region1);
    EXPECT_EQ(got.Preflag, preflag);
    EXPECT_EQ(got.ScalefacScale, coded.ScalefacScale);
    EXPECT_EQ(got.Count1TableSelect, coded.Count1Table);
}

void ExpectMpeg1Granule(const TMPGranuleInfo& got, const Granule& coded, int32_t gainShift) {
    SCOPED_TRACE(coded.Part23Length);
    const bool switched = coded.WindowSwitching != 0;
    ExpectGranule(got, coded, coded.GlobalGain + gainShift, switched ? 7 : coded.Region0,
                  switched ? 13 : coded.Region1, coded.Preflag);
}

TEST(SideInfoMpeg1, JointStereoWithMiddleSideLowersEveryGlobalGainByTwo) {
    BitWriter w;
    FrameHeader header;
    header.BitrateIndex = 11; // 192 kbit/s
    header.SamplingIndex = 1; // 48000 Hz
    header.Padding = 1;
    header.Mode = 1;
    header.Extension = 2;
    PutHeader(w, header);
    w.Put(511, 9); // main_data_begin
    w.Put(5, 3);   // private bits
    w.Put(0b1010, 4);
    w.Put(0b0101, 4);
    PutGranule(w, kLong, true);
    PutGranule(w, kShort, true);
    PutGranule(w, kStart, true);
    PutGranule(w, kPlain, true);
    ASSERT_EQ(w.Bits, 36 * 8);
    const auto bytes = w.BytesThen(8, 0xFF);

    auto state = MakeState();
    StartReader(*state, bytes);
    EXPECT_EQ(ReadSideInfoMpeg1(*state), 36);
    EXPECT_EQ(BitConsumed(state->Reader), 36 * 8);
    EXPECT_EQ(state->VersionId, 1);
    EXPECT_EQ(state->SamplingIndex, 1);
    EXPECT_EQ(state->PaddingBit, 1);
    EXPECT_EQ(state->CrcBytes, 0);
    EXPECT_EQ(state->FrameLength, 576); // 144000 x 192 / 48000
    EXPECT_EQ(state->Channels, 2);
    EXPECT_EQ(state->StereoFlag, 1);
    EXPECT_EQ(state->Mode, 1);
    EXPECT_EQ(state->ModeExtension, 2);
    EXPECT_EQ(state->MsStereo, 1);
    EXPECT_EQ(state->IntensityStereo, 0);
    EXPECT_EQ(state->MainDataBegin, 511);
    EXPECT_EQ(state->PrivateBits, 5);
    EXPECT_EQ(state->Scfsi[0], 0b1010);
    EXPECT_EQ(state->Scfsi[1], 0b0101);
    // Granule 0 then granule 1, channel 0 before channel 1.
    ExpectMpeg1Granule(state->GranuleInfo[0][0], kLong, -2);
    ExpectMpeg1Granule(state->GranuleInfo[0][1], kShort, -2);
    ExpectMpeg1Granule(state->GranuleInfo[1][0], kStart, -2);
    ExpectMpeg1Granule(state->GranuleInfo[1][1], kPlain, -2);
    // Switched blocks code two tables only: the third is not read.
    EXPECT_EQ(state->GranuleInfo[0][1].TableSelect[2], kUntouched);

    // With the mixing offset the gains go down by 4 more.
    state = MakeState();
    state->GlobalGainOffset = -4;
    StartReader(*state, bytes);
    ReadSideInfoMpeg1(*state);
    ExpectMpeg1Granule(state->GranuleInfo[0][0], kLong, -6);
    ExpectMpeg1Granule(state->GranuleInfo[1][1], kPlain, -6);
}

TEST(SideInfoMpeg1, ModeExtensionCountsInJointStereoOnly) {
    struct Case {
        int Mode, Extension, StoredExtension, Ms, Intensity;
    };
    const Case cases[] = {
        {0, 3, 0, 0, 0}, {2, 3, 0, 0, 0}, {1, 1, 1, 0, 1}, {1, 3, 3, 1, 1}, {1, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.Mode << " extension " << c.Extension);
        BitWriter w;
        FrameHeader header;
        header.Mode = c.Mode;
        header.Extension = c.Extension;
        PutHeader(w, header);
        w.Put(0, 9 + 3 + 8);
        PutGranule(w, kPlain, true);
        PutGranule(w, kLong, true);
        PutGranule(w, kShort, true);
        PutGranule(w, kStart, true);
        const auto bytes = w.BytesThen(8, 0xFF);
        auto state = MakeState();
        StartReader(*state, bytes);
        EXPECT_EQ(ReadSideInfoMpeg1(*state), 36);
        EXPECT_EQ(state->Mode, c.Mode);
        EXPECT_EQ(state->ModeExtension, c.StoredExtension);
        EXPECT_EQ(state->MsStereo, c.Ms);
        EXPECT_EQ(state->IntensityStereo, c.Intensity);
        EXPECT_EQ(state->GranuleInfo[0][0].GlobalGain, kPlain.GlobalGain - 2 * c.Ms);
        EXPECT_EQ(state->GranuleInfo[1][1].GlobalGain, kStart.GlobalGain - 2 * c.Ms);
    }
}

TEST(SideInfoMpeg1, ProtectedFrameSkipsTheCrcWord) {
    BitWriter w;
    FrameHeader header;
    header.Protection = 0;
    header.BitrateIndex = 14; // 320 kbit/s
    header.SamplingIndex = 2; // 32000 Hz
    header.Mode = 2;
    PutHeader(w, header, 0xFFFF);
    w.Put(300, 9);
    w.Put(0, 3);
    w.Put(0b1111, 4);
    w.Put(0, 4);
    PutGranule(w, kShort, true);
    PutGranule(w, kLong, true);
    PutGranule(w, kPlain, true);
    PutGranule(w, kStart, true);
    const auto bytes = w.BytesThen(8, 0xFF);

    auto state = MakeState();
    StartReader(*state, bytes);
    EXPECT_EQ(ReadSideInfoMpeg1(*state), 36);
    EXPECT_EQ(state->CrcBytes, 2);
    EXPECT_EQ(BitConsumed(state->Reader), (36 + 2) * 8); // main data begins 38 bytes into the frame
    EXPECT_EQ(state->FrameLength, 1440);
    EXPECT_EQ(state->MainDataBegin, 300);
    EXPECT_EQ(state->Scfsi[0], 0b1111);
    ExpectMpeg1Granule(state->GranuleInfo[0][0], kShort, 0);
    ExpectMpeg1Granule(state->GranuleInfo[1][1], kStart, 0);
}

TEST(SideInfoMpeg1, SingleChannelFrameHasFivePrivateBitsAndOneChannel) {
    BitWriter w;
    FrameHeader header;
    header.Mode = 3;
    header.Extension = 3; // ignored outside joint stereo
    header.BitrateIndex = 0;
    PutHeader(w, header);
    w.Put(7, 9);
    w.Put(0b10011, 5);
    w.Put(0b0110, 4);
    PutGranule(w, kStart, true);
    PutGranule(w, kLong, true);
    ASSERT_EQ(w.Bits, 21 * 8);
    const auto bytes = w.BytesThen(8, 0xFF);

    auto state = MakeState();
    state->FrameLength = 417; // from set-up: a free-format frame keeps it
    StartReader(*state, bytes);
    EXPECT_EQ(ReadSideInfoMpeg1(*state), 21);
    EXPECT_EQ(BitConsumed(state->Reader), 21 * 8);
    EXPECT_EQ(state->FrameLength, 417);
    EXPECT_EQ(state->Channels, 1);
    EXPECT_EQ(state->StereoFlag, 0);
    EXPECT_EQ(state->ModeExtension, 0);
    EXPECT_EQ(state->MainDataBegin, 7);
    EXPECT_EQ(state->PrivateBits, 0b10011);
    EXPECT_EQ(state->Scfsi[0], 0b0110);
    ExpectMpeg1Granule(state->GranuleInfo[0][0], kStart, 0);
    ExpectMpeg1Granule(state->GranuleInfo[1][0], kLong, 0);
    EXPECT_EQ(state->GranuleInfo[0][1].Part23Length, kUntouched);
    EXPECT_EQ(state->GranuleInfo[1][1].Part23Length, kUntouched);
}

void ExpectLsfGranule(const TMPGranuleInfo& got, const Granule& coded, int32_t gainShift) {
    SCOPED_TRACE(coded.Part23Length);
    int32_t region0 = coded.Region0;
    int32_t region1 = coded.Region1;
    if (coded.WindowSwitching != 0) {
        region0 = coded.BlockType == 2 ? 5 : 7;
        region1 = coded.BlockType == 2 ? 15 : 13;
    }
    ExpectGranule(got, coded, coded.GlobalGain + gainShift, region0, region1, 0);
}

const Granule kLsfShort = {900, 200, 170, 500, 1, 2, 1, {7, 8, 0}, {2, 4, 6}, 0, 0, 1, 1, 0};
const Granule kLsfLong = {600, 150, 99, 511, 0, 0, 0, {9, 10, 11}, {0, 0, 0}, 15, 7, 1, 0, 1};

TEST(SideInfoLsf, SingleChannelShortBlocksGetRegionCountsFiveAndFifteen) {
    BitWriter w;
    FrameHeader header;
    header.VersionId = 0;
    header.BitrateIndex = 9; // 80 kbit/s
    header.SamplingIndex = 0;
    header.Mode = 3;
    PutHeader(w, header);
    w.Put(255, 8); // main_data_begin
    w.Put(1, 1);   // private bit
    PutGranule(w, kLsfShort, false);
    ASSERT_EQ(w.Bits, 13 * 8);
    const auto bytes = w.BytesThen(8, 0xFF);

    auto state = MakeState();
    StartReader(*state, bytes);
    EXPECT_EQ(ReadSideInfoLsf(*state, 1), 13);
    EXPECT_EQ(BitConsumed(state->Reader), 13 * 8);
    EXPECT_EQ(state->VersionId, 0);
    EXPECT_EQ(state->FrameLength, 261); // 72000 x 80 / 22050
    EXPECT_EQ(state->Channels, 1);
    EXPECT_EQ(state->StereoFlag, 0);
    EXPECT_EQ(state->MainDataBegin, 255);
    EXPECT_EQ(state->PrivateBits, 1);
    EXPECT_EQ(state->Scfsi[0], 0);
    EXPECT_EQ(state->Scfsi[1], 0);
    // Only the given slot is filled; preflag is left to the scale-factor reader.
    ExpectLsfGranule(state->GranuleInfo[1][0], kLsfShort, 0);
    EXPECT_EQ(state->GranuleInfo[0][0].Part23Length, kUntouched);
    EXPECT_EQ(state->GranuleInfo[1][1].Part23Length, kUntouched);
}

TEST(SideInfoLsf, StereoFrameReadsBothChannelsIntoTheSlot) {
    BitWriter w;
    FrameHeader header;
    header.VersionId = 0;
    header.Protection = 0;
    header.BitrateIndex = 14; // 160 kbit/s
    header.SamplingIndex = 1; // 24000 Hz
    header.Padding = 1;
    header.Mode = 1;
    header.Extension = 3;
    PutHeader(w, header);
    w.Put(17, 8);
    w.Put(2, 2);
    PutGranule(w, kStart, false);
    PutGranule(w, kLsfLong, false);
    ASSERT_EQ(w.Bits, (21 + 2) * 8);
    const auto bytes = w.BytesThen(8, 0xFF);

    auto state = MakeState();
    state->GlobalGainOffset = -4;
    StartReader(*state, bytes);
    EXPECT_EQ(ReadSideInfoLsf(*state, 0), 21);
    EXPECT_EQ(BitConsumed(state->Reader), (21 + 2) * 8);
    EXPECT_EQ(state->CrcBytes, 2);
    EXPECT_EQ(state->PaddingBit, 1);
    EXPECT_EQ(state->FrameLength, 480); // 72000 x 160 / 24000
    EXPECT_EQ(state->Channels, 2);
    EXPECT_EQ(state->StereoFlag, 1);
    EXPECT_EQ(state->MsStereo, 1);
    EXPECT_EQ(state->IntensityStereo, 1);
    EXPECT_EQ(state->MainDataBegin, 17);
    EXPECT_EQ(state->PrivateBits, 2);
    ExpectLsfGranule(state->GranuleInfo[0][0], kStart, -6); // block type 1: 7 and 13
    ExpectLsfGranule(state->GranuleInfo[0][1], kLsfLong, -6);
    EXPECT_EQ(state->GranuleInfo[1][0].Part23Length, kUntouched);
}

TEST(SideInfoLsf, TheSyncOfTheFrameDecidesTheLengthRule) {
    BitWriter w;
    FrameHeader header;
    header.Sync = 0xFFE;
    header.VersionId = 0;
    header.BitrateIndex = 9; // 80 kbit/s
    header.SamplingIndex = 0;
    header.Mode = 3;
    PutHeader(w, header);
    w.Put(0, 9);
    PutGranule(w, kLsfLong, false);
    const auto bytes = w.BytesThen(8, 0xFF);

    auto state = MakeState();
    state->IsMpeg25 = 1;
    BitStart(state->Reader, bytes.data(), bytes.data() + bytes.size());
    ASSERT_EQ(BitRead(state->Reader, 12), 0xFFEu);
    EXPECT_EQ(ReadSideInfoLsf(*state, 0), 13);
    EXPECT_EQ(state->FrameLength, 522); // 72000 x 80 / 11025
    ExpectLsfGranule(state->GranuleInfo[0][0], kLsfLong, 0);

    state->IsMpeg25 = 0;
    StartReader(*state, bytes);
    ReadSideInfoLsf(*state, 0);
    EXPECT_EQ(state->FrameLength, 261);
}

TEST(SideInfoLsf, AReservedSamplingIndexGivesNoPositiveLength) {
    BitWriter w;
    FrameHeader header;
    header.VersionId = 0;
    header.SamplingIndex = 3;
    header.Mode = 3;
    PutHeader(w, header);
    w.Put(0, 9);
    PutGranule(w, kLsfLong, false);
    const auto bytes = w.BytesThen(8, 0xFF);
    auto state = MakeState();
    StartReader(*state, bytes);
    ReadSideInfoLsf(*state, 0);
    EXPECT_LE(state->FrameLength, 0);
}

} // namespace
} // namespace tunelo
