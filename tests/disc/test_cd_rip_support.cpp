// What ripping builds on: the table of contents, the read offset (samples shifted across track
// boundaries and the disc's ends) and the per-stream report of what error correction did.
#include <cstring>

#include <gtest/gtest.h>

#include "disc/cd_ext.h"
#include "engine/engine_ext.h"
#include "tests/cd/cd_image.h"
#include "tests/support/audio_fixtures.h"

namespace {

// Decodes track `track` (0-based) of `drive` to its end; `report` gets the stream's report then.
std::vector<uint8_t> decodeTrack(int drive, DWORD track, engine::CdReadReport* report = nullptr) {
    HSTREAM s = BASS_CD_StreamCreate(DWORD(drive), track, BASS_STREAM_DECODE);
    EXPECT_NE(s, 0u) << BASS_ErrorGetCode();
    std::vector<uint8_t> got, buf(10000);
    for (int guard = 0; guard < 10000 && BASS_ChannelIsActive(s); ++guard) {
        int n = BASS_ChannelGetData(s, buf.data(), DWORD(buf.size()));
        if (n < 0) break;
        got.insert(got.end(), buf.begin(), buf.begin() + n);
    }
    if (report) {
        EXPECT_TRUE(engine::cdStreamReadReport(s, report));
    }
    BASS_StreamFree(s);
    return got;
}

class CdRipSupport : public ::testing::Test {
  protected:
    static constexpr int kSector = cdimage::kSectorBytes;
    void SetUp() override {
        engine::cdUseDeviceDrives(false);
        disc.tracks = cdimage::audioTracks(3, 40);
        disc.tracks[1].sectors = 60;
        cue = cdimage::write(dir.file("rip"), disc);
        drive = engine::cdAddImage(cue);
        ASSERT_GE(drive, 0);
        for (size_t i = 0; i < disc.tracks.size(); ++i) {
            auto b = cdimage::trackBytes(disc.tracks[i], int(i));
            whole.insert(whole.end(), b.begin(), b.end());
        }
    }
    void TearDown() override {
        engine::setCdReadOffset(DWORD(drive), 0);
        engine::cdSetTestFaults(drive, {});
    }

    std::vector<uint8_t> decode(DWORD track, engine::CdReadReport* report = nullptr) {
        return decodeTrack(drive, track, report);
    }

    fixtures::TempDir dir;
    cdimage::Disc disc;
    std::string cue;
    std::vector<uint8_t> whole;  // the disc's audio as it stands in the .bin
    int drive = -1;
};

TEST_F(CdRipSupport, TableOfContentsAndDriveIdentity) {
    engine::CdToc toc;
    ASSERT_TRUE(engine::cdReadToc(DWORD(drive), &toc));
    ASSERT_EQ(toc.tracks.size(), 3u);
    const uint32_t starts[] = {0, 40, 100}, lengths[] = {40, 60, 40};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(toc.tracks[i].number, i + 1);
        EXPECT_EQ(toc.tracks[i].startLba, starts[i]);
        EXPECT_EQ(toc.tracks[i].sectors, lengths[i]);
        EXPECT_TRUE(toc.tracks[i].audio);
    }
    EXPECT_EQ(toc.leadOutLba, 140u);
    EXPECT_EQ(engine::cdDriveName(DWORD(drive)), cue);
    EXPECT_EQ(engine::cdParanoiaMode(DWORD(drive)), "full, never skip off");

    EXPECT_FALSE(engine::cdReadToc(DWORD(engine::cdDriveCount()), &toc));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_EQ(engine::cdDriveName(DWORD(engine::cdDriveCount())), "");
    engine::CdTestFaults open;
    open.doorOpen = true;
    ASSERT_TRUE(engine::cdSetTestFaults(drive, open));
    EXPECT_FALSE(engine::cdReadToc(DWORD(drive), &toc));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOCD);
}

// Offsets across a sector, across the track boundary, and past both ends of the disc.
class CdReadOffset : public CdRipSupport, public ::testing::WithParamInterface<int> {};

TEST_P(CdReadOffset, TrackIsTakenShiftedWithSilenceBeyondTheDisc) {
    const int offset = GetParam();
    engine::setCdReadOffset(DWORD(drive), offset);
    EXPECT_EQ(engine::cdReadOffset(DWORD(drive)), offset);
    for (DWORD track : {0u, 2u}) {
        const int64_t first = track == 0 ? 0 : 100;
        const int64_t frames = 40 * 588;
        std::vector<uint8_t> expected(size_t(frames) * 4, 0);
        for (int64_t f = 0; f < frames; ++f) {
            int64_t src = first * 588 + f + offset;
            if (src >= 0 && src * 4 < int64_t(whole.size()))
                std::memcpy(&expected[size_t(f) * 4], &whole[size_t(src) * 4], 4);
        }
        EXPECT_EQ(decode(track), expected) << "track " << track << " offset " << offset;
    }
}

INSTANTIATE_TEST_SUITE_P(Offsets, CdReadOffset,
                         ::testing::Values(0, 6, -6, 588, -667, 40 * 588 + 3, -41 * 588,
                                           200 * 588));

// A read offset that reaches into a data track beside an audio track reads silence there (its
// sectors hold no audio), from one .bin and from a .bin per track, the data first or last.
class OffsetIntoData : public ::testing::TestWithParam<std::tuple<bool, cdimage::Files, int>> {};

TEST_P(OffsetIntoData, ReadsSilenceWhereTheDataIs) {
    const auto [dataFirst, files, offset] = GetParam();
    engine::cdUseDeviceDrives(false);
    fixtures::TempDir dir;
    cdimage::Disc disc;
    disc.tracks = cdimage::audioTracks(2, 40);
    cdimage::Track data;
    data.data = true;
    data.sectors = 40;
    disc.tracks.insert(dataFirst ? disc.tracks.begin() : disc.tracks.end(), data);
    const int drive = engine::cdAddImage(cdimage::write(dir.file("mixed"), disc, files));
    ASSERT_GE(drive, 0);
    engine::setCdReadOffset(DWORD(drive), offset);
    std::vector<uint8_t> whole;
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const auto b = cdimage::trackBytes(disc.tracks[i], int(i));
        whole.insert(whole.end(), b.begin(), b.end());
    }
    // The audio track beside the data (the middle one), and what it should hold.
    const DWORD track = 1;
    const int64_t first = 40 * 588, frames = 40 * 588;
    const int64_t dataFrom = dataFirst ? 0 : 80 * 588, dataTo = dataFrom + 40 * 588;
    std::vector<uint8_t> expected(size_t(frames) * 4, 0);
    for (int64_t f = 0; f < frames; ++f) {
        const int64_t src = first + f + offset;
        if (src >= 0 && src * 4 < int64_t(whole.size()) && (src < dataFrom || src >= dataTo))
            std::memcpy(&expected[size_t(f) * 4], &whole[size_t(src) * 4], 4);
    }
    const std::vector<uint8_t> got = decodeTrack(drive, track);
    engine::setCdReadOffset(DWORD(drive), 0);
    EXPECT_EQ(got, expected);
}

INSTANTIATE_TEST_SUITE_P(Sides, OffsetIntoData,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(cdimage::Files::One,
                                                              cdimage::Files::PerTrack),
                                            ::testing::Values(-6, 1000)));

TEST_F(CdRipSupport, ReportCountsCleanReadsInjectedSkipsAndFailures) {
    engine::CdReadReport r;
    EXPECT_EQ(decode(1, &r),
              std::vector<uint8_t>(whole.begin() + 40 * kSector, whole.begin() + 100 * kSector));
    EXPECT_EQ(r.sectorsRead, 60u);
    EXPECT_EQ(r.corrected + r.skipped + r.reReads + r.readErrors, 0u);

    // A skip reported by the reader leaves the audio as read; a failed read ends the stream.
    engine::cdInjectReadFault(DWORD(drive), 50, false);
    EXPECT_EQ(decode(1, &r).size(), size_t(60 * kSector));
    EXPECT_EQ(r.skipped, 1u);
    EXPECT_EQ(r.readErrors, 0u);

    engine::cdInjectReadFault(DWORD(drive), 70, true);
    EXPECT_EQ(decode(1, &r).size(), size_t(30 * kSector)) << "sectors 40 to 69 come";
    EXPECT_EQ(r.skipped, 2u);
    EXPECT_EQ(r.readErrors, 1u);
    EXPECT_EQ(r.sectorsRead, 30u);

    engine::CdReadReport none;
    EXPECT_FALSE(engine::cdStreamReadReport(0, &none));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

}  // namespace
