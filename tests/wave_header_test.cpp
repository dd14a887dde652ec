// Tests of the WAV header record: setter arithmetic, byte layout and write failures.
#include "wave/wave_header.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/test_support.h"

namespace {

class WaveHeaderTest : public ::testing::Test {
protected:
    void SetUp() override { ResetWaveHeader(); }
};

void FillDefaultGeneration() {
    SetSampleSize(16);
    SetSampleRate(44100);
    SetNumChannels(1);
    SetSampleCount(1323000);
    SetFormatTag(1);
}

TEST_F(WaveHeaderTest, DefaultGenerationFillsEveryField) {
    FillDefaultGeneration();
    EXPECT_EQ(WaveHeader.chunkSize, 2646036);
    EXPECT_EQ(WaveHeader.formatChunkSize, 16);
    EXPECT_EQ(WaveHeader.formatTag, 1);
    EXPECT_EQ(WaveHeader.numChannels, 1);
    EXPECT_EQ(WaveHeader.sampleRate, 44100);
    EXPECT_EQ(WaveHeader.avgBytesPerSec, 88200);
    EXPECT_EQ(WaveHeader.blockAlign, 2);
    EXPECT_EQ(WaveHeader.sampleSize, 16);
    EXPECT_EQ(WaveHeader.dataSize, 2646000);
    EXPECT_EQ(WaveHeader.sampleCount, 1323000);
}

TEST_F(WaveHeaderTest, DefaultGenerationWritesGoldenBytes) {
    FillDefaultGeneration();
    RecordingStream stream;
    EXPECT_EQ(WriteWaveHeader(stream.file()), 44);
    const std::vector<unsigned char> expected = {
        0x52, 0x49, 0x46, 0x46, 0x14, 0x60, 0x28, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74,
        0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x88, 0x58,
        0x01, 0x00, 0x02, 0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0xF0, 0x5F, 0x28, 0x00};
    EXPECT_EQ(stream.bytes(), expected);
    // One write call per item: 4 ids, 5 longs and 4 shorts.
    if (RecordingStream::kRecordsWrites) {
        EXPECT_EQ(stream.writeSizes(),
                  (std::vector<size_t>{4, 4, 4, 4, 4, 2, 2, 4, 4, 2, 2, 4, 4}));
    }
}

// Tag and channel count differ, as do all the other fields, so that two fields written in
// each other's place show.
TEST_F(WaveHeaderTest, EveryFieldLandsAtItsOwnOffset) {
    SetSampleSize(24);
    SetSampleRate(48000);
    SetNumChannels(2);
    SetSampleCount(10);
    SetFormatTag(3);
    RecordingStream stream;
    EXPECT_EQ(WriteWaveHeader(stream.file()), 44);
    const std::vector<unsigned char> expected = {
        'R',  'I',  'F',  'F',  0x60, 0x00, 0x00, 0x00,  // 16 + 60 + 20 = 96
        'W',  'A',  'V',  'E',  'f',  'm',  't',  ' ',
        0x10, 0x00, 0x00, 0x00, 0x03, 0x00,               // format tag 3
        0x02, 0x00,                                       // 2 channels
        0x80, 0xBB, 0x00, 0x00,                           // 48000 Hz
        0x00, 0x65, 0x04, 0x00,                           // 288000 bytes per second
        0x06, 0x00,                                       // 6 bytes per frame
        0x18, 0x00,                                       // 24 bits
        'd',  'a',  't',  'a',  0x3C, 0x00, 0x00, 0x00};  // 60 bytes
    EXPECT_EQ(stream.bytes(), expected);
}

TEST_F(WaveHeaderTest, SampleSizeOnFreshRecordDerivesZeros) {
    SetSampleSize(16);
    EXPECT_EQ(WaveHeader.avgBytesPerSec, 0);
    EXPECT_EQ(WaveHeader.blockAlign, 0);
    EXPECT_EQ(WaveHeader.dataSize, 0);
    EXPECT_EQ(WaveHeader.chunkSize, 0);
}

TEST_F(WaveHeaderTest, SetNumChannelsLeavesDataSizeAndChunkSizeAlone) {
    FillDefaultGeneration();
    SetNumChannels(2);
    EXPECT_EQ(WaveHeader.blockAlign, 4);
    EXPECT_EQ(WaveHeader.avgBytesPerSec, 176400);
    EXPECT_EQ(WaveHeader.dataSize, 2646000);
    EXPECT_EQ(WaveHeader.chunkSize, 2646036);
}

TEST_F(WaveHeaderTest, ChannelCountIsNarrowedBeforeUse) {
    SetSampleSize(16);
    SetSampleRate(10);
    SetNumChannels(70000);  // 70000 - 65536
    EXPECT_EQ(WaveHeader.numChannels, 4464);
    EXPECT_EQ(WaveHeader.blockAlign, 8928);
    EXPECT_EQ(WaveHeader.avgBytesPerSec, 89280);
    SetNumChannels(40000);  // low 16 bits read as signed
    EXPECT_EQ(WaveHeader.numChannels, -25536);
}

TEST_F(WaveHeaderTest, BytesPerSampleTruncates) {
    SetNumChannels(1);
    SetSampleRate(1000);
    SetSampleCount(10);
    SetSampleSize(12);
    EXPECT_EQ(WaveHeader.blockAlign, 1);
    EXPECT_EQ(WaveHeader.dataSize, 10);
    SetSampleSize(7);
    EXPECT_EQ(WaveHeader.blockAlign, 0);
    EXPECT_EQ(WaveHeader.avgBytesPerSec, 0);
    EXPECT_EQ(WaveHeader.dataSize, 0);
}

TEST_F(WaveHeaderTest, SizesWrapAroundInSigned32Bits) {
    SetSampleSize(16);
    SetNumChannels(1);
    SetSampleCount(1073741824);  // 2^30 frames * 2 bytes = 2^31
    EXPECT_EQ(WaveHeader.dataSize, INT32_MIN);
    EXPECT_EQ(WaveHeader.chunkSize, INT32_MIN + 36);
    SetSampleCount(1073741805);  // the largest count that still fits
    EXPECT_EQ(WaveHeader.chunkSize, 2147483646);
    SetSampleRate(2000000000);
    SetNumChannels(2);
    EXPECT_EQ(WaveHeader.avgBytesPerSec, static_cast<int32_t>(8000000000LL - 2LL * 4294967296LL));
}

TEST_F(WaveHeaderTest, ZeroFramesGiveChunkSize36) {
    SetSampleSize(16);
    SetNumChannels(1);
    SetSampleCount(0);
    EXPECT_EQ(WaveHeader.dataSize, 0);
    EXPECT_EQ(WaveHeader.chunkSize, 36);
}

TEST_F(WaveHeaderTest, FormatChunkSizeOnceChosenStays) {
    WaveHeader.formatChunkSize = 18;
    SetSampleCount(0);
    EXPECT_EQ(WaveHeader.chunkSize, 38);
    ResetWaveHeader();
    RecordingStream stream;
    EXPECT_EQ(WriteWaveHeader(stream.file()), 44);
    EXPECT_EQ(WaveHeader.formatChunkSize, 16);
}

TEST_F(WaveHeaderTest, ExtensionBytesFollowTheFormatBody) {
    WaveHeader.formatChunkSize = 18;
    WaveHeader.extraFormat[0] = 0xAB;
    WaveHeader.extraFormat[1] = 0xCD;
    RecordingStream stream;
    EXPECT_EQ(WriteWaveHeader(stream.file()), 46);
    ASSERT_EQ(stream.bytes().size(), 46u);
    EXPECT_EQ(stream.bytes()[36], 0xAB);
    EXPECT_EQ(stream.bytes()[37], 0xCD);
    EXPECT_EQ(stream.bytes()[38], 'd');
}

TEST_F(WaveHeaderTest, OversizedExtensionIsRefusedWithoutWriting) {
    WaveHeader.formatChunkSize = 16 + kExtraFormatCapacity + 1;
    RecordingStream stream;
    EXPECT_EQ(WriteWaveHeader(stream.file()), -1);
    EXPECT_TRUE(stream.bytes().empty());
}

TEST(WaveWriters, LongAndShortAreLittleEndian) {
    RecordingStream stream;
    EXPECT_TRUE(WriteLong(stream.file(), -1));
    EXPECT_TRUE(WriteShort(stream.file(), 0x1234));
    EXPECT_TRUE(WriteLong(stream.file(), 0x01020304));
    EXPECT_EQ(stream.bytes(), (std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF, 0x34, 0x12, 0x04,
                                                          0x03, 0x02, 0x01}));
    if (RecordingStream::kRecordsWrites) {
        EXPECT_EQ(stream.writeSizes(), (std::vector<size_t>{4, 2, 4}));
    }
}

TEST(WaveWriters, FailedWritesAreReported) {
    if (!RecordingStream::kCanFail) GTEST_SKIP() << "no stream here fails on demand";
    RecordingStream stream(/*failAfterBytes=*/20);
    ResetWaveHeader();
    EXPECT_EQ(WriteWaveHeader(stream.file()), -1);
    RecordingStream full(/*failAfterBytes=*/0);
    EXPECT_FALSE(WriteLong(full.file(), 1));
    EXPECT_FALSE(WriteShort(full.file(), 1));
}

}  // namespace
