// The vocal remover on crafted blocks and on a generated stereo mix decoded through the engine.
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "effects/vocal_remover.h"
#include "engine/bass.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/channel_reader.h"

namespace {

// What the remover must give, from its definition: (R - L) / 2 as a float, rounded to nearest
// with ties to even, the one value beyond 16 bits held at 32767.
int16_t expected(int16_t l, int16_t r) {
    const double v = std::nearbyint((double(r) - double(l)) / 2.0);
    return int16_t(std::min(v, 32767.0));
}

std::vector<int16_t> run(std::vector<int16_t> samples) {
    VocalRemoverDSP(1, 2, samples.data(), DWORD(samples.size() * 2), nullptr);
    return samples;
}

}  // namespace

TEST(VocalRemoverDSP, RoundsHalfToEvenIntoBothChannels) {
    // (left, right) -> value in both channels.
    const struct {
        int16_t l, r, v;
    } cases[] = {
        {0, 3, 2},
        {0, 1, 0},
        {0, 5, 2},
        {0, -1, 0},
        {0, -3, -2},
        {1, 0, 0},
        {1234, 1234, 0},
        {-7, -7, 0},
        {100, -100, -100},
        {-32768, 32767, 32767},  // the one frame whose value does not fit stores 32767
        {32767, -32768, -32768},
        {-32768, -32768, 0},
        {32767, 32767, 0},
    };
    std::vector<int16_t> block;
    for (const auto& c : cases) block.insert(block.end(), {c.l, c.r});
    const auto out = run(block);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(::testing::Message() << "L=" << cases[i].l << " R=" << cases[i].r);
        EXPECT_EQ(out[2 * i], cases[i].v);
        EXPECT_EQ(out[2 * i + 1], cases[i].v);
    }
}

TEST(VocalRemoverDSP, MatchesItsDefinitionOnRandomFramesAndAnyBlockSize) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> any(-32768, 32767);
    // Block sizes in frames, odd ones included; the block starts at an odd 2-byte offset so that
    // no alignment is assumed, and the bytes around it must stay untouched.
    // Sizes that exercise every width the procedure works in (8, 4 and single frames).
    // Each size once with random frames only (the single-frame tail then meets ordinary values)
    // and once with the extreme frame at the start, the end and a few places in between.
    for (size_t frames : {1u, 3u, 5u, 13u, 441u, 5000u, 5001u, 65537u})
        for (bool extremes : {false, true}) {
            std::vector<int16_t> store(frames * 2 + 3);
            for (auto& s : store) s = int16_t(any(rng));
            for (size_t f : {size_t(0), frames / 2, frames - 1, frames / 3, frames - 5}) {
                if (!extremes || f >= frames) continue;
                store[1 + 2 * f] = -32768;
                store[2 + 2 * f] = 32767;
            }
            std::vector<int16_t> before = store;
            VocalRemoverDSP(0, 0, store.data() + 1, DWORD(frames * 4), nullptr);
            ASSERT_EQ(store.front(), before.front());
            ASSERT_EQ(store[frames * 2 + 1], before[frames * 2 + 1]);
            ASSERT_EQ(store.back(), before.back());
            for (size_t f = 0; f < frames; ++f) {
                const int16_t v = expected(before[1 + 2 * f], before[2 + 2 * f]);
                ASSERT_EQ(store[1 + 2 * f], v) << frames << " frames, frame " << f;
                ASSERT_EQ(store[2 + 2 * f], v);
            }
        }
    // An empty block and a trailing partial frame change nothing outside whole frames.
    std::vector<int16_t> tail = {10, 20, 30};
    VocalRemoverDSP(0, 0, tail.data(), 6, nullptr);
    EXPECT_EQ(tail, (std::vector<int16_t>{5, 5, 30}));
    VocalRemoverDSP(0, 0, nullptr, 0, nullptr);
}

TEST(VocalRemoverDSP, RemovesTheCentreOfAStereoMixDecodedByTheEngine) {
    fixtures::TempDir tmp;
    const double centre = 440, left = 1000, right = 2500;
    const auto mix = fixtures::stereoMix(centre, left, right, 3.0);
    const std::string path = tmp.file("mix.wav");
    fixtures::writeWav(path, mix);

    const HSTREAM stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
    ASSERT_NE(effects::attachVocalRemover(stream), 0u);
    const fixtures::Pcm out = fixtures::readChannel(stream);
    BASS_StreamFree(stream);
    ASSERT_EQ(out.frames(), mix.frames());

    for (int64_t f = 0; f < out.frames(); ++f)
        ASSERT_EQ(out.samples[size_t(2 * f)], out.samples[size_t(2 * f + 1)]) << "frame " << f;
    for (int ch = 0; ch < 2; ++ch) {
        const double centreBefore = fixtures::toneLevelDb(mix, ch, centre);
        EXPECT_LT(fixtures::toneLevelDb(out, ch, centre), centreBefore - 40.0);
        // The panned parts stay, at half their amplitude (-6 dB) in both channels.
        EXPECT_NEAR(fixtures::toneLevelDb(out, ch, left),
                    fixtures::toneLevelDb(mix, 0, left) - 6.02, 1.0);
        EXPECT_NEAR(fixtures::toneLevelDb(out, ch, right),
                    fixtures::toneLevelDb(mix, 1, right) - 6.02, 1.0);
    }
}

TEST(VocalRemoverDSP, LeavesAStreamThatIsNotStereoAsItIs) {
    fixtures::TempDir tmp;
    const auto mono = fixtures::stereoMix(440, 1000, 2500, 1.0);
    fixtures::Pcm one{44100, 1, {}};
    for (int64_t f = 0; f < mono.frames(); ++f) one.samples.push_back(mono.samples[size_t(2 * f)]);
    const std::string path = tmp.file("mono.wav");
    fixtures::writeWav(path, one);
    for (bool keepBass : {false, true}) {
        const HSTREAM stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        ASSERT_NE(stream, 0u);
        EXPECT_FALSE(effects::vocalRemoverApplies(stream));
        effects::KeepBassRemover remover(44100);
        ASSERT_NE(keepBass ? remover.attach(stream) : effects::attachVocalRemover(stream), 0u);
        EXPECT_EQ(fixtures::readChannel(stream).samples, one.samples) << "keep bass " << keepBass;
        BASS_StreamFree(stream);
    }
}

namespace {

// `freq` Hz at 0.5 of full scale: equal in both channels, or (`centred` false) left only.
std::vector<int16_t> toneFrames(double freq, bool centred, double seconds = 1.0) {
    std::vector<int16_t> s(size_t(44100 * seconds) * 2);
    for (size_t f = 0; f < s.size() / 2; ++f) {
        const auto v = int16_t(std::lrint(16384.0 * std::sin(2 * M_PI * freq * double(f) / 44100)));
        s[2 * f] = v;
        s[2 * f + 1] = centred ? v : 0;
    }
    return s;
}

double levelDb(const std::vector<int16_t>& s, double freq) {
    fixtures::Pcm p{44100, 2, {s.begin() + 2 * 8820, s.end()}};  // past the filters' settling
    return fixtures::toneLevelDb(p, 0, freq);
}

}  // namespace

TEST(KeepBassRemover, RemovesTheCentreAboveTheCrossoverAndKeepsTheBass) {
    struct Case {
        double hz;
        double minFall, maxFall;  // dB the centred tone loses
    };
    for (const Case c :
         {Case{50, -1, 1}, Case{60, -1, 1}, Case{1000, 40, 200}, Case{3000, 40, 200}}) {
        auto s = toneFrames(c.hz, true);
        const double before = levelDb(s, c.hz);
        effects::KeepBassRemover remover(44100);
        remover.process(s.data(), s.size() / 2);
        const double fall = before - levelDb(s, c.hz);
        EXPECT_GE(fall, c.minFall) << c.hz << " Hz";
        EXPECT_LE(fall, c.maxFall) << c.hz << " Hz";
        for (size_t f = 0; f < s.size() / 2; ++f) ASSERT_EQ(s[2 * f], s[2 * f + 1]);
    }
    // A part in one channel only stays above the crossover, at half its amplitude as with the
    // full remover.
    auto side = toneFrames(2000, false);
    const double before = levelDb(side, 2000);
    effects::KeepBassRemover remover(44100);
    remover.process(side.data(), side.size() / 2);
    EXPECT_NEAR(levelDb(side, 2000), before - 6.02, 0.5);
    // At a rate that leaves no room for the crossover (300 Hz), all of the sound is bass: kept.
    auto low = toneFrames(50.0 * 44100 / 300, true);  // 50 Hz at 300 samples a second
    const auto kept = low;
    effects::KeepBassRemover slow(300);
    slow.process(low.data(), low.size() / 2);
    EXPECT_EQ(low, kept);
}

TEST(KeepBassRemover, TheTwoBandsSumBackFlat) {
    for (double hz : {40.0, 100.0, 140.0, 150.0, 160.0, 250.0, 1000.0, 8000.0}) {
        auto s = toneFrames(hz, false);
        std::vector<int16_t> mid(s.size());
        for (size_t f = 0; f < s.size() / 2; ++f)
            mid[2 * f] = mid[2 * f + 1] = int16_t(s[2 * f] / 2);
        effects::KeepBassRemover split(44100, effects::KeepBassRemover::kDefaultCrossoverHz, false);
        split.process(s.data(), s.size() / 2);
        EXPECT_NEAR(levelDb(s, hz), levelDb(mid, hz), 0.1) << hz << " Hz";
    }
}

TEST(KeepBassRemover, PartsOnEitherSideComeOutAlikeThroughTheCrossover) {
    // A tone in one channel only, left or right, from below the crossover to well above it: the
    // same level either side and at every frequency (the bands' difference is as flat as their
    // sum), where an in-phase crossover would notch the left one at 150 Hz.
    std::vector<double> levels;
    for (double hz : {30.0, 60.0, 100.0, 150.0, 200.0, 400.0, 1000.0})
        for (bool left : {true, false}) {
            auto s = toneFrames(hz, false);
            if (!left)
                for (size_t f = 0; f < s.size() / 2; ++f) std::swap(s[2 * f], s[2 * f + 1]);
            effects::KeepBassRemover remover(44100);
            remover.process(s.data(), s.size() / 2);
            levels.push_back(levelDb(s, hz));
            EXPECT_NEAR(levels.back(), levels.front(), 2.0) << hz << " Hz, left " << left;
        }
}
