// The output capture: what the output plays, recorded to a WAV file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "tests/engine/null_output_test.h"
#include "tests/support/audio_fixtures.h"

namespace {

using fixtures::Pcm;

// Every 16-bit value is equally likely, the two extremes included: the capture must give back
// exactly what the file holds.
Pcm fullRange(int64_t frames, int channels) {
    Pcm p;
    p.channels = channels;
    p.rate = 44100;
    p.samples.resize(size_t(frames * channels));
    uint32_t x = 2463534242u;
    for (auto& s : p.samples) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        s = int16_t(x >> 16);
    }
    p.samples[0] = -32768;
    p.samples[1] = 32767;
    return p;
}

// Steps the output until `chan` has played out.
void playToEnd(DWORD chan) {
    for (int i = 0; i < 20000 && BASS_ChannelIsActive(chan) != BASS_ACTIVE_STOPPED; ++i)
        engine::nullOutputStep(1000);
    ASSERT_EQ(BASS_ChannelIsActive(chan), BASS_ACTIVE_STOPPED);
}

struct CaptureCase {
    const char* name;
    int channels;
    int64_t frames;  // longer than the capture's ring holds, in one case
    bool pause;      // a pause midway, with the output running on
    bool reinit;     // played twice, with BASS_Free and BASS_Init between (as the window does)
};
void PrintTo(const CaptureCase& c, std::ostream* os) {
    *os << c.name;
}

class Capture : public NullOutputTest, public ::testing::WithParamInterface<CaptureCase> {
  protected:
    void TearDown() override {
        engine::setCapture({});
        NullOutputTest::TearDown();
    }
};

TEST_P(Capture, RecordsEveryFramePlayedAndNothingElse) {
    const CaptureCase& c = GetParam();
    const Pcm src = fullRange(c.frames, c.channels);
    const std::string path = write("src.wav", src);
    const std::string out = dir.file("capture.wav");
    ASSERT_TRUE(engine::setCapture(out)) << engine::captureStatus().error;
    engine::nullOutputStep(3000);  // nothing playing: not recorded

    DWORD t = playChannel(path, BASS_FX_FREESOURCE);
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    if (c.pause) {
        engine::nullOutputStep(20000);
        ASSERT_TRUE(BASS_ChannelPause(t));
        engine::nullOutputStep(5000);
        ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    }
    playToEnd(t);
    engine::nullOutputStep(3000);
    if (c.reinit) {
        BASS_Free();
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
        t = playChannel(path, BASS_FX_FREESOURCE);
        ASSERT_TRUE(BASS_ChannelPlay(t, 0));
        playToEnd(t);
    }
    std::vector<int16_t> want;
    for (int pass = 0; pass < (c.reinit ? 2 : 1); ++pass)
        for (int64_t f = 0; f < src.frames(); ++f)
            for (int ch = 0; ch < 2; ++ch)
                want.push_back(src.samples[size_t(f * c.channels + ch % c.channels)]);
    // Playback stopped: the file becomes complete, header and all, without waiting for the end.
    const auto header = [&] {
        const std::vector<uint8_t> b = fixtures::readBytes(out);
        return b.size() < 44 ? std::pair<uint32_t, uint32_t>{0, 0}
                             : std::pair{fixtures::le32(b, 4), fixtures::le32(b, 40)};
    };
    const std::pair<uint32_t, uint32_t> complete{uint32_t(want.size() * 2 + 36),
                                                 uint32_t(want.size() * 2)};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (header() != complete && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(header(), complete) << "RIFF and data sizes in the header";
    BASS_Free();

    const Pcm got = fixtures::readAudio(out);
    EXPECT_EQ(got.rate, 44100);
    EXPECT_EQ(got.channels, 2);
    EXPECT_TRUE(got.samples == want)
        << got.samples.size() << " samples, " << want.size() << " expected";
    const engine::CaptureStatus s = engine::captureStatus();
    EXPECT_EQ(s.framesWritten, int64_t(want.size() / 2));
    EXPECT_EQ(s.framesLost, 0);
    EXPECT_TRUE(s.error.empty()) << s.error;
}

INSTANTIATE_TEST_SUITE_P(Plays, Capture,
                         ::testing::Values(CaptureCase{"stereoLong", 2, 400000, false, false},
                                           CaptureCase{"monoWithPause", 1, 57321, true, false},
                                           CaptureCase{"stereoTwiceAcrossReinit", 2, 57321, false,
                                                       true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A file that cannot be made or written is reported; playback goes on and nothing crashes.
class CaptureFailure : public NullOutputTest, public ::testing::WithParamInterface<const char*> {
  protected:
    void TearDown() override {
        engine::setCapture({});
        NullOutputTest::TearDown();
    }
};

TEST_P(CaptureFailure, IsReported) {
    const std::string file = write("src.wav", fixtures::sine(440, 0.5));
    std::string target = GetParam();
    if (target == "under-a-file") target = file + "/capture.wav";
    const bool started = engine::setCapture(target);
    const DWORD t = playChannel(file, BASS_FX_FREESOURCE);
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    playToEnd(t);
    BASS_Free();
    const engine::CaptureStatus s = engine::captureStatus();
    EXPECT_FALSE(s.recording);
    EXPECT_FALSE(s.error.empty()) << (started ? "started, " : "refused, ") << "no error given";
}

INSTANTIATE_TEST_SUITE_P(Paths, CaptureFailure, ::testing::Values("under-a-file", "/dev/full"),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "UnderAFile" : "DiskFull");
                         });

}  // namespace
