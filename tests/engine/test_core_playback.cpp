// Playback through the null output: positions, transport, the mixer, slides, syncs, custom
// sources and the output's set-up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <thread>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "tests/engine/null_output_test.h"
#include "tests/support/audio_fixtures.h"

namespace {

using fixtures::Pcm;

// What the output mixed, as 16-bit stereo for the fixtures' measurements.
Pcm listen(int64_t frames) {
    std::vector<float> f(size_t(frames * 2));
    EXPECT_EQ(engine::nullOutputRead(f.data(), frames), frames);
    Pcm p;
    p.samples.resize(f.size());
    for (size_t i = 0; i < f.size(); ++i) p.samples[i] = int16_t(std::lrint(f[i] * 32767.0f));
    return p;
}

void count(HSYNC, DWORD, DWORD, void* user) {
    ++*static_cast<int*>(user);
}

class Playback : public NullOutputTest {};

TEST_F(Playback, PositionFollowsWhatTheOutputConsumed) {
    const DWORD t = playChannel(write("s.wav", fixtures::sine(440, 2.0)));
    ASSERT_NE(t, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(t), BASS_ACTIVE_STOPPED);
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    EXPECT_EQ(BASS_ChannelGetPosition(t), 0u) << "decoded ahead, but nothing heard yet";
    EXPECT_EQ(engine::nullOutputStep(22050), 22050);
    EXPECT_EQ(BASS_ChannelGetPosition(t), QWORD(88200));
    EXPECT_EQ(engine::outputFramesPlayed(), 22050);
    int16_t buf[16];
    EXPECT_EQ(BASS_ChannelGetData(t, buf, sizeof buf), -1);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);

    ASSERT_TRUE(BASS_ChannelPause(t));
    EXPECT_EQ(BASS_ChannelIsActive(t), BASS_ACTIVE_PAUSED);
    engine::nullOutputStep(10000);
    EXPECT_EQ(BASS_ChannelGetPosition(t), QWORD(88200));
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    engine::nullOutputStep(4410);
    EXPECT_EQ(BASS_ChannelGetPosition(t), QWORD(88200 + 17640));

    // Many jumps while paused: the last one counts, and playing goes on from it at once.
    BASS_ChannelPause(t);
    for (int i = 1; i <= 20; ++i) {
        BASS_ChannelSetPosition(t, QWORD(i) * 4000);
        engine::nullOutputStep(256);
    }
    EXPECT_EQ(BASS_ChannelGetPosition(t), QWORD(80000));
    BASS_ChannelPlay(t, 0);
    engine::nullOutputStep(256);
    EXPECT_EQ(BASS_ChannelGetPosition(t), QWORD(80000 + 1024));
    BASS_ChannelSetPosition(t, 88200 + 17640);

    // A jump while playing is heard from the new place.
    ASSERT_TRUE(BASS_ChannelSetPosition(t, 176400));
    EXPECT_EQ(BASS_ChannelGetPosition(t), QWORD(176400));
    engine::nullOutputStep(4410);
    EXPECT_EQ(BASS_ChannelGetPosition(t), QWORD(176400 + 17640));

    // Stop keeps what was heard; restart goes back to the start.
    ASSERT_TRUE(BASS_ChannelStop(t));
    EXPECT_EQ(BASS_ChannelIsActive(t), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetPosition(t), QWORD(176400 + 17640));
    ASSERT_TRUE(BASS_ChannelPlay(t, 1));
    engine::nullOutputStep(441);
    EXPECT_EQ(BASS_ChannelGetPosition(t), QWORD(1764));
}

TEST_F(Playback, EndSyncsFireOnEachLoopAndOnceWhenOneShot) {
    const DWORD t = playChannel(write("s.wav", fixtures::sine(440, 0.5)));
    int every = 0, once = 0;
    BASS_ChannelSetSync(t, BASS_SYNC_END, 0, count, &every);
    BASS_ChannelSetSync(t, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, count, &once);
    BASS_FX_TempoSet(t, 25, 0, -100);  // 0.4 s per pass
    BASS_ChannelPlay(t, 0);
    engine::nullOutputStep(44100 * 4 / 10 - 600);
    EXPECT_EQ(every, 0);
    engine::nullOutputStep(44100 * 4 / 10 * 2);
    EXPECT_EQ(every, 2);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(BASS_ChannelIsActive(t), BASS_ACTIVE_PLAYING);
    EXPECT_LT(BASS_ChannelGetPosition(t), QWORD(0.5 * 176400));
}

TEST_F(Playback, AStreamThatEndsStopsAndAutofreeReleasesIt) {
    const std::string path = write("s.wav", fixtures::sine(440, 0.2));
    const HSTREAM plain = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    const HSTREAM autofree = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_AUTOFREE);
    int ends = 0;
    BASS_ChannelSetSync(plain, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, count, &ends);
    BASS_ChannelPlay(plain, 0);
    BASS_ChannelPlay(autofree, 0);
    engine::nullOutputStep(8820 - 256);
    EXPECT_EQ(BASS_ChannelIsActive(plain), BASS_ACTIVE_PLAYING);
    engine::nullOutputStep(1000);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(BASS_ChannelIsActive(plain), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetPosition(plain), BASS_ChannelGetLength(plain));
    EXPECT_EQ(BASS_ChannelGetLength(autofree), QWORD(-1)) << "freed at its end";
    // Stop frees an AUTOFREE stream too.
    const HSTREAM again = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_AUTOFREE);
    BASS_ChannelPlay(again, 0);
    BASS_ChannelStop(again);
    EXPECT_EQ(BASS_ChannelIsActive(again), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(Playback, MixerPlaysMonoOnBothSidesResamplesAndAppliesVolumeAndPan) {
    const HSTREAM mono = BASS_StreamCreateFile(
        0, write("m.wav", fixtures::sine(1000, 4.0, 22050, 1, 0.5)).c_str(), 0, 0, 0);
    ASSERT_NE(mono, 0u);
    BASS_ChannelPlay(mono, 0);
    const Pcm out = listen(44100);
    EXPECT_NEAR(fixtures::dominantFrequency(out, 0), 1000, 10);
    EXPECT_NEAR(fixtures::dominantFrequency(out, 1), 1000, 10);
    EXPECT_NEAR(fixtures::toneLevelDb(out, 0, 1000), fixtures::toneLevelDb(out, 1, 1000), 0.1);
    EXPECT_NEAR(fixtures::rmsDb(out, 0), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.5);
    EXPECT_NEAR(double(BASS_ChannelGetPosition(mono)), 44100, 8)
        << "a second of a 22050 Hz mono file";

    // Volume 50 and full left pan.
    BASS_ChannelSetAttributes(mono, -1, 50, -100);
    DWORD vol = 0;
    int pan = 0;
    BASS_ChannelGetAttributes(mono, nullptr, &vol, &pan);
    EXPECT_EQ(vol, 50u);
    EXPECT_EQ(pan, -100);
    listen(1024);  // the gain ramp
    const Pcm panned = listen(22050);
    EXPECT_NEAR(fixtures::rmsDb(panned, 0), 20 * std::log10(0.25 / std::sqrt(2.0)), 0.5);
    EXPECT_LT(fixtures::rmsDb(panned, 1), -100);
    EXPECT_TRUE(BASS_SetVolume(0));
    EXPECT_EQ(BASS_GetVolume(), 0);
    listen(1024);
    EXPECT_LT(fixtures::rmsDb(listen(4410), 0), -100);
    BASS_SetVolume(100);

    // Frequency: twice the rate plays twice as fast (and an octave up).
    BASS_ChannelSetAttributes(mono, 44100, 100, 0);
    const QWORD before = BASS_ChannelGetPosition(mono);
    listen(2048);
    const Pcm fast = listen(22050);
    EXPECT_NEAR(fixtures::dominantFrequency(fast, 0), 2000, 20);
    EXPECT_NEAR(double(BASS_ChannelGetPosition(mono) - before), (2048 + 22050) * 2.0, 400);
}

TEST_F(Playback, TempoAndPitchChangesAreHeardWithinAHundredMilliseconds) {
    const DWORD t = playChannel(write("s.wav", fixtures::sine(440, 3.0)));
    BASS_ChannelPlay(t, 0);
    listen(22050);
    BASS_FX_TempoSet(t, -100, 0, 12);
    const Pcm after = listen(4410 + 8820);
    Pcm tail = after;
    tail.samples.erase(tail.samples.begin(), tail.samples.begin() + 4410 * 2);
    EXPECT_NEAR(fixtures::dominantFrequency(tail, 0), 880, 9);
    // And back: untouched samples again, still in time.
    BASS_FX_TempoSet(t, 0, 0, 0);
    const QWORD pos = BASS_ChannelGetPosition(t);
    listen(4410);
    EXPECT_NEAR(double(BASS_ChannelGetPosition(t) - pos), 17640, 4);
}

TEST_F(Playback, VolumeSlideGlidesAndFiresItsSyncOnce) {
    const DWORD t = playChannel(write("s.wav", fixtures::sine(440, 2.0)));
    int slides = 0;
    BASS_ChannelSetSync(t, BASS_SYNC_SLIDE | BASS_SYNC_ONETIME, 0, count, &slides);
    BASS_ChannelPlay(t, 0);
    ASSERT_TRUE(BASS_ChannelSlideAttributes(t, -1, 0, -101, 200));
    engine::nullOutputStep(4410);
    DWORD vol = 0;
    BASS_ChannelGetAttributes(t, nullptr, &vol, nullptr);
    EXPECT_NEAR(double(vol), 50.0, 4.0);
    EXPECT_EQ(slides, 0);
    engine::nullOutputStep(4410 + 512);
    BASS_ChannelGetAttributes(t, nullptr, &vol, nullptr);
    EXPECT_EQ(vol, 0u);
    EXPECT_EQ(slides, 1);
    EXPECT_LT(fixtures::rmsDb(listen(2048), 0), -100);
    // Setting the volume ends a running slide.
    BASS_ChannelSlideAttributes(t, -1, 100, -101, 1000);
    engine::nullOutputStep(512);
    BASS_ChannelSetAttributes(t, -1, 30, -101);
    engine::nullOutputStep(44100);
    BASS_ChannelGetAttributes(t, nullptr, &vol, nullptr);
    EXPECT_EQ(vol, 30u);
}

// A custom source (a CD track's stand-in): a tone that fails after `failAt` frames.
class FlakySource : public engine::Source {
  public:
    explicit FlakySource(int64_t failAt) : failAt_(failAt) {}
    int rate() const override { return 44100; }
    int channels() const override { return 2; }
    int64_t lengthFrames() const override { return 44100; }
    int64_t read(int16_t* dst, int64_t frames) override {
        if (pos_ >= failAt_) return -1;
        frames = std::min(frames, failAt_ - pos_);
        std::fill(dst, dst + frames * 2, int16_t(1000));
        pos_ += frames;
        return frames;
    }
    bool seek(int64_t frame) override {
        pos_ = frame;
        return true;
    }
    DWORD ctype() const override { return BASS_CTYPE_STREAM_CD; }

  private:
    int64_t failAt_, pos_ = 0;
};

TEST_F(Playback, CustomSourcesPlayAndReportReadErrors) {
    const HSTREAM h =
        engine::createSourceStream(std::make_unique<FlakySource>(10000), BASS_STREAM_AUTOFREE);
    ASSERT_NE(h, 0u);
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(h, &info);
    EXPECT_EQ(info.ctype, BASS_CTYPE_STREAM_CD);
    int errors = 0;
    BASS_ChannelSetSync(h, BASS_SYNC_CD_ERROR | BASS_SYNC_ONETIME, 0, count, &errors);
    BASS_ChannelPlay(h, 0);
    engine::nullOutputStep(20000);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);

    // Decoding the same kind of source reports the error too, on the reading thread.
    const HSTREAM d =
        engine::createSourceStream(std::make_unique<FlakySource>(100), BASS_STREAM_DECODE);
    int derrors = 0;
    BASS_ChannelSetSync(d, BASS_SYNC_CD_ERROR, 0, count, &derrors);
    int16_t buf[1000];
    EXPECT_EQ(BASS_ChannelGetData(d, buf, sizeof buf), 400);
    EXPECT_EQ(derrors, 1);
    EXPECT_EQ(BASS_ChannelIsActive(d), BASS_ACTIVE_STOPPED);
}

// A drive slow to give a sector: the read holds the channel while the window asks where it is.
class HeldSource : public FlakySource {
  public:
    HeldSource(std::atomic<bool>& reading, std::atomic<bool>& release)
        : FlakySource(44100), reading_(reading), release_(release) {}
    int64_t read(int16_t* dst, int64_t frames) override {
        reading_ = true;
        while (!release_) std::this_thread::yield();
        return FlakySource::read(dst, frames);
    }

  private:
    std::atomic<bool>&reading_, &release_;
};

TEST_F(Playback, LengthAndPositionDoNotWaitForAReadUnderWay) {
    std::atomic<bool> reading{false}, release{true};
    const HSTREAM d = engine::createSourceStream(std::make_unique<HeldSource>(reading, release),
                                                 BASS_STREAM_DECODE);
    std::vector<int16_t> buf(2000);
    ASSERT_EQ(BASS_ChannelGetData(d, buf.data(), 4000), 4000);
    release = false;
    reading = false;
    std::thread reader([&] { BASS_ChannelGetData(d, buf.data(), 4000); });
    while (!reading) std::this_thread::yield();
    EXPECT_EQ(BASS_ChannelGetLength(d), 44100u * 4);
    EXPECT_EQ(BASS_ChannelGetPosition(d), 4000u);  // where it stood before the read
    release = true;
    reader.join();
    EXPECT_EQ(BASS_ChannelGetPosition(d), 8000u);
}

// A paused channel goes on at once, though the output's read of it is held (a slow sector).
TEST_F(Playback, ResumingDoesNotWaitForAReadUnderWay) {
    std::atomic<bool> reading{false}, release{true};
    const HSTREAM s = engine::createSourceStream(std::make_unique<HeldSource>(reading, release), 0);
    ASSERT_TRUE(BASS_ChannelPlay(s, 0));
    release = false;
    reading = false;
    std::thread output([] { engine::nullOutputStep(4410); });
    while (!reading) std::this_thread::yield();
    ASSERT_TRUE(BASS_ChannelPause(s));
    auto resumed = std::async(std::launch::async, [s] { return BASS_ChannelPlay(s, 0); });
    EXPECT_EQ(resumed.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    release = true;
    output.join();
    EXPECT_TRUE(resumed.get());
    EXPECT_EQ(BASS_ChannelIsActive(s), DWORD(BASS_ACTIVE_PLAYING));
}

TEST_F(Playback, InitFreeAndTheChoiceOfOutput) {
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    const DWORD t = playChannel(write("s.wav", fixtures::sine(440, 1.0)));
    BASS_ChannelPlay(t, 0);
    EXPECT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_ChannelIsActive(t), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(engine::nullOutputStep(100), 0) << "not initialised";
    EXPECT_EQ(BASS_FX_TempoCreate(
                  BASS_StreamCreateFile(0, dir.file("s.wav").c_str(), 0, 0, BASS_STREAM_DECODE), 0),
              0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT) << "playing needs the output";

    // The device: either it opens, or BASS_Init says so; never a silent null output.
    engine::setOutputKind(engine::OutputKind::Device);
    if (BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        BASS_Free();
    } else {
        EXPECT_TRUE(BASS_ErrorGetCode() == BASS_ERROR_DRIVER ||
                    BASS_ErrorGetCode() == BASS_ERROR_START);
        EXPECT_FALSE(BASS_ChannelPlay(t, 0));
    }
    EXPECT_EQ(BASS_GetVersion() >> 16, 0x0203u);

    // The clock-driven null output consumes audio in real time.
    engine::setOutputKind(engine::OutputKind::NullClock);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    const DWORD c = playChannel(dir.file("s.wav"));
    const auto t0 = std::chrono::steady_clock::now();
    BASS_ChannelPlay(c, 0);
    const auto deadline = t0 + std::chrono::seconds(5);
    while (BASS_ChannelGetPosition(c) < 0.25 * 176400 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_NEAR(elapsed, 0.25, 0.1);
    EXPECT_NEAR(double(engine::outputFramesPlayed()) / 44100.0, elapsed, 0.05);
}

}  // namespace

namespace {

void invert(HDSP, DWORD, void* buffer, DWORD length, void*) {
    auto* s = static_cast<int16_t*>(buffer);
    for (DWORD i = 0; i < length / 2; ++i) s[i] = int16_t(~s[i]);
}

// The window thread keeps changing a channel while the engine's threads play it.
TEST(PlaybackThreads, ControlCallsWhileTheClockOutputPlays) {
    fixtures::TempDir dir;
    const std::string path = dir.file("n.wav");
    fixtures::writeWav(path, fixtures::noise(1.0));
    engine::setOutputKind(engine::OutputKind::NullClock);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    int ends = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    for (int round = 0; std::chrono::steady_clock::now() < deadline; ++round) {
        const DWORD s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        const DWORD t = BASS_FX_TempoCreate(s, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
        BASS_ChannelSetSync(t, BASS_SYNC_END, 0, count, &ends);
        BASS_ChannelPlay(t, 0);
        for (int i = 0; i < 50; ++i) {
            BASS_FX_TempoSet(t, float((i * 7) % 120 - 60), 0, float(i % 17 - 8));
            const HDSP d = BASS_ChannelSetDSP(t, invert, nullptr, i % 3);
            BASS_FX_DSP_Set(s, BASS_FX_PEAKEQ, 0);
            BASS_FX_DSPPEAKEQ p{
                i % 7, 44100, 2.5f, 1.0f, 200.0f * float(1 + i % 7), float(i % 21 - 10)};
            BASS_FX_DSP_SetParameters(s, BASS_FX_PEAKEQ, &p);
            BASS_ChannelSetAttributes(t, -1, i % 101, i % 201 - 100);
            if (i % 5 == 0) BASS_ChannelSetPosition(t, QWORD(i) * 1764);
            if (i % 11 == 0) BASS_ChannelPause(t);
            if (i % 13 == 0) BASS_ChannelPlay(t, i % 2);
            if (i % 9 == 0) BASS_ChannelSlideAttributes(t, -1, 0, -101, 30);
            EXPECT_LE(BASS_ChannelGetPosition(t), BASS_ChannelGetLength(t));
            BASS_ChannelRemoveDSP(t, d);
            if (i % 17 == 0) BASS_FX_DSP_Remove(s, BASS_FX_PEAKEQ);
            std::this_thread::yield();
        }
        if (round % 2) BASS_ChannelStop(t);
        BASS_StreamFree(t);
    }
    EXPECT_TRUE(BASS_Free());
    engine::setOutputKind(engine::OutputKind::Device);
}

}  // namespace
