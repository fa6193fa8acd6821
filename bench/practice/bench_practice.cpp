// Practice tools benchmark: prints figures and ratios, no pass or fail.
//   1. Waveform: from loadFile() to the first overview drawn in a WaveformView for a 5-minute
//      MP3, and to the exact one, against a plain full decode of the same file with libmpg123;
//      the longest time the window thread's event loop is blocked meanwhile.
//   2. A-B loop: a ramp played through a loop on the manual null output for 40 wraps, at tempo 0;
//      frames missing or repeated outside the crossfade, against a loop made by seeking back to A
//      from a 10 ms timer once the position passes B.
#include <mpg123.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "bench/bench_timing.h"
#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "player/waveform/waveform_view.h"
#include "tests/support/audio_fixtures.h"

namespace {

double plainDecodeMs(const std::string& path) {
    return bench::medianMs(3, [&] {
        mpg123_handle* h = mpg123_new(nullptr, nullptr);
        mpg123_open(h, path.c_str());
        std::vector<unsigned char> buf(65536);
        size_t done = 0;
        for (int rc = MPG123_OK; rc == MPG123_OK || rc == MPG123_NEW_FORMAT;)
            rc = mpg123_read(h, buf.data(), buf.size(), &done);
        mpg123_close(h);
        mpg123_delete(h);
    });
}

struct WaveTimes {
    double firstMs = 0, exactMs = 0, stallMs = 0;
};

// With an empty path: the same window idle for half a second, for the stall a loop sees anyway.
WaveTimes waveform(const std::string& path) {
    player::WaveformView view;
    view.resize(800, 80);
    view.show();
    WaveTimes t;
    QElapsedTimer clock, tick;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        t.stallMs = std::max(t.stallMs, tick.nsecsElapsed() / 1e6);
        tick.restart();
        if (view.overview() && t.firstMs == 0) t.firstMs = clock.nsecsElapsed() / 1e6;
        if ((view.overview() && view.overview()->exact) ||
            (path.empty() && clock.elapsed() > 500)) {
            t.exactMs = clock.nsecsElapsed() / 1e6;
            ticker.stop();
            QApplication::quit();
        }
    });
    clock.start();
    tick.start();
    if (!path.empty()) view.loadFile(QString::fromStdString(path));
    ticker.start();
    QApplication::exec();
    return t;
}

// Ramp frames from the mixed output: frame i of the ramp is (i % 32768 - 16384, i / 32768 - 8).
fixtures::Pcm ramp(int64_t frames) {
    fixtures::Pcm p;
    for (int64_t i = 0; i < frames; ++i) {
        p.samples.push_back(int16_t(i % 32768 - 16384));
        p.samples.push_back(int16_t(i / 32768 - 8));
    }
    return p;
}

// Frames that break the loop's order (each one played beyond B, skipped or repeated), ignoring
// the crossfade's frames before B.
int64_t loopErrors(const std::vector<float>& out, int64_t a, int64_t b, int64_t fade) {
    int64_t errors = 0, prev = -1, prevAt = 0;
    for (int64_t k = 0; k < int64_t(out.size() / 2); ++k) {
        const int64_t f = int64_t(std::lrint(out[size_t(2 * k + 1)] * 32768.0f) + 8) * 32768 +
                          (std::lrint(out[size_t(2 * k)] * 32768.0f) + 16384);
        if (prev >= 0) {
            const int64_t n = k - prevAt;
            const int64_t want = prev >= b ? a + n - 1 : a + (prev - a + n) % (b - a);
            if (want >= b - fade && want < b) continue;  // crossfaded
            if (f >= b)
                ++errors;  // played beyond B
            else if (f != want)
                errors += std::abs(f - want);
        }
        prev = f;
        prevAt = k;
    }
    return errors;
}

std::vector<float> playLoop(const std::string& path, int64_t a, int64_t b, int wraps,
                            bool bySeeking) {
    engine::setOutputKind(engine::OutputKind::NullManual);
    BASS_Init(-1, 44100, 0, nullptr, nullptr);
    const DWORD s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    const DWORD t = BASS_FX_TempoCreate(s, BASS_FX_FREESOURCE);
    BASS_ChannelSetPosition(t, QWORD(a * 4));
    if (!bySeeking) engine::setLoop(t, QWORD(a * 4), QWORD(b * 4));
    BASS_ChannelPlay(t, 0);
    std::vector<float> out(size_t((b - a) * wraps * 2));
    const int64_t step = 441;  // 10 ms
    for (int64_t at = 0; at + step <= int64_t(out.size() / 2); at += step) {
        engine::nullOutputRead(out.data() + at * 2, step);
        if (bySeeking && BASS_ChannelGetPosition(t) >= QWORD(b * 4))
            BASS_ChannelSetPosition(t, QWORD(a * 4));
    }
    BASS_Free();
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    fixtures::TempDir dir;

    std::printf("Practice tools\n");
    const std::string mp3 = dir.file("five-minutes.mp3");
    fixtures::writeMp3(mp3, fixtures::drumTrack(112, 300.0, 5));
    const double plain = plainDecodeMs(mp3);
    std::vector<WaveTimes> runs;
    for (int i = 0; i < 3; ++i) {  // a new name each time: nothing from the cache
        const std::string copy = dir.file("run" + std::to_string(i) + ".mp3");
        std::filesystem::copy_file(mp3, copy);
        runs.push_back(waveform(copy));
    }
    std::sort(runs.begin(), runs.end(),
              [](const WaveTimes& x, const WaveTimes& y) { return x.firstMs < y.firstMs; });
    const WaveTimes& m = runs[1];
    double stall = 0;
    for (const auto& r : runs) stall = std::max(stall, r.stallMs);
    std::printf(
        "  waveform, 5-minute MP3: first drawn %.0f ms (goal < 300), exact %.0f ms; "
        "plain full decode with libmpg123 %.0f ms: first drawing at %.2fx of it\n",
        m.firstMs, m.exactMs, plain, m.firstMs / plain);
    const double idle = waveform({}).stallMs;
    std::printf(
        "  window thread's longest stall meanwhile: %.1f ms (1 ms timer; the same window "
        "idle: %.1f ms)\n",
        stall, idle);
    QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/waveforms")
        .removeRecursively();

    const int64_t a = 44100, b = 110000, fade = 265;  // not a whole number of timer ticks
    const std::string wav = dir.file("ramp.wav");
    fixtures::writeWav(wav, ramp(4 * 44100));
    const int wraps = 40;
    const auto o = playLoop(wav, a, b, wraps, false);
    const int64_t ours = loopErrors(o, a, b, fade);
    const auto sk = playLoop(wav, a, b, wraps, true);
    const int64_t seeking = loopErrors(sk, a, b, 0);
    std::printf(
        "  A-B loop, %d wraps at tempo 0: %lld frames missing or repeated outside the "
        "6 ms crossfade (goal 0); seeking back from a 10 ms timer: %lld (%.0f per wrap)\n",
        wraps, (long long)ours, (long long)seeking, double(seeking) / wraps);
    return 0;
}
