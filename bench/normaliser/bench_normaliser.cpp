// Normalising a 4-minute 44.1 kHz stereo WAV (goal: >= 200x realtime), as a ratio to
// `sox --norm` on the same file in the same run (skipped, with a note, when sox is missing).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "components/normaliser_component.h"
#include "tests/support/audio_fixtures.h"

namespace {

double seconds(const std::chrono::steady_clock::time_point& since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

template <class F>
double best(int runs, F&& f) {
    double b = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t = std::chrono::steady_clock::now();
        if (!f()) return -1;
        b = std::min(b, seconds(t));
    }
    return b;
}

}  // namespace

int main() {
    fixtures::TempDir dir;
    const double lengthSec = 240.0;
    const std::string in = dir.file("in.wav"), out = dir.file("out.wav"),
                      soxOut = dir.file("sox.wav");
    fixtures::writeWav(in, fixtures::drumTrack(120, lengthSec, 3));

    const double ours =
        best(3, [&] { return NormaliserComponent::normalizeFile(in, out, 90.0, nullptr).empty(); });
    if (ours < 0) {
        std::printf("normaliser: FAILED\n");
        return 1;
    }
    std::printf("normaliser: 4-minute WAV to 90 %%: %.3f s, %.0fx realtime (goal >= 200x)\n", ours,
                lengthSec / ours);

    if (std::system("command -v sox >/dev/null 2>&1") != 0) {
        std::printf("normaliser: sox not installed, no comparison\n");
        return 0;
    }
    // 90 % of full scale is -0.915 dBFS.
    const std::string cmd = "sox --norm=" + std::to_string(20 * std::log10(0.9)) + " '" + in +
                            "' '" + soxOut + "' 2>/dev/null";
    const double sox = best(3, [&] { return std::system(cmd.c_str()) == 0; });
    if (sox < 0) {
        std::printf("normaliser: sox failed, no comparison\n");
        return 0;
    }
    std::printf("normaliser: sox --norm: %.3f s, %.0fx realtime; ours is %.2fx the speed of sox\n",
                sox, lengthSec / sox, sox / ours);
    return 0;
}
