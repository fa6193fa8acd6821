// The BPM operations on engine channels: decode-time detection with its window, progress and kept
// result, translation, periodic BPM and beats on a playing tempo channel (null output, stepped by
// hand), and that nothing is called back after the reporting was stopped or the channel freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "engine/bass.h"
#include "engine/bpm/bpm_detect.h"
#include "engine/engine_ext.h"
#include "tests/analysis/test_bpm_music.h"
#include "tests/engine/null_output_test.h"
#include "tests/support/audio_fixtures.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Progress {
    std::vector<float> values;
    std::thread::id thread;
    bool otherThread = false;
};
Progress* gProgress = nullptr;

void progressProc(DWORD, float percent) {
    gProgress->values.push_back(percent);
    if (std::this_thread::get_id() != gProgress->thread) gProgress->otherThread = true;
}

// Progress reports from the detection thread, by channel; `freeAt` is freed from inside its
// first report past 0.
struct Reports {
    std::mutex m;
    std::vector<std::pair<DWORD, float>> calls;
    std::thread::id caller;
    bool onCaller = false;
    DWORD freeAt = 0;
    int ends(DWORD chan) {
        std::lock_guard g(m);
        return int(std::count(calls.begin(), calls.end(), std::pair{chan, 100.0f}));
    }
};
Reports* gReports = nullptr;

void reportProc(DWORD chan, float percent) {
    bool free = false;
    {
        std::lock_guard g(gReports->m);
        gReports->calls.push_back({chan, percent});
        if (std::this_thread::get_id() == gReports->caller) gReports->onCaller = true;
        free = chan == gReports->freeAt && percent > 0;
    }
    if (free) BASS_StreamFree(chan);
}

// What the BPM and beat procedures received.
struct Calls {
    std::mutex m;
    std::vector<float> bpms, beats;
    std::vector<DWORD> chans;
    std::atomic<int> count{0};
};

void bpmProc(DWORD chan, float bpm, void* user) {
    auto* c = static_cast<Calls*>(user);
    std::lock_guard g(c->m);
    c->bpms.push_back(bpm);
    c->chans.push_back(chan);
    ++c->count;
}

void beatProc(DWORD chan, float pos, void* user) {
    auto* c = static_cast<Calls*>(user);
    std::lock_guard g(c->m);
    c->beats.push_back(pos);
    c->chans.push_back(chan);
    ++c->count;
}

class BpmChannels : public NullOutputTest {
  protected:
    DWORD decodeStream(const std::string& path) {
        return BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    }
    // Plays `seconds` of output in small steps, letting the analysis keep up after each.
    void play(double seconds) {
        const int64_t total = int64_t(seconds * 44100);
        for (int64_t done = 0; done < total; done += 2048) {
            engine::nullOutputStep(std::min<int64_t>(2048, total - done));
            ASSERT_TRUE(engine::bpm::waitForAnalysis(5000));
        }
    }
};

TEST_F(BpmChannels, DecodeGetFindsTheTempoWithProgressOnTheCallingThread) {
    const DWORD h = decodeStream(write("drums.wav", fixtures::drumTrack(126, 40, 3)));
    ASSERT_NE(h, 0u);
    Progress p;
    p.thread = std::this_thread::get_id();
    gProgress = &p;
    const float bpm = BASS_FX_BPM_DecodeGet(h, 0, 30, 0, 0x10002, &progressProc);
    gProgress = nullptr;
    EXPECT_NEAR(bpm, 126, 126 * 0.02);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    ASSERT_GE(p.values.size(), 3u);
    EXPECT_EQ(p.values.front(), 0.0f);
    EXPECT_EQ(p.values.back(), 100.0f);
    EXPECT_TRUE(std::is_sorted(p.values.begin(), p.values.end()));
    EXPECT_FALSE(p.otherThread);

    // Kept for the handle: the translations.
    EXPECT_NEAR(BASS_FX_BPM_Translate(h, 100, BASS_FX_BPM_TRAN_PERCENT2), bpm, 1e-3);
    EXPECT_NEAR(BASS_FX_BPM_Translate(h, 110, BASS_FX_BPM_TRAN_PERCENT2), bpm * 1.1f, 1e-3);
    EXPECT_NEAR(BASS_FX_BPM_Translate(h, 40, BASS_FX_BPM_TRAN_PERCENT2), bpm * 0.4f, 1e-3);
    EXPECT_NEAR(BASS_FX_BPM_Translate(h, 0, BASS_FX_BPM_TRAN_X2), bpm * 2, 1e-3);
    EXPECT_NEAR(BASS_FX_BPM_Translate(h, bpm * 1.25f, BASS_FX_BPM_TRAN_2PERCENT), 125, 1e-3);
    EXPECT_NEAR(BASS_FX_BPM_Translate(h, 48000, BASS_FX_BPM_TRAN_FREQ2), bpm * 48000 / 44100, 1e-2);
    EXPECT_NEAR(BASS_FX_BPM_Translate(h, bpm / 2, BASS_FX_BPM_TRAN_2FREQ), 22050, 1e-1);
    EXPECT_EQ(BASS_FX_BPM_Translate(h, 100, 9), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

// In the background the call returns at once and the detection thread reports, 100 once the BPM
// is kept. A second detection of the handle replaces the one under way; a channel freed during
// its detection keeps nothing and reports no end.
TEST_F(BpmChannels, DecodeGetInTheBackgroundEndsOnceAndGivesWay) {
    const DWORD h = decodeStream(write("drums.wav", fixtures::drumTrack(126, 40, 3)));
    const std::string other = write("other.wav", fixtures::drumTrack(100, 20, 1));
    const DWORD k = decodeStream(other);
    ASSERT_TRUE(h && k);
    Reports r;
    r.caller = std::this_thread::get_id();
    r.freeAt = k;
    gReports = &r;
    // Whatever fails below, no detection reports into `r` once it is gone.
    const std::shared_ptr<void> forget(nullptr, [h, k](void*) {
        BASS_FX_BPM_Free(h);
        BASS_FX_BPM_Free(k);
        gReports = nullptr;
    });
    const auto waitEnd = [&](DWORD chan) {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (r.ends(chan) == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return r.ends(chan) == 1;
    };

    EXPECT_EQ(BASS_FX_BPM_DecodeGet(k, 0, 20, 0, 0x10003, &reportProc), 0.0f);
    EXPECT_EQ(BASS_FX_BPM_DecodeGet(h, 0, 30, 0, 0x10003, &reportProc), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    EXPECT_EQ(BASS_FX_BPM_DecodeGet(h, 10, 40, 0, 0x10003, &reportProc), 0.0f);
    ASSERT_TRUE(waitEnd(h));
    // One detection at a time, in order: once a later one has ended, every end of h has come.
    const DWORD after = decodeStream(other);
    BASS_FX_BPM_DecodeGet(after, 0, 5, 0, 0x10003, &reportProc);
    ASSERT_TRUE(waitEnd(after));
    EXPECT_EQ(r.ends(h), 1) << "the first window gave way";
    BASS_FX_BPM_Free(after);
    EXPECT_NEAR(BASS_FX_BPM_Translate(h, 100, BASS_FX_BPM_TRAN_PERCENT2), 126, 126 * 0.02);
    EXPECT_FALSE(r.onCaller);
    EXPECT_EQ(r.ends(k), 0);
    EXPECT_EQ(BASS_FX_BPM_Translate(k, 100, BASS_FX_BPM_TRAN_PERCENT2), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(BpmChannels, HandleStaysUsableAfterTheSourceReleaseFlagUntilFree) {
    const DWORD h = decodeStream(write("drums.wav", fixtures::drumTrack(100, 25, 1)));
    ASSERT_NE(h, 0u);
    const float first = BASS_FX_BPM_DecodeGet(h, 0, 30, 0, 0x10002, nullptr);
    EXPECT_NEAR(first, 100, 2);
    // A later window on the same handle, and its position is back where it was.
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 4410 * 4));
    const float second = BASS_FX_BPM_DecodeGet(h, 8, 20, 0, 0x10002, nullptr);
    EXPECT_NEAR(second, 100, 2);
    EXPECT_EQ(BASS_ChannelGetPosition(h), QWORD(4410 * 4));
    EXPECT_NEAR(BASS_FX_BPM_Translate(h, 90, 4), second * 0.9f, 1e-3);

    // Free drops the kept BPM and releases the source the detections were asked to release.
    EXPECT_TRUE(BASS_FX_BPM_Free(h));
    BASS_CHANNELINFO info;
    EXPECT_FALSE(BASS_ChannelGetInfo(h, &info));
    EXPECT_EQ(BASS_FX_BPM_Translate(h, 100, 4), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

    // Without the flag the stream stays; only the BPM goes.
    const DWORD k = decodeStream(write("d2.wav", fixtures::drumTrack(100, 10, 1)));
    EXPECT_GT(BASS_FX_BPM_DecodeGet(k, 0, 10, 0, BASS_FX_BPM_MULT2, nullptr), 0.0f);
    EXPECT_TRUE(BASS_FX_BPM_Free(k));
    EXPECT_TRUE(BASS_ChannelGetInfo(k, &info));
    EXPECT_EQ(BASS_FX_BPM_Translate(k, 100, 4), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
}

TEST_F(BpmChannels, WindowIsClampedToTheStream) {
    const DWORD h = decodeStream(write("clicks.wav", fixtures::clickTrack(132, 12)));
    ASSERT_NE(h, 0u);
    // Before 0 (a position smaller than the period), past the end: clamped.
    EXPECT_NEAR(BASS_FX_BPM_DecodeGet(h, -6, 6, 0, 0x10002, nullptr), 132, 2.6);
    EXPECT_NEAR(BASS_FX_BPM_DecodeGet(h, 4, 400, 0, 0x10002, nullptr), 132, 2.6);
    // Nothing left of the window: 0 and a reason.
    EXPECT_EQ(BASS_FX_BPM_DecodeGet(h, 20, 30, 0, 0x10002, nullptr), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    EXPECT_EQ(BASS_FX_BPM_DecodeGet(h, -9, -2, 0, 0x10002, nullptr), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    // Too short to hold a tempo.
    EXPECT_EQ(BASS_FX_BPM_DecodeGet(h, -9, 1, 0, 0x10002, nullptr), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
}

TEST_F(BpmChannels, BadHandlesAndChannels) {
    EXPECT_EQ(BASS_FX_BPM_DecodeGet(0xdead, 0, 30, 0, 0x10002, nullptr), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_FX_BPM_Translate(0xdead, 100, 4), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_FX_BPM_CallbackSet(0xdead, &bpmProc, 5, 0, 2, nullptr));
    EXPECT_FALSE(BASS_FX_BPM_BeatCallbackSet(0xdead, &beatProc, nullptr));
    EXPECT_FALSE(BASS_FX_BPM_Free(0xdead));

    // A playing (not decoding) channel cannot be read for detection.
    const std::string path = write("c.wav", fixtures::clickTrack(120, 5));
    const DWORD t = playChannel(path);
    ASSERT_NE(t, 0u);
    EXPECT_EQ(BASS_FX_BPM_DecodeGet(t, 0, 5, 0, 0x10002, nullptr), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);
    // A period of 0 (the program's text box holding no number) reports nothing, rather than
    // calling back without end.
    Calls calls;
    EXPECT_FALSE(BASS_FX_BPM_CallbackSet(t, &bpmProc, 0, 0, 2, &calls));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_FALSE(BASS_FX_BPM_CallbackReset(t));
}

TEST_F(BpmChannels, PeriodicBpmOnAPlayingTempoChannel) {
    const DWORD t = playChannel(write("drums.wav", fixtures::drumTrack(120, 30, 2)));
    ASSERT_NE(t, 0u);
    ASSERT_TRUE(BASS_FX_TempoSet(t, 20, 0, -100));  // heard at 144 BPM
    Calls calls;
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    ASSERT_TRUE(BASS_FX_BPM_CallbackSet(t, &bpmProc, 5.0, 0, 2, &calls));
    play(4.5);
    EXPECT_EQ(calls.count.load(), 0) << "nothing before the first period";
    play(11);
    ASSERT_EQ(calls.count.load(), 3);
    for (size_t i = 0; i < calls.bpms.size(); ++i) {
        EXPECT_NEAR(calls.bpms[i], 120, 2.4) << "the source's tempo, period " << i;
        EXPECT_EQ(calls.chans[i], t);
    }
    // Kept for the handle: at the channel's speed it is the tempo heard.
    EXPECT_NEAR(BASS_FX_BPM_Translate(t, BASS_FX_TempoGetRateRatio(t) * 100, 4), 144, 2.9);

    // Reset restarts the period: 4 s after it, nothing yet; a period after it, one call.
    play(1);
    ASSERT_TRUE(BASS_FX_BPM_CallbackReset(t));
    play(4);
    EXPECT_EQ(calls.count.load(), 3);
    play(1.5);
    EXPECT_EQ(calls.count.load(), 4);

    // Free stops it and drops the kept BPM; the channel plays on.
    ASSERT_TRUE(BASS_FX_BPM_Free(t));
    play(6);
    EXPECT_EQ(calls.count.load(), 4);
    EXPECT_EQ(BASS_FX_BPM_Translate(t, 100, 4), 0.0f);
    EXPECT_EQ(BASS_ChannelIsActive(t), BASS_ACTIVE_PLAYING);
}

// Beat positions against the click times on the source's timeline: within 12 ms at normal speed;
// faster, within 15 ms (the stretcher itself moves transients by a few milliseconds).
TEST_F(BpmChannels, BeatPositionsOnTheChannelTimeline) {
    const double bpm = 110, offset = 0.25;
    const std::string path = write("clicks.wav", fixtures::clickTrack(bpm, 40, 44100, 2, offset));
    for (float tempo : {0.0f, 25.0f}) {
        const DWORD t = playChannel(path);
        ASSERT_NE(t, 0u);
        ASSERT_TRUE(BASS_FX_TempoSet(t, tempo, 0, -100));
        Calls calls;
        ASSERT_TRUE(BASS_ChannelPlay(t, 0));
        ASSERT_TRUE(BASS_FX_BPM_BeatCallbackSet(t, &beatProc, &calls));
        play(16);
        ASSERT_TRUE(BASS_FX_BPM_BeatFree(t));
        std::vector<float> beats;
        {
            std::lock_guard g(calls.m);
            beats = calls.beats;
        }
        // After the tracker settled: every beat on a click, and no click missed.
        int late = 0, settled = 0;
        double worst = 0;
        for (float pos : beats) {
            if (pos < 6) continue;
            ++settled;
            const double k = std::round((pos - offset) * bpm / 60);
            const double err = std::abs(pos - (offset + k * 60 / bpm));
            worst = std::max(worst, err);
            if (err > (tempo == 0 ? 0.012 : 0.015)) ++late;
        }
        const double heard = BASS_ChannelBytes2Seconds(t, BASS_ChannelGetPosition(t));
        const int expected = int((heard - 6) * bpm / 60);
        EXPECT_GE(settled, expected - 2) << "tempo " << tempo;
        EXPECT_LE(settled, expected + 2) << "tempo " << tempo;
        EXPECT_EQ(late, 0) << "tempo " << tempo << ", worst " << worst * 1000 << " ms";
        EXPECT_TRUE(std::is_sorted(beats.begin(), beats.end()));
        BASS_StreamFree(t);
    }
}

// After a seek, back or forward, no beat from before it is delivered: the positions reported
// after the seek lie between the new position and what was played since, in order.
TEST_F(BpmChannels, BeatsAfterASeekComeFromTheNewPosition) {
    const std::string path = write("drums.wav", fixtures::drumTrack(120, 30, 4));
    const DWORD t = playChannel(path);
    ASSERT_NE(t, 0u);
    Calls calls;
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    ASSERT_TRUE(BASS_FX_BPM_BeatCallbackSet(t, &beatProc, &calls));
    auto taken = [&] {
        std::lock_guard g(calls.m);
        std::vector<float> v;
        v.swap(calls.beats);
        return v;
    };
    play(8);
    EXPECT_GT(taken().size(), 6u);
    for (const double to : {2.0, 14.0}) {
        ASSERT_TRUE(BASS_ChannelSetPosition(t, BASS_ChannelSeconds2Bytes(t, to)));
        play(6);
        const auto beats = taken();
        EXPECT_GE(beats.size(), 3u) << "after the seek to " << to;
        EXPECT_TRUE(std::is_sorted(beats.begin(), beats.end()));
        for (float pos : beats) {
            EXPECT_GE(pos, to - 0.05) << "after the seek to " << to;
            EXPECT_LE(pos, to + 6.5) << "after the seek to " << to;
        }
    }
    ASSERT_TRUE(BASS_FX_BPM_BeatFree(t));
    BASS_StreamFree(t);
}

struct LoopBeatsCase {
    const char* name;
    double a, b;  // the loop, in seconds
    float tempo;  // percent
};
void PrintTo(const LoopBeatsCase& c, std::ostream* os) {
    *os << c.name;
}

class BpmLoop : public BpmChannels, public ::testing::WithParamInterface<LoopBeatsCase> {};

// Inside an A-B loop shorter than the beat tracking needs to start, the beats go on round the
// loop, on the drums' beats, whether the loop holds whole beats or not, when the loop was set
// before the tracking had started, and at another tempo.
TEST_P(BpmLoop, BeatsGoOnRoundTheLoop) {
    const LoopBeatsCase& c = GetParam();
    const double bpm = 120, beat = 60 / bpm;
    const DWORD t = playChannel(write("drums.wav", fixtures::drumTrack(bpm, 30, 4)));
    ASSERT_NE(t, 0u);
    Calls calls;
    ASSERT_TRUE(BASS_FX_TempoSet(t, c.tempo, 0, -100));
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    ASSERT_TRUE(BASS_FX_BPM_BeatCallbackSet(t, &beatProc, &calls));
    ASSERT_TRUE(engine::setLoop(t, BASS_ChannelSeconds2Bytes(t, float(c.a)),
                                BASS_ChannelSeconds2Bytes(t, float(c.b))));
    play(c.b + 0.3);  // round once
    {
        std::lock_guard g(calls.m);
        calls.beats.clear();
    }
    const double seconds = 8;
    play(seconds);
    ASSERT_TRUE(BASS_FX_BPM_BeatFree(t));
    std::vector<float> beats;
    {
        std::lock_guard g(calls.m);
        beats = calls.beats;
    }
    const double perLoop = std::floor(c.b / beat - 1e-9) - std::ceil(c.a / beat) + 1;
    const double expected = perLoop * seconds * (1 + c.tempo / 100) / (c.b - c.a);
    EXPECT_GE(double(beats.size()), 0.75 * expected) << "of " << expected;
    int offBeat = 0;
    for (float pos : beats) {
        EXPECT_GE(pos, c.a - 0.03);
        EXPECT_LT(pos, c.b);
        offBeat += std::abs(pos - std::round(pos / beat) * beat) > 0.03;
    }
    EXPECT_EQ(offBeat, 0);
    BASS_StreamFree(t);
}

INSTANTIATE_TEST_SUITE_P(Loops, BpmLoop,
                         ::testing::Values(LoopBeatsCase{"wholeBeats", 8.0, 10.0, 0},
                                           LoopBeatsCase{"notWholeBeats", 8.25, 10.0, 0},
                                           LoopBeatsCase{"fromTheStart", 0.5, 2.5, 0},
                                           LoopBeatsCase{"faster", 8.25, 10.0, 25}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BpmChannels, NoCallbackAfterStoppingOrFreeing) {
    const std::string path = write("drums.wav", fixtures::drumTrack(128, 20, 4));
    const DWORD t = playChannel(path);
    ASSERT_NE(t, 0u);
    Calls periodic, beats;
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    ASSERT_TRUE(BASS_FX_BPM_CallbackSet(t, &bpmProc, 3.0, 0, 2, &periodic));
    ASSERT_TRUE(BASS_FX_BPM_BeatCallbackSet(t, &beatProc, &beats));
    play(7);
    const int p = periodic.count.load(), b = beats.count.load();
    EXPECT_EQ(p, 2);
    EXPECT_GT(b, 5);
    ASSERT_TRUE(BASS_FX_BPM_BeatFree(t));
    play(4);
    EXPECT_EQ(beats.count.load(), b);
    EXPECT_EQ(periodic.count.load(), 3) << "the periodic report goes on";

    // Freeing the channel itself ends everything, and later calls report a bad handle.
    ASSERT_TRUE(BASS_StreamFree(t));
    engine::nullOutputStep(44100 * 4);
    ASSERT_TRUE(engine::bpm::waitForAnalysis(5000));
    EXPECT_EQ(periodic.count.load(), 3);
    EXPECT_EQ(BASS_FX_BPM_Translate(t, 100, 4), 0.0f);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

// A procedure call in progress when BeatFree is called: BeatFree returns only after it ended.
struct Blocking {
    std::atomic<bool> inside{false}, release{false}, finished{false};
};

void blockingBeat(DWORD, float, void* user) {
    auto* b = static_cast<Blocking*>(user);
    if (b->finished) return;
    b->inside = true;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!b->release && Clock::now() < deadline) std::this_thread::yield();
    b->finished = true;
}

TEST_F(BpmChannels, FreeWaitsForACallInProgress) {
    const DWORD t = playChannel(write("clicks.wav", fixtures::clickTrack(120, 20)));
    ASSERT_NE(t, 0u);
    Blocking blk;
    ASSERT_TRUE(BASS_ChannelPlay(t, 0));
    ASSERT_TRUE(BASS_FX_BPM_BeatCallbackSet(t, &blockingBeat, &blk));
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!blk.inside && Clock::now() < deadline) {
        engine::nullOutputStep(2048);
        engine::bpm::waitForAnalysis(100);  // times out once the procedure blocks
    }
    ASSERT_TRUE(blk.inside);
    std::atomic<bool> freeing{false}, finishedBeforeReturn{false};
    std::thread other([&] {
        freeing = true;
        BASS_FX_BPM_BeatFree(t);
        finishedBeforeReturn = blk.finished.load();
    });
    while (!freeing) std::this_thread::yield();
    // Give BeatFree a moment to reach its wait before the call in progress is let go.
    const auto until = Clock::now() + std::chrono::milliseconds(50);
    while (Clock::now() < until) std::this_thread::yield();
    blk.release = true;
    other.join();
    EXPECT_TRUE(finishedBeforeReturn);
}

}  // namespace
