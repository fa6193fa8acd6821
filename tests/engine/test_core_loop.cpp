// A-B loops: the wrap from B to A on decoding and playing channels, at tempo 0 and through the
// stretcher, clearing, and refused loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "tests/engine/null_output_test.h"
#include "tests/support/audio_fixtures.h"

namespace {

using fixtures::Pcm;

constexpr int64_t kFade = 265;  // 6 ms at 44100 Hz

// A stereo ramp whose every frame is different: frame i is (i % 32768 - 16384, i / 32768 - 8).
Pcm ramp(int64_t frames) {
    Pcm p;
    p.samples.resize(size_t(frames * 2));
    for (int64_t i = 0; i < frames; ++i) {
        p.samples[size_t(2 * i)] = int16_t(i % 32768 - 16384);
        p.samples[size_t(2 * i + 1)] = int16_t(i / 32768 - 8);
    }
    return p;
}
int64_t rampFrame(int l, int r) {
    return int64_t(r + 8) * 32768 + (l + 16384);
}

// `frames` frames of a decoding channel, read in odd-sized blocks.
std::vector<int16_t> take(DWORD ch, int64_t frames) {
    std::vector<int16_t> out;
    std::vector<int16_t> buf(2 * 777);
    while (int64_t(out.size()) < frames * 2) {
        const DWORD want = DWORD(std::min<int64_t>(777, frames - int64_t(out.size()) / 2) * 4);
        const int n = BASS_ChannelGetData(ch, buf.data(), want);
        if (n <= 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + n / 2);
    }
    return out;
}

// The source frame expected at output frame j when playing from `from` with the loop [a, b).
int64_t expectedFrame(int64_t from, int64_t a, int64_t b, int64_t j) {
    const int64_t p = from + j;
    return p < b ? p : a + (p - b) % (b - a);
}
bool inFade(int64_t frame, int64_t a, int64_t b) {
    const int64_t fade = std::min(kFade, b - a);
    return frame >= b - fade && frame < b;
}

class Loop : public NullOutputTest {};

// (loop start, loop end, through a tempo channel at tempo 0)
class LoopWrap : public NullOutputTest,
                 public ::testing::WithParamInterface<std::tuple<int64_t, int64_t, bool>> {};

TEST_P(LoopWrap, WrapsSampleAccuratelyAndClearingPlaysOnToTheEnd) {
    const auto [a, b, tempo] = GetParam();
    const int64_t length = 100000;
    const Pcm src = ramp(length);
    DWORD ch = BASS_StreamCreateFile(0, write("r.wav", src).c_str(), 0, 0, BASS_STREAM_DECODE);
    if (tempo) ch = BASS_FX_TempoCreate(ch, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
    ASSERT_NE(ch, 0u);
    ASSERT_TRUE(engine::setLoop(ch, QWORD(a * 4), QWORD(b * 4)));
    QWORD ga = 0, gb = 0;
    ASSERT_TRUE(engine::getLoop(ch, &ga, &gb));
    EXPECT_EQ(ga, QWORD(a * 4));
    EXPECT_EQ(gb, QWORD(b * 4));

    const int64_t frames = b + 4 * (b - a) + 123;
    const std::vector<int16_t> out = take(ch, frames);
    ASSERT_EQ(int64_t(out.size()), frames * 2) << "a loop never ends";
    int64_t wrong = 0, fadeWrong = 0;
    for (int64_t j = 0; j < frames; ++j) {
        const int64_t want = expectedFrame(0, a, b, j);
        const int64_t got = rampFrame(out[size_t(2 * j)], out[size_t(2 * j + 1)]);
        if (!inFade(want, a, b)) {
            wrong += got != want;
        } else if (j >= b) {
            // Within the crossfade the left channel lies between the two ramps it joins (with
            // room for a fade that keeps the level of less alike sides, at most 3 dB over them).
            const double l = out[size_t(2 * j)];
            const double x = src.samples[size_t(2 * want)];
            const int64_t before = want - (b - a);  // silence before the stream's start
            const double y = before < 0 ? 0.0 : src.samples[size_t(2 * before)];
            fadeWrong += l < std::min(x, y) * 1.42 - 2 && l < std::min(x, y) - 2;
            fadeWrong += l > std::max(x, y) * 1.42 + 2 && l > std::max(x, y) + 2;
        }
    }
    EXPECT_EQ(wrong, 0) << "frames missing, repeated or changed outside the crossfade";
    EXPECT_EQ(fadeWrong, 0);
    const int64_t pos = expectedFrame(0, a, b, frames);
    EXPECT_EQ(BASS_ChannelGetPosition(ch), QWORD(pos * 4));

    ASSERT_TRUE(engine::clearLoop(ch));
    EXPECT_FALSE(engine::getLoop(ch, nullptr, nullptr));
    const std::vector<int16_t> rest = take(ch, length);
    ASSERT_EQ(int64_t(rest.size()), (length - pos) * 2) << "after clearing, plays on to the end";
    EXPECT_EQ(rampFrame(rest[0], rest[1]), pos);
    EXPECT_EQ(rampFrame(rest[rest.size() - 2], rest.back()), length - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Loops, LoopWrap,
    ::testing::Values(std::tuple<int64_t, int64_t, bool>{20000, 61000, false},
                      std::tuple<int64_t, int64_t, bool>{20000, 61000, true},
                      std::tuple<int64_t, int64_t, bool>{0, 5000, true},        // silence before A
                      std::tuple<int64_t, int64_t, bool>{50000, 50100, false},  // short loop
                      std::tuple<int64_t, int64_t, bool>{70000, 100000, true}   // to the end
                      ));

struct LevelCase {
    const char* name;
    fixtures::Pcm (*material)();
    int64_t length;  // of the loop, in frames
    int loops;       // loops measured, at different places in the material
};
void PrintTo(const LevelCase& c, std::ostream* os) {
    *os << c.name;
}

class LoopLevel : public NullOutputTest, public ::testing::WithParamInterface<LevelCase> {};

// Across the crossfade the level of the sum stays that of the two sides it joins, in every
// 100-frame stretch of the fade (a period of the tone), whether they are alike (a sustained tone
// whose loop holds whole periods) or unrelated (noise); nothing clips.
TEST_P(LoopLevel, HoldsAcrossTheWrap) {
    const LevelCase& c = GetParam();
    const Pcm src = c.material();
    const std::string path = write("m.wav", src);
    constexpr int64_t kWindow = 100;
    const int64_t starts[] = {-kFade, -kFade + 50, -kFade + 100, -kFade + 150, -kWindow};
    double outPower[5] = {}, inPower[5] = {};
    int64_t clipped = 0;
    for (int i = 0; i < c.loops; ++i) {
        const int64_t a = 20000 + 1037 * i, b = a + c.length;
        const DWORD ch = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        ASSERT_TRUE(engine::setLoop(ch, QWORD(a * 4), QWORD(b * 4)));
        const std::vector<int16_t> out = take(ch, b + 1000);
        ASSERT_EQ(int64_t(out.size()), (b + 1000) * 2);
        for (int64_t j = b - kFade - 1000; j < b + 1000; ++j)
            for (int k = 0; k < 2; ++k) clipped += std::abs(out[size_t(2 * j + k)]) >= 32767;
        for (int w = 0; w < 5; ++w) {
            for (int64_t j = b + starts[w]; j < b + starts[w] + kWindow; ++j) {
                for (int k = 0; k < 2; ++k) {
                    const double o = out[size_t(2 * j + k)];
                    const double x = src.samples[size_t(2 * j + k)];
                    const double y = src.samples[size_t(2 * (j - (b - a)) + k)];
                    outPower[w] += o * o;
                    inPower[w] += (x * x + y * y) / 2;
                }
            }
        }
        BASS_StreamFree(ch);
    }
    EXPECT_EQ(clipped, 0);
    for (int w = 0; w < 5; ++w)
        EXPECT_NEAR(10 * std::log10(outPower[w] / inPower[w]), 0.0, 0.5)
            << "the stretch from " << -starts[w] << " frames before the end";
}

Pcm tone() {
    return fixtures::sine(441, 2.0, 44100, 2, std::pow(10.0, -0.9 / 20));  // 100-frame period
}
Pcm noise() {
    return fixtures::noise(2.0, 44100, 2, 0.3, 11);
}

INSTANTIATE_TEST_SUITE_P(Material, LoopLevel,
                         ::testing::Values(LevelCase{"toneInPhase", tone, 30000, 1},
                                           LevelCase{"noise", noise, 30000, 8}),
                         [](const auto& info) { return std::string(info.param.name); });

// A loop from the stream's start still fades its end out (into the silence before the start), so
// a tone whose loop ends at a peak steps at the wrap by no more than the tone itself does.
TEST_F(Loop, FromTheStartFadesOutWithoutAStep) {
    const double amp = 0.4;
    const Pcm src = fixtures::sine(441, 1.0, 44100, 2, amp);  // starts at 0, 100-frame period
    const DWORD ch =
        BASS_StreamCreateFile(0, write("t.wav", src).c_str(), 0, 0, BASS_STREAM_DECODE);
    const int64_t b = 5025;  // a peak
    ASSERT_TRUE(engine::setLoop(ch, 0, QWORD(b * 4)));
    const std::vector<int16_t> out = take(ch, 3 * b);
    ASSERT_EQ(int64_t(out.size()), 3 * b * 2);
    const double toneStep = amp * 32767 * 2 * M_PI * 441 / 44100;
    double largest = 0;
    for (int64_t j = 2 * b - kFade - 100; j < 2 * b + 100; ++j)
        largest = std::max(largest, std::abs(double(out[size_t(2 * j + 2)]) - out[size_t(2 * j)]));
    EXPECT_LT(largest, toneStep * 1.25) << "the tone steps by " << toneStep;
}

// (tempo %, pitch semitones)
class LoopTempo : public NullOutputTest,
                  public ::testing::WithParamInterface<std::tuple<float, float>> {};

// A 1 kHz marker at the loop's start in a 441 Hz tone: through the stretcher the marker comes
// back once per loop, (B - A) / ratio output frames apart, within one block of the stretcher's
// input (2048 frames: where in it the stretcher splices is its own choice), with no gap.
TEST_P(LoopTempo, WrapsWithinOneBlockWithoutAGap) {
    const auto [tempo, pitch] = GetParam();
    const int rate = 44100;
    const int64_t a = 44100, b = 88200, marker = 4410;
    Pcm src = fixtures::sine(441, 3.0, rate, 2, 0.4);
    for (int64_t i = a; i < a + marker; ++i)
        src.samples[size_t(2 * i)] = src.samples[size_t(2 * i + 1)] =
            int16_t(std::lrint(0.4 * 32767 * std::sin(2 * M_PI * 1000 * double(i) / rate)));
    const DWORD s = BASS_StreamCreateFile(0, write("m.wav", src).c_str(), 0, 0, BASS_STREAM_DECODE);
    const DWORD t = BASS_FX_TempoCreate(s, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
    ASSERT_TRUE(BASS_FX_TempoSet(t, tempo, 0, pitch));
    ASSERT_TRUE(BASS_ChannelSetPosition(t, QWORD(a * 4)));
    ASSERT_TRUE(engine::setLoop(t, QWORD(a * 4), QWORD(b * 4)));
    const double ratio = BASS_FX_TempoGetRateRatio(t);
    const double period = double(b - a) / ratio;

    const int block = 512;
    const int64_t frames = int64_t(period * 5);
    const std::vector<int16_t> out = take(t, frames);
    ASSERT_EQ(int64_t(out.size()), frames * 2);
    Pcm piece{rate, 2, {}};
    const double markerHz = 1000 * std::pow(2.0, pitch / 12.0);
    std::vector<int64_t> onsets;
    for (int64_t at = 0; at + block <= frames; at += block) {
        piece.samples.assign(out.begin() + at * 2, out.begin() + (at + block) * 2);
        const double m = fixtures::toneLevelDb(piece, 0, markerHz);
        const double level = fixtures::rmsDb(piece, 0);
        EXPECT_GT(level, -20.0) << "a gap at output frame " << at;
        // The first marker block of each loop (the marker lasts a tenth of it).
        if (m > level - 3.0 && (onsets.empty() || double(at - onsets.back()) > period / 2))
            onsets.push_back(at);
    }
    ASSERT_GE(onsets.size(), 4u);
    for (size_t i = 1; i < onsets.size(); ++i)
        EXPECT_NEAR(double(onsets[i] - onsets[i - 1]), period, 2048.0) << "wrap " << i;
    // The position wrapped with the source: inside the loop, where the output stands.
    const double pos = double(BASS_ChannelGetPosition(t)) / 4.0;
    EXPECT_NEAR(pos, a + std::fmod(double(frames) * ratio, double(b - a)), block * ratio);
}

INSTANTIATE_TEST_SUITE_P(Tempi, LoopTempo,
                         ::testing::Values(std::tuple<float, float>{25.0f, 0.0f},
                                           std::tuple<float, float>{-40.0f, 0.0f},
                                           std::tuple<float, float>{0.0f, 3.0f},
                                           std::tuple<float, float>{20.0f, -2.0f}));

// Setting a loop just ahead of the play head, when the audio decoded ahead has already passed its
// end, still wraps at its end: what is heard is the ramp without a frame missing.
TEST_F(Loop, SetWhilePlayingCatchesTheFirstWrap) {
    const int64_t length = 88200;
    const DWORD t = playChannel(write("p.wav", ramp(length)));
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    const int64_t heard = 30000;
    ASSERT_EQ(engine::nullOutputStep(heard), heard);
    const int64_t a = 10000, b = heard + 600;  // inside the 46 ms decoded ahead
    ASSERT_TRUE(engine::setLoop(t, QWORD(a * 4), QWORD(b * 4)));
    const int64_t frames = 3 * (b - a);
    std::vector<float> mixed(size_t(frames * 2));
    // Read in short steps: the position shown follows what is heard, from near the loop's end to
    // near its start at each wrap, never back through the middle of the loop.
    int64_t astray = 0;
    for (int64_t done = 0; done < frames;) {
        const int64_t step = std::min<int64_t>(64, frames - done);
        ASSERT_EQ(engine::nullOutputRead(mixed.data() + done * 2, step), step);
        done += step;
        const int64_t p = int64_t(BASS_ChannelGetPosition(t) / 4);
        const int64_t want = expectedFrame(heard, a, b, done);
        const bool justBeforeTheWrap = p <= b && p > b - 600 && want < a + 600;
        astray += p > b || !(std::abs(p - want) <= 600 || justBeforeTheWrap);
    }
    EXPECT_EQ(astray, 0);
    int64_t wrong = 0;
    for (int64_t j = 0; j < frames; ++j) {
        const int64_t want = expectedFrame(heard, a, b, j);
        const int64_t got = rampFrame(int(std::lrint(mixed[size_t(2 * j)] * 32768.0f)),
                                      int(std::lrint(mixed[size_t(2 * j + 1)] * 32768.0f)));
        wrong += !inFade(want, a, b) && got != want;
    }
    EXPECT_EQ(wrong, 0);
    const int64_t pos = int64_t(BASS_ChannelGetPosition(t) / 4);
    EXPECT_GE(pos, a);
    EXPECT_LT(pos, b);
}

// A loop cleared just before its end, when the audio decoded ahead has already wrapped: what
// follows is the stream on past the end, not one more pass; also at a slower tempo, whose
// stretcher reads further ahead.
TEST_F(Loop, ClearedJustBeforeItsEndPlaysOnPastIt) {
    const DWORD t = playChannel(write("c.wav", ramp(88200)));
    const int64_t a = 10000, b = 30000;
    ASSERT_TRUE(engine::setLoop(t, QWORD(a * 4), QWORD(b * 4)));
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    const int64_t heard = b - 300;  // the 46 ms decoded ahead have wrapped
    ASSERT_EQ(engine::nullOutputStep(heard), heard);
    ASSERT_TRUE(engine::clearLoop(t));
    std::vector<float> mixed(2 * 2000);
    ASSERT_EQ(engine::nullOutputRead(mixed.data(), 2000), 2000);
    int64_t wrong = 0;
    for (int64_t j = 0; j < 2000; ++j)
        wrong += rampFrame(int(std::lrint(mixed[size_t(2 * j)] * 32768.0f)),
                           int(std::lrint(mixed[size_t(2 * j + 1)] * 32768.0f))) != heard + j;
    EXPECT_EQ(wrong, 0);

    const DWORD slow = playChannel(write("d.wav", ramp(200000)));
    ASSERT_TRUE(BASS_FX_TempoSet(slow, -20, 0, -100));
    ASSERT_TRUE(engine::setLoop(slow, QWORD(a * 4), QWORD(80000 * 4)));
    ASSERT_TRUE(BASS_ChannelPlay(slow, 0));
    // Until the stretcher's source has wrapped while what is heard has not reached the end.
    const DWORD source = BASS_FX_TempoGetSource(slow);
    for (int64_t done = 0; BASS_ChannelGetPosition(source) / 4 >= BASS_ChannelGetPosition(slow) / 4;
         done += 64)
        ASSERT_EQ(engine::nullOutputStep(64), 64) << done;
    ASSERT_LT(BASS_ChannelGetPosition(slow) / 4, QWORD(80000));
    ASSERT_TRUE(engine::clearLoop(slow));
    std::vector<float> more(2 * 22050);
    ASSERT_EQ(engine::nullOutputRead(more.data(), 22050), 22050);
    EXPECT_GT(BASS_ChannelGetPosition(slow) / 4, QWORD(80000));
}

TEST_F(Loop, RefusesLoopsOutsideTheStream) {
    const DWORD t = playChannel(write("s.wav", ramp(1000)));
    EXPECT_FALSE(engine::setLoop(0x7fffffff, 0, 400));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(engine::setLoop(t, 400, 400));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_FALSE(engine::setLoop(t, 0, 4004));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    EXPECT_FALSE(engine::getLoop(t, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_TRUE(engine::setLoop(t, 0, 4000));
}

}  // namespace
