// Power of one channel inside a few frequency bands, from a Hann-windowed spectrum averaged over
// the whole signal: how loud one part of a mix is when its partials are known.
#pragma once

#include <cmath>
#include <utility>
#include <vector>

#include "analysis/fft.h"
#include "tests/support/audio_fixtures.h"

namespace fixtures {

// `bands`: (centre, half width) in Hz. The result is in dB of summed bin power.
inline double bandPowerDb(const Pcm& p, int channel,
                          const std::vector<std::pair<double, double>>& bands) {
    const int n = 8192;
    analysis::RealFft fft(n);
    std::vector<double> power(n / 2 + 1, 0.0);
    for (int64_t at = 0; at + n <= p.frames(); at += n / 2) {
        for (int j = 0; j < n; ++j)
            fft.input()[j] = float(p.samples[size_t((at + j) * p.channels + channel)] *
                                   (0.5 - 0.5 * std::cos(2 * M_PI * j / n)));
        const float* m = fft.magnitudes();
        for (int b = 0; b <= n / 2; ++b) power[size_t(b)] += double(m[b]) * m[b];
    }
    double sum = 1e-9;
    const double hzPerBin = double(p.rate) / n;
    for (const auto& [centre, width] : bands)
        for (int b = int((centre - width) / hzPerBin); b <= int((centre + width) / hzPerBin); ++b)
            if (b >= 0 && b <= n / 2) sum += power[size_t(b)];
    return 10 * std::log10(sum);
}

}  // namespace fixtures
