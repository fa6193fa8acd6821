// Practice tools benchmark: prints figures and ratios, no pass or fail.
//   1. Waveform: from loadFile() to the first overview drawn in a WaveformView for a 5-minute
//      MP3, and to the exact one, against a plain full decode of the same file with libmpg123;
//      the longest time the window thread's event loop is blocked meanwhile.
//   2. A-B loop: a ramp played through a loop on the manual null output for 40 wraps, at tempo 0;
//      frames missing or repeated outside the crossfade, against a loop made by seeking back to A
//      from a 10 ms timer once the position passes B.
//   3. Fine pitch: the frequency error of a 440 Hz tone through the tempo channel at shifts with
//      cents, in cents, beside the same measure of the untouched tone; and at low sample rates
//      (tempo -60, pitch +8), against SoundTouch itself at its own settings on the same tone.
//   4. Speed trainer: output frames between each tempo step and the loop's wrap, against stepping
//      from the window's 250 ms timer.
//   5. Count-in: each click's distance from the beat grid the song continues, in ms, against
//      clicks started at once a beat apart.
//   6. Song store: recognising a 5 MB song and loading its record with 1,000 songs stored,
//      against reading the record's file alone.
#include <SoundTouch.h>
#include <mpg123.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "bench/bench_timing.h"
#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "player/waveform/waveform_view.h"
#include "songs/song_store.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/practice_measure.h"

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

DWORD decodingTempo(const std::string& path) {
    const DWORD s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    return BASS_FX_TempoCreate(s, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
}

fixtures::Pcm take(DWORD t, int64_t frames) {
    fixtures::Pcm p;
    p.samples.resize(size_t(frames * 2));
    const int got = BASS_ChannelGetData(t, p.samples.data(), DWORD(frames * 4));
    p.samples.resize(got > 0 ? size_t(got / 2) : 0);
    return p;
}

// The largest error, in cents, of a 440 Hz tone shifted by each of the shifts (semitones).
double centsError(const std::string& tone, const std::vector<double>& shifts) {
    double worst = 0;
    for (double shift : shifts) {
        const DWORD t = decodingTempo(tone);
        BASS_FX_TempoSet(t, 0, 0, float(shift));
        const fixtures::Pcm out = take(t, 3 * 44100);
        const double hz = fixtures::dominantFrequency(out, 0);
        worst = std::max(worst, std::abs(1200.0 * std::log2(hz / 440.0) - 100.0 * shift));
        BASS_StreamFree(t);
    }
    return worst;
}

// The error, in cents, of a 440 Hz stereo tone at `rate` played at tempo -60 and pitch +8: through
// a decoding tempo channel, or (`plain`) through SoundTouch itself at its own settings.
double lowRateCents(int rate, bool plain, const fixtures::TempDir& dir) {
    const fixtures::Pcm tone = fixtures::sine(440, 8.0, rate, 2);
    fixtures::Pcm out{rate, 2, {}};
    if (plain) {
        soundtouch::SoundTouch st;
        st.setSampleRate(uint(rate));
        st.setChannels(2);
        st.setTempoChange(-60);
        st.setPitchSemiTones(8);
        std::vector<float> in(tone.samples.size());
        for (size_t i = 0; i < in.size(); ++i) in[i] = float(tone.samples[i]) / 32768.0f;
        st.putSamples(in.data(), uint(tone.frames()));
        st.flush();
        std::vector<float> got(in.size() * 3);
        const uint n = st.receiveSamples(got.data(), uint(got.size() / 2));
        for (size_t i = 0; i < size_t(n) * 2; ++i)
            out.samples.push_back(int16_t(std::lrint(got[i] * 32767.0f)));
    } else {
        const std::string path = dir.file("low.wav");
        fixtures::writeWav(path, tone);
        const DWORD t = decodingTempo(path);
        BASS_FX_TempoSet(t, -60, 0, 8);
        out.samples = take(t, tone.frames() * 3).samples;
        BASS_StreamFree(t);
    }
    return 1200.0 * std::log2(fixtures::dominantFrequency(out, 0) / 440.0) - 800.0;
}

// The largest distance, in frames, between a trainer's step and the wrap it belongs to; with
// `timerFrames`, the step made by a timer of that period after the wrap instead.
int64_t trainerLanding(const std::string& song, int64_t timerFrames) {
    const DWORD t = decodingTempo(song);
    BASS_FX_TempoSet(t, -30, 0, 0);
    const int64_t a = 22050, b = 66150;
    BASS_ChannelSetPosition(t, QWORD(a * 4));
    engine::setLoop(t, QWORD(a * 4), QWORD(b * 4));
    engine::setLoopTrainer(t, {5.0f, 1, 0.0f});
    const practice::TrainerRun run = practice::runTrainer(t, 44100 * 8);
    BASS_StreamFree(t);
    int64_t worst = 0;
    for (size_t i = 0; i < run.wraps.size() && i < run.tempoSteps.size(); ++i) {
        const int64_t step =
            timerFrames > 0 ? (run.wraps[i] / timerFrames + 1) * timerFrames : run.tempoSteps[i];
        worst = std::max(worst, std::abs(step - run.wraps[i]));
    }
    return worst;
}

// The largest distance, in ms, of a count-in's clicks from the beat grid the song goes on with,
// over several starts, tempi and click counts; `atOnce`: clicks a beat apart from the start,
// ignoring where the song's next beat is.
double countInDistance(const std::string& song, double first, double beat, bool atOnce) {
    double worst = 0;
    for (const auto& [clicks, tempo, start] : std::vector<std::tuple<int, float, double>>{
             {4, 0.0f, 0.0}, {1, -20.0f, 1.35}, {8, 25.0f, 2.1}, {3, -40.0f, 4.77}}) {
        const DWORD t = decodingTempo(song);
        BASS_FX_TempoSet(t, tempo, 0, 0);
        BASS_ChannelSetPosition(t, BASS_ChannelSeconds2Bytes(t, float(start)));
        const double toBeat = std::fmod(first - std::fmod(start, beat) + beat, beat);
        engine::CountIn c;
        c.clicks = clicks;
        c.beatSeconds = beat;
        c.startToBeat = atOnce ? beat : toBeat;
        engine::setCountIn(t, c);
        const double ratio = BASS_FX_TempoGetRateRatio(t);
        const double period = beat / ratio * 44100;
        // Where the song's first beat is heard: the grid the clicks are to lie on ends there.
        const double songBeat = (clicks * beat - (atOnce ? beat : toBeat) + toBeat) / ratio * 44100;
        const fixtures::Pcm out = take(t, int64_t(songBeat + period / 2));
        for (int64_t o : practice::onsets(out.samples, 2, 3000, 4410)) {
            const double k = std::round((songBeat - double(o)) / period);
            if (k < 1) continue;  // the song's own beat
            worst = std::max(worst, std::abs(songBeat - k * period - double(o)) / 44.1);
        }
        BASS_StreamFree(t);
    }
    return worst;
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

    BASS_Init(-1, 44100, 0, nullptr, nullptr);
    const std::string tone = dir.file("a440.wav");
    fixtures::writeWav(tone, fixtures::sine(440, 4.0));
    const double cents = centsError(tone, {-2.5, 0.3, 3.25, -7.5, 7.99, -0.01});
    const double untouched = centsError(tone, {0.0});
    std::printf(
        "  fine pitch, 440 Hz tone at 6 shifts with cents: largest error %.3f cents (goal "
        "<= 0.2); the untouched tone measures %.3f cents off\n",
        cents, untouched);
    for (const int rate : {8000, 11025, 22050, 44100})
        std::printf(
            "  pitch at %d Hz, tempo -60, pitch +8: %+.2f cents off; SoundTouch itself %+.2f "
            "cents\n",
            rate, lowRateCents(rate, false, dir), lowRateCents(rate, true, dir));

    const std::string song = dir.file("song.wav");
    fixtures::writeWav(song, fixtures::drumTrack(120, 4.0));
    std::printf(
        "  speed trainer: step %lld frames from the wrap (goal 0); from a 250 ms timer: up to "
        "%lld\n",
        (long long)trainerLanding(song, 0), (long long)trainerLanding(song, 11025));

    const double first = 0.1, beat = 0.5;
    const std::string clicks = dir.file("clicks.wav");
    fixtures::writeWav(clicks, fixtures::clickTrack(120, 12.0, 44100, 2, first));
    std::printf(
        "  count-in: clicks at most %.2f ms from the beat (goal <= 10); started at once a beat "
        "apart: %.0f ms\n",
        countInDistance(clicks, first, beat, false), countInDistance(clicks, first, beat, true));
    BASS_Free();

    const songs::SongStore store(dir.file("data"));
    std::mt19937_64 rng(7);
    for (int i = 0; i < 1000; ++i) {
        songs::SongKey key{rng() % 100000000, std::to_string(rng())};
        songs::SongRecord r;
        r.loops = {{"Loop 1", 10.0 + i % 50, 20.0 + i % 50}, {"Chorus", 60, 75}};
        r.currentLoop = 0;
        r.markers = {{"Marker 1", 5.0}, {"Solo", 100.5}};
        r.lastPosition = 42.0;
        store.save(key, r);
    }
    const std::string big = dir.file("big.wav");
    fixtures::writeWav(big, fixtures::drumTrack(100, 30.0));
    songs::SongRecord mine;
    mine.loops = {{"Intro", 1, 4}};
    mine.currentLoop = 0;
    store.save(songs::songKey(big), mine);
    const double loadMs = bench::medianMs(9, [&] { store.load(songs::songKey(big)); });
    const std::string recordFile = store.folder() + "/" + songs::songKey(big).fileName();
    const double readMs = bench::medianMs(9, [&] {
        std::ifstream in(recordFile, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    });
    std::printf(
        "  song store, 1,000 songs stored: a 5 MB song recognised and its record loaded in "
        "%.2f ms (goal < 20); reading the record's file alone %.3f ms (%.0fx)\n",
        loadMs, readMs, loadMs / readMs);
    return 0;
}
