// MP3 benchmarks.
//   Header reader: ReadMp3FileInfo on 10 MB MP3s (constant rate, and variable rate without a Xing
//   header, where every frame header is walked), against libmpg123 opening the same file (and
//   scanning every frame for the walked one). Goal: under 5 ms.
//   Encoder: the encoder component on a 4-minute WAV at 128 kbit/s against the `lame` command on
//   the same file with the same settings. Goal: lame's time / ours >= 0.95.
#include <mpg123.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "components/mp3_encoder.h"
#include "mp3/mp3routines.h"
#include "tests/support/audio_fixtures.h"

namespace {

using bench::Clock;
using bench::medianMs;

// `seconds` of music encoded without a tag frame, repeated until the file holds `bytes`.
void writeRepeated(const std::string& path, const fixtures::Pcm& pcm, int kbps, int vbrQuality,
                   size_t bytes) {
    fixtures::writeMp3(path, pcm, kbps, vbrQuality, false);
    const auto piece = fixtures::readBytes(path);
    std::vector<uint8_t> out;
    out.reserve(bytes + piece.size());
    while (out.size() < bytes) out.insert(out.end(), piece.begin(), piece.end());
    fixtures::writeBytes(path, out);
}

double mpg123Open(const std::string& path, bool scan) {
    int err = 0;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    mpg123_param(h, MPG123_FLAGS, MPG123_QUIET, 0);
    double seconds = -1;
    if (mpg123_open(h, path.c_str()) == MPG123_OK) {
        long rate = 0;
        int channels = 0, enc = 0;
        mpg123_getformat(h, &rate, &channels, &enc);
        if (scan) mpg123_scan(h);
        const off_t len = mpg123_length(h);
        if (rate > 0) seconds = double(len) / double(rate);
        mpg123_close(h);
    }
    mpg123_delete(h);
    return seconds;
}

void benchReader(const fixtures::TempDir& dir) {
    constexpr size_t kTen = 10u << 20;
    const auto music = fixtures::drumTrack(120, 30, 5);
    struct File {
        const char* what;
        std::string path;
        bool walked;
    };
    const File files[] = {
        {"constant 128 kbit/s", dir.file("cbr.mp3"), false},
        {"variable, no Xing  ", dir.file("vbr.mp3"), true},
    };
    writeRepeated(files[0].path, music, 128, -1, kTen);
    writeRepeated(files[1].path, music, 0, 2, kTen);

    std::printf("ReadMp3FileInfo on 10 MB MP3s (median of 21; goal < 5 ms)\n");
    for (const File& f : files) {
        mp3::Mp3FileInfo info;
        double ours = medianMs(21, [&] { mp3::ReadMp3FileInfo(f.path, info); });
        double base = medianMs(21, [&] { mpg123Open(f.path, f.walked); });
        std::printf(
            "  %s  ours %7.3f ms  libmpg123 %s %7.3f ms  ratio %.2f  (%d s, %d frames, "
            "%d kbit/s)  %s\n",
            f.what, ours, f.walked ? "open+scan" : "open     ", base, ours / base, info.Duration,
            info.FrameCount, info.BitRate, ours < 5.0 ? "PASS" : "FAIL");
    }
}

void benchEncoder(const fixtures::TempDir& dir) {
    const std::string wav = dir.file("four-minutes.wav");
    fixtures::writeWav(wav, fixtures::drumTrack(124, 240, 9));
    const std::string ours = dir.file("ours.mp3"), theirs = dir.file("lame.mp3");
    const std::string command = "lame --quiet -b 128 -q 3 '" + wav + "' '" + theirs + "'";
    if (std::system("lame --version >/dev/null 2>&1") != 0) {
        std::printf("Encoder: the lame command is missing (apt-get install lame); skipped\n");
        return;
    }
    bool ok = true;
    const double ourMs = medianMs(3, [&] {
        components::Mp3Encoder enc;
        enc.setInputFile(QString::fromStdString(wav));
        enc.setOutputFile(QString::fromStdString(ours));
        enc.setBitRate(128000);
        enc.setChannelMode(0);
        ok = enc.Encode() && ok;
    });
    const double lameMs = medianMs(3, [&] { ok = std::system(command.c_str()) == 0 && ok; });
    const double ratio = lameMs / ourMs;
    std::printf("Encoder, 4-minute WAV at 128 kbit/s (median of 3; goal lame/ours >= 0.95)\n");
    std::printf("  ours %7.0f ms  lame command %7.0f ms  ratio %.2f  (%.0fx realtime)  %s%s\n",
                ourMs, lameMs, ratio, 240000.0 / ourMs, ratio >= 0.95 ? "PASS" : "FAIL",
                ok ? "" : "  (an encoding failed)");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    mpg123_init();
    fixtures::TempDir dir;
    benchReader(dir);
    benchEncoder(dir);
    return 0;
}
