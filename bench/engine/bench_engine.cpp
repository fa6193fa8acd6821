// Engine core benchmark: prints figures and ratios, no pass or fail.
//   1. Peak memory (maxrss) while a generated 60-minute WAV is decoded through a tempo channel.
//   2. A 4-minute 44.1 kHz stereo MP3 through a decoding tempo channel (tempo +20 %, pitch -2,
//      seven equalizer bands, a DSP procedure), against plain mpg123 + SoundTouch doing the same
//      stretch in the same run.
//   3. Play-to-first-output latency on the clock-driven null output.
#include <SoundTouch.h>
#include <mpg123.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "tests/support/audio_fixtures.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// CPU time of the calling thread: the machine may be busy with other work, and both the plain
// libraries and the decoding channel run on the calling thread.
double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double maxRssMb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_maxrss) / 1024.0;
}

// Writes `minutes` of a music-like signal as a 16-bit stereo WAV, one second at a time.
void writeLongWav(const std::string& path, int minutes) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    const fixtures::Pcm second = fixtures::drumTrack(120, 1.0, 3);
    for (int s = 0; s < minutes * 60; ++s) sf_writef_short(f, second.samples.data(), 44100);
    sf_close(f);
}

// The vocal remover's arithmetic, as the program's DSP procedure does it.
void centreCancel(HDSP, DWORD, void* buffer, DWORD length, void*) {
    auto* s = static_cast<int16_t*>(buffer);
    for (DWORD i = 0; i + 1 < length / 2; i += 2) {
        const int v = int(std::nearbyint((float(s[i + 1]) - float(s[i])) / 2.0f));
        s[i] = s[i + 1] = int16_t(std::clamp(v, -32768, 32767));
    }
}

void setEqualizer(DWORD chan) {
    const float centres[7] = {80, 200, 1500, 4000, 7500, 10000, 12000};
    const float gains[7] = {10, 7, 3, 0, -1, 7, 7};
    for (int i = 0; i < 7; ++i) BASS_FX_DSP_Set(chan, BASS_FX_PEAKEQ, 0);
    for (int i = 0; i < 7; ++i) {
        BASS_FX_DSPPEAKEQ p{i, 44100, 2.5f, 1.0f, centres[i], gains[i]};
        BASS_FX_DSP_SetParameters(chan, BASS_FX_PEAKEQ, &p);
    }
}

// Everything a decoding channel delivers, in the render's 20,000-byte blocks.
int64_t drain(DWORD chan) {
    std::vector<char> buf(20000);
    int64_t total = 0;
    while (BASS_ChannelIsActive(chan)) {
        const int n = BASS_ChannelGetData(chan, buf.data(), DWORD(buf.size()));
        if (n <= 0) break;
        total += n;
    }
    return total;
}

// The same stretch with the plain libraries: mpg123 decode, SoundTouch, back to 16-bit.
int64_t plainStretch(const std::string& path) {
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    mpg123_format_none(h);
    mpg123_format(h, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    mpg123_open(h, path.c_str());
    soundtouch::SoundTouch st;
    st.setSampleRate(44100);
    st.setChannels(2);
    st.setTempoChange(20);
    st.setPitchSemiTones(-2);
    std::vector<int16_t> in(2048 * 2), out16(5000 * 2);
    std::vector<float> fin(2048 * 2), fout(5000 * 2);
    int64_t total = 0;
    auto receive = [&] {
        for (;;) {
            const uint n = st.receiveSamples(fout.data(), 5000);
            if (!n) break;
            for (uint i = 0; i < n * 2; ++i)
                out16[i] = int16_t(std::lrint(std::clamp(fout[i] * 32768.0f, -32768.0f, 32767.0f)));
            total += n * 4;
        }
    };
    for (;;) {
        size_t done = 0;
        const int rc =
            mpg123_read(h, reinterpret_cast<unsigned char*>(in.data()), in.size() * 2, &done);
        if (rc == MPG123_NEW_FORMAT) continue;
        const size_t frames = done / 4;
        for (size_t i = 0; i < frames * 2; ++i) fin[i] = float(in[i]) / 32768.0f;
        if (frames) st.putSamples(fin.data(), uint(frames));
        receive();
        if (rc != MPG123_OK) break;
    }
    st.flush();
    receive();
    mpg123_close(h);
    mpg123_delete(h);
    return total;
}

double engineStretch(const std::string& path, int64_t* bytes) {
    const double t0 = cpuNow();
    const DWORD s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    BASS_ChannelSetDSP(s, centreCancel, nullptr, 0);
    setEqualizer(s);
    const DWORD t = BASS_FX_TempoCreate(s, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
    BASS_FX_TempoSet(t, 20, 0, -100);
    BASS_FX_TempoSet(t, -100, 0, -2);
    *bytes = drain(t);
    BASS_StreamFree(t);
    return cpuNow() - t0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {  // profiling aid: only the engine's stretch of a given MP3
        int64_t bytes = 0;
        const double e = engineStretch(argv[1], &bytes);
        const double t0 = cpuNow();
        plainStretch(argv[1]);
        const double p = cpuNow() - t0;
        std::printf("engine %.3f s CPU, plain %.3f s CPU, ratio %.2f\n", e, p, p / e);
        return 0;
    }
    const auto dir = std::filesystem::temp_directory_path() / "quorvin-bench-engine";
    std::filesystem::create_directories(dir);

    // 1. Memory first, while the process is still small.
    {
        const std::string longWav = (dir / "sixty-minutes.wav").string();
        writeLongWav(longWav, 60);
        const double before = maxRssMb();
        const double t0 = cpuNow();
        const DWORD s = BASS_StreamCreateFile(0, longWav.c_str(), 0, 0, BASS_STREAM_DECODE);
        const DWORD t = BASS_FX_TempoCreate(s, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
        BASS_FX_TempoSet(t, 20, 0, -2);
        const int64_t bytes = drain(t);
        const double took = cpuNow() - t0;
        BASS_StreamFree(t);
        std::filesystem::remove(longWav);
        std::printf(
            "60-minute WAV through a tempo channel (+20 %%, -2): %.1f s CPU (%.0fx realtime), "
            "%lld bytes out\n",
            took, 3600.0 / took, static_cast<long long>(bytes));
        std::printf("  peak memory (maxrss): %.1f MB (%.1f MB before decoding; goal < 80 MB)\n",
                    maxRssMb(), before);
    }

    // 2. Throughput against the plain libraries.
    const std::string mp3 = (dir / "four-minutes.mp3").string();
    fixtures::writeMp3(mp3, fixtures::drumTrack(128, 240.0, 5));
    {
        // By turns, five times each, and the median of each: the machine may be shared.
        std::vector<double> plainRuns, engineRuns;
        int64_t plainBytes = 0, engineBytes = 0;
        for (int run = 0; run < 5; ++run) {
            const double t0 = cpuNow();
            plainBytes = plainStretch(mp3);
            plainRuns.push_back(cpuNow() - t0);
            engineRuns.push_back(engineStretch(mp3, &engineBytes));
        }
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const double plainBest = median(plainRuns), engineBest = median(engineRuns);
        std::printf("4-minute MP3, decode + tempo +20 %% + pitch -2 (CPU time, median of 5):\n");
        std::printf(
            "  plain mpg123 + SoundTouch:                  %.3f s (%.0fx realtime), %lld bytes\n",
            plainBest, 240.0 / plainBest, static_cast<long long>(plainBytes));
        std::printf(
            "  engine tempo channel + 7 EQ bands + DSP:    %.3f s (%.0fx realtime), %lld bytes\n",
            engineBest, 240.0 / engineBest, static_cast<long long>(engineBytes));
        std::printf("  ratio plain / engine: %.2f (goal >= 0.9)\n", plainBest / engineBest);

        // Rubber Band on the same decoding channel (its offline mode, as a render runs it), on
        // the calling thread's CPU time: one channel's share of the high-quality render.
        const double r0 = cpuNow();
        const DWORD s = BASS_StreamCreateFile(0, mp3.c_str(), 0, 0, BASS_STREAM_DECODE);
        const DWORD t = BASS_FX_TempoCreate(s, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
        BASS_FX_TempoSet(t, 20, 0, -2);
        engine::setTempoStretcher(t, engine::TempoStretcher::RubberBand);
        const int64_t rbBytes = drain(t);
        BASS_StreamFree(t);
        const double rb = cpuNow() - r0;
        std::printf(
            "  engine tempo channel on Rubber Band (R3):   %.3f s (%.1fx realtime), %lld bytes; "
            "%.2fx SoundTouch's CPU time\n",
            rb, 240.0 / rb, static_cast<long long>(rbBytes), rb / engineBest);
    }

    // 3. Play to first output on the null output.
    {
        engine::setOutputKind(engine::OutputKind::NullClock);
        double worst = 0, sum = 0;
        const int runs = 10;
        for (int run = 0; run < runs; ++run) {
            BASS_Init(-1, 44100, 0, nullptr, nullptr);
            const DWORD s = BASS_StreamCreateFile(0, mp3.c_str(), 0, 0, BASS_STREAM_DECODE);
            const DWORD t = BASS_FX_TempoCreate(s, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
            BASS_ChannelSetPosition(t, 176400 * 10);  // into the music: no leading silence
            const auto t0 = Clock::now();
            BASS_ChannelPlay(t, 0);
            const QWORD start = BASS_ChannelGetPosition(t);
            while (BASS_ChannelGetPosition(t) == start && seconds(t0) < 2)
                std::this_thread::yield();
            const double ms = seconds(t0) * 1000.0;
            worst = std::max(worst, ms);
            sum += ms;
            BASS_Free();
        }
        std::printf(
            "Play to first output samples (null clock output): mean %.1f ms, worst %.1f ms "
            "(goal < 50 ms)\n",
            sum / runs, worst);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
