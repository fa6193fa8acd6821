// Whole-disc rip of a generated 10-track image (10 x 20 s) to FLAC and to MP3 (256 kbit/s CBR),
// checksums and log included, as x realtime and as a ratio to the `flac` and `lame` commands
// encoding the same PCM (one WAV of the whole disc) in the same run. Goal: ratio >= 0.9 each.
// Arguments (wav, flac, mp3) run only those parts, for profiling one of them.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_timing.h"
#include "disc/basscd.h"
#include "rip/rip_disc.h"
#include "tests/cd/cd_image.h"
#include "tests/support/audio_fixtures.h"

namespace {

using bench::medianMs;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// User and system CPU time of `who` (RUSAGE_SELF or RUSAGE_CHILDREN), in milliseconds.
double cpuMs(int who) {
    rusage ru{};
    getrusage(who, &ru);
    auto ms = [](const timeval& t) {
        return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0;
    };
    return ms(ru.ru_utime) + ms(ru.ru_stime);
}

double loadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : 0;
}

constexpr int kTracks = 10;
constexpr int kSectors = 20 * 75;

// The disc's PCM as one 16-bit stereo WAV, for the command-line encoders.
void writeDiscWav(const cdimage::Disc& disc, const std::string& path) {
    std::vector<uint8_t> pcm;
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        auto b = cdimage::trackBytes(disc.tracks[i], int(i));
        pcm.insert(pcm.end(), b.begin(), b.end());
    }
    auto le = [](std::ofstream& o, uint32_t v, int bytes) {
        for (int k = 0; k < bytes; ++k) o.put(char((v >> (8 * k)) & 0xff));
    };
    std::ofstream o(path, std::ios::binary);
    o.write("RIFF", 4);
    le(o, uint32_t(pcm.size() + 36), 4);
    o.write("WAVEfmt ", 8);
    le(o, 16, 4);
    le(o, 1, 2);
    le(o, 2, 2);
    le(o, 44100, 4);
    le(o, 176400, 4);
    le(o, 4, 2);
    le(o, 16, 2);
    o.write("data", 4);
    le(o, uint32_t(pcm.size()), 4);
    o.write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
}

void benchFormat(int drive, const fixtures::TempDir& dir, cd::RipFormat format,
                 const std::string& command, const char* tool) {
    const double audioSec = double(kTracks) * kSectors / 75.0;
    if (std::system((std::string(tool) + " --version >/dev/null 2>&1").c_str()) != 0) {
        std::printf("rip to %s: the %s command is missing (./qat setup installs it); skipped\n",
                    cd::ripFormatName(format), tool);
        return;
    }
    // By turns, so that both sides see the same load; medians of the wall times, and the CPU
    // times they took (ours: every thread of the rip; theirs: the command's process).
    constexpr int kRuns = 5;
    bool ok = true;
    std::vector<double> ourMs, toolMs, ourCpu, toolCpu;
    for (int run = 0; run < kRuns; ++run) {
        double cpu = cpuMs(RUSAGE_SELF);
        ourMs.push_back(medianMs(1, [&] {
            cd::RipOptions o;
            o.folder = dir.file("rip-" + std::to_string(int(format)) + "-" + std::to_string(run));
            o.format = format;
            const cd::DiscRip rip = cd::ripDisc(drive, o);
            ok = ok && rip.allClean();
        }));
        ourCpu.push_back(cpuMs(RUSAGE_SELF) - cpu);
        cpu = cpuMs(RUSAGE_CHILDREN);
        toolMs.push_back(medianMs(1, [&] { ok = std::system(command.c_str()) == 0 && ok; }));
        toolCpu.push_back(cpuMs(RUSAGE_CHILDREN) - cpu);
    }
    const double ours = median(ourMs), theirs = median(toolMs);
    const double ratio = theirs / ours;
    std::printf(
        "rip to %s, 10 tracks (%.0f s of audio), checksums and log: %.0f ms, %.0fx realtime; "
        "%s command on the same PCM: %.0f ms (%.0fx); ratio %.2f (goal >= 0.9) %s%s\n"
        "  CPU time: ours %.0f ms, the %s command %.0f ms (ratio %.2f); median of %d by turns, "
        "load average %.1f\n",
        cd::ripFormatName(format), audioSec, ours, audioSec * 1000.0 / ours, tool, theirs,
        audioSec * 1000.0 / theirs, ratio, ratio >= 0.9 ? "PASS" : "FAIL",
        ok ? "" : "  (a rip or an encoding failed)", median(ourCpu), tool, median(toolCpu),
        median(toolCpu) / median(ourCpu), kRuns, loadAverage());
}

}  // namespace

int main(int argc, char** argv) {
    auto wanted = [&](std::string_view part) {
        if (argc < 2) return true;
        for (int i = 1; i < argc; ++i)
            if (part == argv[i]) return true;
        return false;
    };
    engine::cdUseDeviceDrives(false);
    fixtures::TempDir dir;
    cdimage::Disc disc;
    disc.title = "Bench Album";
    disc.performer = "Bench Band";
    disc.tracks = cdimage::audioTracks(kTracks, kSectors);
    const int drive = engine::cdAddImage(cdimage::write(dir.file("disc"), disc));
    if (drive < 0) {
        std::printf("rip: the disc image cannot be opened\n");
        return 1;
    }
    const std::string wav = dir.file("disc.wav");
    writeDiscWav(disc, wav);
    // Reading with error correction and checksumming alone, for reference.
    if (wanted("wav")) {
        cd::RipOptions o;
        o.folder = dir.file("rip-wav");
        o.format = cd::RipFormat::Wav;
        const double cpu = cpuMs(RUSAGE_SELF);
        const double ms = medianMs(1, [&] { cd::ripDisc(drive, o); });
        std::printf(
            "rip to WAV (reading, checksums, log; no encoding): %.0f ms, %.0fx realtime, CPU time "
            "%.0f ms\n",
            ms, double(kTracks) * kSectors / 75.0 * 1000.0 / ms, cpuMs(RUSAGE_SELF) - cpu);
    }
    if (wanted("flac"))
        benchFormat(drive, dir, cd::RipFormat::Flac,
                    "flac --silent -f -o '" + dir.file("disc.flac") + "' '" + wav + "'", "flac");
    if (wanted("mp3"))
        benchFormat(drive, dir, cd::RipFormat::Mp3,
                    "lame --quiet -b 256 -q 3 '" + wav + "' '" + dir.file("disc.mp3") + "'",
                    "lame");
    return 0;
}
