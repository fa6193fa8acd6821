// What a critical ear hears in `quorvin render`, on scenes written here, with the peers' commands
// on the same files where they do the same thing:
//  - the stereo image (left/right correlation, side against mid) of a mix after tempo +20, with the
//    default stretcher and with --quality high, against `soundstretch` and `rubberband -3`
//    (goal: within 0.1 and 1 dB of the source);
//  - keep-bass: the level of a tone hard left and hard right, 30 Hz to 1 kHz, through
//    --vocal-remover=keep-bass (goal: within 2 dB of each other and of 1 kHz);
//  - clipped samples: a loud mix through an --eq boost, the samples at full scale in the output
//    and what the command says about them (goal: no sample clipped unsaid);
//  - timing: a 120 BPM click train at tempo -40, -30 and +20, the 10-90 % spread of each click's
//    onset against where the tempo puts it and the clicks played twice, for the default stretcher,
//    `soundstretch`, `soundstretch -speech`, `rubberband` (its faster engine) and `rubberband -3`
//    (goal: <= 5 ms and none twice with the default stretcher).
// A peer that is not installed is skipped with a note.
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/audio_fixtures.h"
#include "tests/support/click_timing.h"

namespace {

using fixtures::Pcm;

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string quote(const std::string& s) {
    return "'" + s + "'";
}

// Runs a shell command; its standard error (and output), and whether it exited with 0.
std::pair<bool, std::string> shell(const std::string& command) {
    std::string text;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return {false, ""};
    std::array<char, 512> buf{};
    while (std::fgets(buf.data(), int(buf.size()), p)) text += buf.data();
    const int status = pclose(p);
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, text};
}

// The line of `text` that holds `word`, or "nothing said".
std::string lineWith(const std::string& text, const std::string& word) {
    const auto at = text.find(word);
    if (at == std::string::npos) return "nothing said";
    const auto from = text.rfind('\n', at);
    const auto start = from == std::string::npos ? 0 : from + 1;
    return "said \"" + text.substr(start, text.find('\n', at) - start) + "\"";
}

std::string render(const std::string& in, const std::string& out, const std::string& options) {
    return std::string(QUORVIN_CLI) + " render " + quote(in) + " " + quote(out) + " " + options;
}

void stereoImages(const fixtures::TempDir& tmp) {
    const std::string src = tmp.file("mix.wav"), out = tmp.file("mix-out.wav");
    const Pcm mix = fixtures::wideMix(20.0);
    fixtures::writeWav(src, mix);
    const auto [corr, side] = fixtures::stereoImage(mix);
    std::printf("sound: stereo image of a mix, correlation / side-mid: source %.2f / %.1f dB\n",
                corr, side);
    struct Way {
        const char* name;
        const char* tool;
        std::string command;
    };
    const std::vector<Way> ways = {
        {"quorvin render (default)", nullptr, render(src, out, "--tempo 20")},
        {"quorvin render --quality high", nullptr, render(src, out, "--tempo 20 --quality high")},
        {"soundstretch", "soundstretch",
         "soundstretch " + quote(src) + " " + quote(out) + " -tempo=20"},
        {"rubberband -3", "rubberband", "rubberband -3 -T1.2 " + quote(src) + " " + quote(out)},
    };
    for (const auto& w : ways) {
        if (w.tool && !have(w.tool)) {
            std::printf("sound:   %s not installed; skipped\n", w.tool);
            continue;
        }
        if (!shell(w.command).first) {
            std::printf("sound:   %s FAILED\n", w.name);
            continue;
        }
        const auto [c, s] = fixtures::stereoImage(fixtures::readAudio(out));
        std::printf(
            "sound:   tempo +20, %-30s %.2f / %.1f dB (%+.2f, %+.1f dB; goal within 0.1, 1 dB)\n",
            w.name, c, s, c - corr, s - side);
    }
}

void keepBass(const fixtures::TempDir& tmp) {
    const std::string src = tmp.file("tone.wav"), out = tmp.file("tone-out.wav");
    const double freqs[] = {30, 50, 80, 100, 120, 150, 200, 300, 500, 1000};
    std::printf("sound: keep-bass remover, tone level out - in (dB), hard left / hard right:\n");
    double ref[2] = {0, 0}, worstPair = 0, worstRef = 0;
    std::vector<std::array<double, 2>> gains;
    for (double f : freqs) {
        std::array<double, 2> g{};
        for (int side = 0; side < 2; ++side) {
            Pcm tone = fixtures::sine(f, 2.0, 44100, 2, 0.16);
            for (int64_t i = 0; i < tone.frames(); ++i) tone.samples[size_t(i * 2 + 1 - side)] = 0;
            fixtures::writeWav(src, tone);
            if (!shell(render(src, out, "--vocal-remover=keep-bass")).first) {
                std::printf("sound:   render FAILED at %.0f Hz\n", f);
                return;
            }
            g[size_t(side)] = fixtures::toneLevelDb(fixtures::readAudio(out), side, f) -
                              fixtures::toneLevelDb(tone, side, f);
        }
        gains.push_back(g);
        std::printf("sound:   %5.0f Hz: %+6.1f / %+6.1f\n", f, g[0], g[1]);
    }
    ref[0] = gains.back()[0], ref[1] = gains.back()[1];
    for (const auto& g : gains) {
        worstPair = std::max(worstPair, std::abs(g[0] - g[1]));
        worstRef = std::max({worstRef, std::abs(g[0] - ref[0]), std::abs(g[1] - ref[1])});
    }
    std::printf(
        "sound:   largest left/right difference %.1f dB, largest from 1 kHz %.1f dB "
        "(goal <= 2, <= 2)\n",
        worstPair, worstRef);
}

void clipping(const fixtures::TempDir& tmp) {
    const std::string src = tmp.file("loud.wav"), out = tmp.file("loud-out.wav");
    Pcm loud = fixtures::drumTrack(120, 20.0, 3);
    int peak = 1;
    for (int16_t s : loud.samples) peak = std::max(peak, std::abs(int(s)));
    for (auto& s : loud.samples) s = int16_t(std::lround(double(s) * 32000.0 / peak));
    fixtures::writeWav(src, loud);
    for (const char* eq : {"0,0,0,0,0,0,0", "10,7,3,0,-1,7,7"}) {
        const auto [ok, said] = shell(render(src, out, std::string("--eq ") + eq));
        const Pcm o = fixtures::readAudio(out);
        const auto full = std::count_if(o.samples.begin(), o.samples.end(),
                                        [](int16_t s) { return s == 32767 || s == -32768; });
        const std::string line = lineWith(said, "clipped");
        std::printf(
            "sound: loud mix (peak -0.2 dBFS), --eq %s: %ld of %zu samples at full scale "
            "(%.2f %%), exit %s, %s\n",
            eq, long(full), o.samples.size(), 100.0 * double(full) / double(o.samples.size()),
            ok ? "0" : "non-zero", line.c_str());
    }
}

void timing(const fixtures::TempDir& tmp) {
    const std::string src = tmp.file("clicks.wav"), out = tmp.file("clicks-out.wav");
    const Pcm clicks = fixtures::clickTrack(120, 15.0, 44100, 2, 0.013);
    fixtures::writeWav(src, clicks);
    std::printf(
        "sound: 120 BPM click train, 10-90 %% onset spread (ms) / clicks doubled of those "
        "measured (goal for the default stretcher: <= 5 ms, 0):\n");
    for (int tempo : {-40, -30, 20}) {
        const double ratio = 1.0 + tempo / 100.0;
        char t[32], r[32];
        std::snprintf(t, sizeof t, "%d", tempo);
        std::snprintf(r, sizeof r, "%.2f", ratio);
        struct Way {
            const char* name;
            const char* tool;
            std::string command;
        };
        const std::string io = quote(src) + " " + quote(out);
        const std::vector<Way> ways = {
            {"quorvin (default)", nullptr, render(src, out, std::string("--tempo ") + t)},
            {"quorvin --quality high", nullptr,
             render(src, out, std::string("--tempo ") + t + " --quality high")},
            {"soundstretch", "soundstretch", "soundstretch " + io + " -tempo=" + t},
            {"soundstretch -speech", "soundstretch",
             "soundstretch " + io + " -tempo=" + t + " -speech"},
            {"rubberband (R2)", "rubberband", "rubberband -T" + std::string(r) + " " + io},
            {"rubberband -3", "rubberband", "rubberband -3 -T" + std::string(r) + " " + io},
        };
        for (const auto& w : ways) {
            if (w.tool && !have(w.tool)) {
                std::printf("sound:   %+d %%, %s not installed; skipped\n", tempo, w.tool);
                continue;
            }
            if (!shell(w.command).first) {
                std::printf("sound:   %+d %%, %s FAILED\n", tempo, w.name);
                continue;
            }
            const auto c =
                fixtures::clickTiming(clicks, fixtures::readAudio(out), 44100 * 0.5, ratio);
            std::printf(
                "sound:   %+d %%, %-24s %5.1f ms / %d of %d (%d missing), mean offset %+.1f ms\n",
                tempo, w.name, c.spreadMs, c.doubled, c.clicks, c.missing, c.meanOffsetMs);
        }
    }
}

}  // namespace

int main() {
    fixtures::TempDir tmp;
    stereoImages(tmp);
    keepBass(tmp);
    clipping(tmp);
    timing(tmp);
    return 0;
}
