// `quorvin render` against the bare decoder and stretcher, measured in the same run:
//  - a 4-minute MP3 with tempo +20 %, pitch -2, vocal remover and equalizer, as x-realtime and as
//    the ratio to `ffmpeg -i in.mp3 -f wav - | soundstretch stdin out.wav -tempo=20 -pitch=-2`
//    (goal >= 1.5: decoding and the effects run on the second core, so the render is limited by
//    the stretcher alone);
//  Each pair runs by turns and the median is shown, since the machine may be shared; the load
//  average is printed with the figures.
//  - the high-quality render (Rubber Band's finer engine) of a 4-minute WAV, as x-realtime and as
//    the ratio to the `rubberband -3` command on the same file (goal >= 1.0 and >= 8x realtime);
//  - peak memory while rendering a 60-minute source (goal < 80 MB).
// Needs ffmpeg and soundstretch for the comparison (skipped, with a note, when missing).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "files/wave_header.h"
#include "tests/support/audio_fixtures.h"

namespace {

struct Outcome {
    double seconds = 0;
    long maxRssKb = 0;
    int status = -1;
};

// Runs `argv` as a child process; wall time, its peak resident memory and exit status.
Outcome run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Outcome o;
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    o.maxRssKb = usage.ru_maxrss;
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

// Runs two commands by turns, `runs` times each, so that both see the same changes in the
// machine's load; the median run of each (or the first failure).
std::pair<Outcome, Outcome> medians(int runs, const std::vector<std::string>& a,
                                    const std::vector<std::string>& b) {
    std::vector<Outcome> as, bs;
    for (int i = 0; i < runs; ++i) {
        as.push_back(run(a));
        if (as.back().status != 0) return {as.back(), Outcome{}};
        if (!b.empty()) {
            bs.push_back(run(b));
            if (bs.back().status != 0) return {as.back(), bs.back()};
        }
    }
    auto median = [](std::vector<Outcome>& v) {
        if (v.empty()) return Outcome{};
        std::sort(v.begin(), v.end(),
                  [](const Outcome& x, const Outcome& y) { return x.seconds < y.seconds; });
        return v[v.size() / 2];
    };
    return {median(as), median(bs)};
}

std::string loadAverage() {
    char text[64] = "?";
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(text, sizeof text, f)) text[0] = 0;
        std::fclose(f);
    }
    std::string s = text;
    return s.substr(0, s.find(' ', s.find(' ') + 1));
}

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// A long WAV written block by block (never held in memory): a 10-second drum loop repeated.
void writeLongWav(const std::string& path, double minutes) {
    const auto loop = fixtures::drumTrack(120, 10.0, 4);
    files::WaveWriter w;
    w.create(path, files::WaveHeader::forFormat(2, 44100, false));
    for (double done = 0; done < minutes * 60; done += 10)
        w.append(loop.samples.data(), loop.samples.size() * 2);
    w.finish();
}

}  // namespace

int main() {
    fixtures::TempDir tmp;
    const std::string quorvin = QUORVIN_CLI;
    const double seconds = 240;
    const std::string mp3 = tmp.file("four-minutes.mp3");
    fixtures::writeMp3(mp3, fixtures::drumTrack(120, seconds, 8));

    std::printf("render: load average %s at the start\n", loadAverage().c_str());
    const bool peers = have("ffmpeg") && have("soundstretch");
    const std::string out = tmp.file("ours.wav");
    const std::string pipe = "ffmpeg -v quiet -i '" + mp3 + "' -f wav - | soundstretch stdin '" +
                             tmp.file("peer.wav") + "' -tempo=20 -pitch=-2 >/dev/null 2>&1";
    const auto [ours, peer] = medians(
        5,
        {quorvin, "render", mp3, out, "--tempo", "20", "--pitch", "-2", "--vocal-remover", "--eq",
         "10,7,3,0,-1,7,7"},
        peers ? std::vector<std::string>{"/bin/sh", "-c", pipe} : std::vector<std::string>{});
    if (ours.status != 0) {
        std::printf("render: quorvin render failed (status %d)\n", ours.status);
        return 1;
    }
    std::printf(
        "render: quorvin render, 4-minute MP3, tempo +20, pitch -2, vocal remover, "
        "equalizer: %.2f s, %.0fx realtime (median of 5)\n",
        ours.seconds, seconds / ours.seconds);
    if (peers) {
        std::printf(
            "render: ffmpeg | soundstretch (tempo and pitch only): %.2f s, %.0fx realtime; "
            "ratio %.2f (goal >= 1.5)\n",
            peer.seconds, seconds / peer.seconds, peer.seconds / ours.seconds);
    } else {
        std::printf("render: ffmpeg or soundstretch not installed; no comparison\n");
    }

    // High quality: the same settings through Rubber Band, against its own command.
    const std::string wav = tmp.file("four-minutes.wav");
    fixtures::writeWav(wav, fixtures::drumTrack(120, seconds, 8));
    const bool rubberband = have("rubberband");
    const auto [hq, rb] =
        medians(3,
                {quorvin, "render", wav, tmp.file("hq.wav"), "--tempo", "20", "--pitch", "-2",
                 "--quality", "high"},
                rubberband ? std::vector<std::string>{"/bin/sh", "-c",
                                                      "rubberband -3 -T1.2 -p-2 '" + wav + "' '" +
                                                          tmp.file("rb.wav") + "' >/dev/null 2>&1"}
                           : std::vector<std::string>{});
    std::printf(
        "render: quorvin render --quality high, 4-minute WAV, tempo +20, pitch -2: %.2f s, "
        "%.1fx realtime (median of 3; goal >= 8x)%s\n",
        hq.seconds, seconds / hq.seconds, hq.status == 0 ? "" : " FAILED");
    if (rubberband) {
        std::printf(
            "render: rubberband -3 (same library, offline): %.2f s, %.1fx realtime; ratio %.2f "
            "(goal >= 1.0)%s\n",
            rb.seconds, seconds / rb.seconds, rb.seconds / hq.seconds,
            rb.status == 0 ? "" : " FAILED");
    } else {
        std::printf("render: rubberband not installed; no comparison\n");
    }
    std::printf("render: load average %s at the end\n", loadAverage().c_str());

    const double minutes = 60;
    const std::string longWav = tmp.file("sixty-minutes.wav");
    writeLongWav(longWav, minutes);
    const Outcome big = run({quorvin, "render", longWav, tmp.file("long-out.wav"), "--tempo", "20",
                             "--pitch", "-2", "--vocal-remover", "--eq", "10,7,3,0,-1,7,7"});
    std::printf(
        "render: 60-minute WAV source: %.1f s (%.0fx realtime), peak memory %.1f MB "
        "(goal < 80 MB)%s\n",
        big.seconds, minutes * 60 / big.seconds, big.maxRssKb / 1024.0,
        big.status == 0 ? "" : " FAILED");
    return 0;
}
