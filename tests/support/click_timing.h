// How well a stretched click train keeps time: each click's onset in the output against where the
// tempo puts the source's onset, and clicks that come out twice. For the tests and the benchmarks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/support/audio_fixtures.h"

namespace fixtures {

struct ClickTiming {
    int clicks = 0;           // clicks measured
    double spreadMs = 0;      // 10-90 % range of (onset - expected onset)
    double meanOffsetMs = 0;  // mean of (onset - expected onset)
    int doubled = 0;          // clicks with a second onset within their beat
    int missing = 0;          // beats with no onset at all
};

namespace detail {

// Peak of |x| over the channels in 1 ms windows, one value per sample (a running maximum, so an
// onset is where it first rises).
inline std::vector<float> envelope(const Pcm& p) {
    const int64_t n = p.frames();
    std::vector<float> abs(size_t(n), 0.0f), env(size_t(n), 0.0f);
    for (int64_t i = 0; i < n; ++i)
        for (int c = 0; c < p.channels; ++c)
            abs[size_t(i)] = std::max(abs[size_t(i)],
                                      float(std::abs(int(p.samples[size_t(i * p.channels + c)]))));
    const int64_t w = p.rate / 1000;
    for (int64_t i = 0; i < n; ++i) {
        float m = 0.0f;
        for (int64_t k = i; k < std::min(n, i + w); ++k) m = std::max(m, abs[size_t(k)]);
        env[size_t(i)] = m;
    }
    return env;
}

// Rising crossings of `high` in [from, to), each after the envelope fell below `low` (so one
// decaying click counts once); their positions.
inline std::vector<int64_t> onsets(const std::vector<float>& env, int64_t from, int64_t to,
                                   float high, float low) {
    std::vector<int64_t> at;
    bool armed = true;
    for (int64_t i = std::max<int64_t>(from, 0); i < std::min<int64_t>(to, int64_t(env.size()));
         ++i) {
        if (armed && env[size_t(i)] >= high) {
            at.push_back(i);
            armed = false;
        } else if (env[size_t(i)] < low) {
            armed = true;
        }
    }
    return at;
}

}  // namespace detail

// `in`: the click train (one click a beat, `beatFrames` apart); `out`: it through a stretcher at
// speed `ratio` (output frame = input frame / ratio). Beats whose window runs past either end are
// left out. An onset is where the 1 ms peak envelope first reaches 30 % of the source's click
// peak; a second onset in the same beat (after the envelope fell below 6 % of it) is a doubled
// click. A beat runs from a quarter of it before the expected onset to three quarters after.
inline ClickTiming clickTiming(const Pcm& in, const Pcm& out, double beatFrames, double ratio) {
    const auto envIn = detail::envelope(in), envOut = detail::envelope(out);
    const float peak = *std::max_element(envIn.begin(), envIn.end());
    const float high = 0.3f * peak, low = 0.06f * peak;
    const double outBeat = beatFrames / ratio;
    ClickTiming t;
    std::vector<double> offsets;
    for (const int64_t src : detail::onsets(envIn, 0, int64_t(envIn.size()), high, low)) {
        const double expected = double(src) / ratio;
        const auto from = int64_t(expected - 0.25 * outBeat);
        const auto to = int64_t(expected + 0.75 * outBeat);
        if (from < 0 || to > int64_t(envOut.size())) continue;
        const auto found = detail::onsets(envOut, from, to, high, low);
        ++t.clicks;
        if (found.empty()) {
            ++t.missing;
            continue;
        }
        if (found.size() > 1) ++t.doubled;
        offsets.push_back((double(found.front()) - expected) * 1000.0 / out.rate);
    }
    if (offsets.empty()) return t;
    std::sort(offsets.begin(), offsets.end());
    auto at = [&](double q) {
        return offsets[size_t(std::lround(q * double(offsets.size() - 1)))];
    };
    t.spreadMs = at(0.9) - at(0.1);
    double sum = 0;
    for (double o : offsets) sum += o;
    t.meanOffsetMs = sum / double(offsets.size());
    return t;
}

}  // namespace fixtures
