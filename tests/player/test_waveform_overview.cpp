// Waveform overviews of generated files: their peaks, the coarse pass of an MP3, the cache, and
// files that cannot be read.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <vector>

#include "player/waveform/waveform_overview.h"
#include "tests/support/audio_fixtures.h"

namespace {

using fixtures::Pcm;
using player::OverviewChannels;

constexpr int kSegments = 8;
constexpr int64_t kSegmentFrames = 4410;

// Segment k is a square wave of amplitude (k + 1) / 10 on the left and half that on the right,
// in phase or, with `antiPhase`, inverted on the right.
Pcm segments(int channels, bool antiPhase = false) {
    Pcm p{44100, channels, {}};
    for (int k = 0; k < kSegments; ++k)
        for (int64_t i = 0; i < kSegmentFrames; ++i) {
            const int sign = (i / 50) % 2 ? -1 : 1;
            const int l = sign * (k + 1) * 3276;
            p.samples.push_back(int16_t(l));
            if (channels == 2) p.samples.push_back(int16_t((antiPhase ? -l : l) / 2));
        }
    return p;
}

// (channels, mode, anti-phase right channel, columns per segment)
class OverviewPeaks
    : public ::testing::TestWithParam<std::tuple<int, OverviewChannels, bool, int>> {};

TEST_P(OverviewPeaks, EachColumnHoldsThePeaksOfItsSegment) {
    const auto [channels, mode, anti, perSegment] = GetParam();
    fixtures::TempDir dir;
    const std::string path = dir.file("s.wav");
    fixtures::writeWav(path, segments(channels, anti));
    player::OverviewRequest req;
    req.path = path;
    req.columns = kSegments * perSegment;
    req.mode = mode;
    const auto r = player::computeOverview(req);
    ASSERT_TRUE(r.ok) << r.message;
    const auto& ov = *r.overview;
    EXPECT_TRUE(ov.exact);
    EXPECT_EQ(ov.frames, kSegments * kSegmentFrames);
    ASSERT_EQ(ov.channels, mode == OverviewChannels::Mixed ? 1 : channels);
    for (int c = 0; c < ov.columns; ++c) {
        const double left = double((c / perSegment + 1) * 3276) / 32768.0;
        for (int ch = 0; ch < ov.channels; ++ch) {
            double peak = ch == 0 ? left : left / 2;
            if (ov.channels == 1 && channels == 2) peak = anti ? left / 4 : left * 3 / 4;
            EXPECT_NEAR(ov.hi[size_t(c * ov.channels + ch)], peak, 1.0 / 32768) << c;
            EXPECT_NEAR(ov.lo[size_t(c * ov.channels + ch)], -peak, 1.0 / 32768) << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, OverviewPeaks,
                         ::testing::Values(std::tuple{1, OverviewChannels::Mixed, false, 1},
                                           std::tuple{2, OverviewChannels::PerChannel, false, 3},
                                           std::tuple{2, OverviewChannels::Mixed, false, 1},
                                           std::tuple{2, OverviewChannels::Mixed, true, 7}));

TEST(Overview, AnMp3IsDrawnCoarselyFirstThenExactly) {
    fixtures::TempDir dir;
    const std::string path = dir.file("s.mp3");
    Pcm tone = fixtures::sine(440, 20.0, 44100, 2, 0.25);
    for (size_t i = tone.samples.size() / 2; i < tone.samples.size(); ++i)
        tone.samples[i] = int16_t(tone.samples[i] * 3);  // 0.75 in the second half
    fixtures::writeMp3(path, tone);
    std::vector<std::shared_ptr<const player::WaveformOverview>> seen;
    player::OverviewRequest req;
    req.path = path;
    req.columns = 400;
    req.coarseColumns = 40;
    req.refineSeconds = 0.0;  // every block
    req.progress = [&](auto ov) { seen.push_back(ov); };
    const auto r = player::computeOverview(req);
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_GE(seen.size(), 3u);
    EXPECT_FALSE(seen.front()->exact);
    EXPECT_EQ(seen.front()->columns, 40);
    for (const auto& ov : {seen.front(), seen[seen.size() / 2], r.overview}) {
        // Both halves' levels show wherever they are drawn from (MP3 coding changes peaks a bit).
        EXPECT_NEAR(ov->hi[size_t(ov->columns / 4)], 0.25, 0.03);
        EXPECT_NEAR(ov->lo[size_t(ov->columns * 3 / 4)], -0.75, 0.06);
    }
    EXPECT_TRUE(r.overview->exact);
}

TEST(Overview, CacheServesTheSameFileAndNoticesAChangedOne) {
    fixtures::TempDir dir;
    const std::string path = dir.file("s.wav");
    fixtures::writeWav(path, segments(2));
    player::OverviewCache cache(dir.file("cache"));
    player::OverviewRequest req;
    req.path = path;
    req.columns = 16;
    const auto first = player::cachedOverview(cache, req);
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(player::cachedOverview(cache, req).overview, first.overview) << "from memory";

    // Another run (a new cache over the same folder) reads it from disk.
    player::OverviewCache later(dir.file("cache"));
    const auto fromDisk = later.find(player::overviewKey(path, 16, OverviewChannels::Mixed));
    ASSERT_TRUE(fromDisk);
    EXPECT_EQ(fromDisk->hi, first.overview->hi);
    EXPECT_EQ(fromDisk->frames, first.overview->frames);

    // A changed file is computed again: its size (and time) differ.
    fixtures::writeWav(path, fixtures::sine(440, 0.5, 44100, 2, 0.1));
    const auto changed = player::cachedOverview(later, req);
    ASSERT_TRUE(changed.ok);
    EXPECT_NE(changed.overview->frames, first.overview->frames);
    EXPECT_NEAR(changed.overview->hi[0], 0.1, 0.01);

    // A damaged cache file is ignored.
    for (const auto& e : std::filesystem::directory_iterator(dir.file("cache")))
        fixtures::writeBytes(e.path().string(), {'Q', 'W', 'O', '1', 9, 9});
    player::OverviewCache third(dir.file("cache"));
    EXPECT_FALSE(third.find(player::overviewKey(path, 16, OverviewChannels::Mixed)));
    EXPECT_TRUE(player::cachedOverview(third, req).ok);

    // The folder keeps the overviews of the files opened last, not one for every file ever: one
    // stored first but opened again stays.
    player::OverviewCache many(dir.file("cache"));
    const size_t limit = player::OverviewCache::kMaxDiskEntries;
    const auto keyOf = [&](size_t i) {
        player::OverviewKey key = player::overviewKey(path, 16, OverviewChannels::Mixed);
        key.path += std::to_string(i);
        return key;
    };
    for (size_t i = 0; i < limit + 3; ++i) {
        many.store(keyOf(i), first.overview);
        if (i == limit / 2) ASSERT_TRUE(player::OverviewCache(dir.file("cache")).find(keyOf(0)));
    }
    EXPECT_EQ(size_t(std::distance(std::filesystem::directory_iterator(dir.file("cache")), {})),
              limit);
    EXPECT_TRUE(player::OverviewCache(dir.file("cache")).find(keyOf(0)));
}

class OverviewBadInput : public ::testing::TestWithParam<std::string> {};

TEST_P(OverviewBadInput, GivesAMessageNamingTheFile) {
    fixtures::TempDir dir;
    const std::string path = dir.file(GetParam());
    if (GetParam() == "fake.mp3") fixtures::writeBytes(path, std::vector<uint8_t>(5000, 'x'));
    if (GetParam() == "empty.wav") fixtures::writeBytes(path, {});
    if (GetParam() == "folder.wav") std::filesystem::create_directory(path);
    if (GetParam() == "cut.wav") {
        fixtures::writeWav(path, segments(2));
        std::filesystem::resize_file(path, 30);
    }
    player::OverviewCache cache;
    player::OverviewRequest req;
    req.path = path;
    const auto r = player::cachedOverview(cache, req);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find(path), std::string::npos) << r.message;
}

INSTANTIATE_TEST_SUITE_P(Files, OverviewBadInput,
                         ::testing::Values("missing.wav", "fake.mp3", "empty.wav", "folder.wav",
                                           "cut.wav"));

TEST(Overview, ACancelledComputationEndsWithoutAMessage) {
    fixtures::TempDir dir;
    const std::string path = dir.file("s.wav");
    fixtures::writeWav(path, segments(2));
    std::atomic<bool> cancel{true};
    player::OverviewRequest req;
    req.path = path;
    req.cancel = &cancel;
    const auto r = player::computeOverview(req);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.empty());
    EXPECT_FALSE(r.overview);
}

}  // namespace
