// CD streams as engine channels: decoding a track bit for bit, playing one through the null
// output to its end, and the read-error sync.
#include <atomic>
#include <cstring>

#include <gtest/gtest.h>

#include "disc/basscd.h"
#include "engine/engine_ext.h"
#include "tests/cd/cd_image.h"
#include "tests/support/audio_fixtures.h"

namespace {

class CdStream : public ::testing::Test {
  protected:
    void SetUp() override {
        engine::cdUseDeviceDrives(false);
        disc.tracks = cdimage::audioTracks(2, 100);
        cdimage::Track data;
        data.data = true;
        data.sectors = 20;
        disc.tracks.push_back(data);
        drive = engine::cdAddImage(cdimage::write(dir.file("s"), disc));
        ASSERT_GE(drive, 0);
    }
    void TearDown() override {
        engine::cdSetTestFaults(drive, {});
        BASS_Free();
    }

    fixtures::TempDir dir;
    cdimage::Disc disc;
    int drive = -1;
};

void CALLBACK_count(HSYNC, DWORD, DWORD, void* user) {
    ++*static_cast<std::atomic<int>*>(user);
}

TEST_F(CdStream, DecodingStreamDeliversTheTrackExactly) {
    HSTREAM s = BASS_CD_StreamCreate(DWORD(drive), 1, BASS_STREAM_DECODE | BASS_STREAM_AUTOFREE);
    ASSERT_NE(s, 0u) << BASS_ErrorGetCode();
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(BASS_ChannelGetInfo(s, &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    EXPECT_FALSE(info.flags & BASS_SAMPLE_8BITS);
    EXPECT_EQ(info.ctype, BASS_CTYPE_STREAM_CD);
    EXPECT_EQ(BASS_ChannelGetLength(s), QWORD(100 * 2352));

    auto expected = cdimage::trackBytes(disc.tracks[1], 1);
    std::vector<uint8_t> got;
    std::vector<uint8_t> buf(20000);
    while (BASS_ChannelIsActive(s)) {
        int n = BASS_ChannelGetData(s, buf.data(), 20000);
        if (n < 0) break;
        got.insert(got.end(), buf.begin(), buf.begin() + n);
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(BASS_ChannelGetPosition(s), QWORD(expected.size()));
    EXPECT_EQ(BASS_ChannelGetData(s, buf.data(), 20000), -1);
    BASS_StreamFree(s);

    EXPECT_EQ(BASS_CD_StreamCreate(DWORD(drive), 2, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAUDIO);
    EXPECT_EQ(BASS_CD_StreamCreate(DWORD(drive), 3, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CDTRACK);
    EXPECT_EQ(BASS_CD_StreamCreate(DWORD(drive), 0, BASS_SAMPLE_LOOP), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

TEST_F(CdStream, ReadErrorFiresTheSyncAndEndsTheStream) {
    HSTREAM s = BASS_CD_StreamCreate(DWORD(drive), 0, BASS_STREAM_DECODE);
    ASSERT_NE(s, 0u);
    std::atomic<int> errors{0};
    ASSERT_NE(
        BASS_ChannelSetSync(s, BASS_SYNC_CD_ERROR | BASS_SYNC_ONETIME, 0, CALLBACK_count, &errors),
        0u);
    std::vector<uint8_t> buf(20000);
    ASSERT_GT(BASS_ChannelGetData(s, buf.data(), 20000), 0);
    engine::CdTestFaults f;
    f.failReadsFromSector = 50;
    engine::cdSetTestFaults(drive, f);
    int64_t total = 20000;
    for (int n; BASS_ChannelIsActive(s) && (n = BASS_ChannelGetData(s, buf.data(), 20000)) > 0;)
        total += n;
    EXPECT_EQ(errors.load(), 1);
    EXPECT_EQ(total, 50 * 2352) << "everything before the bad sector, nothing after";
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
    BASS_StreamFree(s);
}

TEST_F(CdStream, PlayingStreamEndsAndFreesItself) {
    engine::setOutputKind(engine::OutputKind::NullManual);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM s = BASS_CD_StreamCreate(DWORD(drive), 0, BASS_STREAM_AUTOFREE);
    ASSERT_NE(s, 0u);
    std::atomic<int> ends{0};
    BASS_ChannelSetSync(s, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, CALLBACK_count, &ends);
    ASSERT_TRUE(BASS_ChannelPlay(s, 1));
    engine::nullOutputStep(44100 / 2);
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_PLAYING);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(s, BASS_ChannelGetPosition(s)), 0.5, 0.05);
    for (int i = 0; i < 100 && ends.load() == 0; ++i) engine::nullOutputStep(4410);
    EXPECT_EQ(ends.load(), 1);
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(BASS_ChannelPlay(s, 1)) << "freed when it ended";
}

}  // namespace
