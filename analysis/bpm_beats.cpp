#include "analysis/bpm_beats.h"

#include <algorithm>
#include <cmath>

namespace analysis::bpm {

namespace {

constexpr double kHistorySeconds = 8.0;  // envelope the tempo is estimated on
constexpr double kMinSeconds = 3.0;      // envelope needed before the first beat
constexpr double kUpdateSeconds = 0.5;   // tempo and phase re-estimated this often
constexpr double kPhaseSeconds = 6.0;    // envelope the phase is lined up on
constexpr double kDetrendSeconds = 1.0;  // running mean removed from the envelope

}  // namespace

struct BeatTracker::Impl {
    int rate;
    TempoRange range;
    OnsetEnvelope env;
    double fr;  // envelope frames per second
    int spf;    // samples per envelope frame
    // Onset time within a frame: the flux of frame i peaks when an onset is about this many
    // samples before the end of the frame's window (measured on clicks and drums).
    double latency;

    int64_t base = 0;      // absolute index of env.values()[0]
    std::vector<float> x;  // detrended envelope, same indexing as env.values()
    double runSum = 0;     // sum of the last `detrendFrames` raw values
    int detrendFrames;

    double period = 0;  // beat period in frames (0 = no tempo yet)
    double pendingPeriod = 0;
    int64_t lastUpdate = 0;
    double nextBeat = -1;   // absolute frame of the next beat, -1 = none scheduled
    int64_t phaseFrom = 0;  // the phase is lined up on frames from here on (the last jump)
    double peakLevel = 0;   // running level of the onsets found at beats

    Impl(int sampleRate, TempoRange r)
        : rate(sampleRate > 0 ? sampleRate : 44100), range(r), env(rate) {
        fr = env.frameRate();
        spf = env.samplesPerFrame();
        detrendFrames = std::max(1, int(kDetrendSeconds * fr));
        latency = 2.3 * spf;
    }

    int64_t frames() const { return base + int64_t(env.values().size()); }
    float xAt(int64_t i) const {
        const int64_t k = i - base;
        return (k >= 0 && k < int64_t(x.size())) ? x[size_t(k)] : 0.0f;
    }
    float xNear(double f) const {
        const int64_t i = int64_t(std::floor(f));
        return std::max({xAt(i - 1), xAt(i), xAt(i + 1), xAt(i + 2)});
    }

    void detrendNew() {
        const auto& v = env.values();
        for (size_t k = x.size(); k < v.size(); ++k) {
            runSum += v[k];
            if (k >= size_t(detrendFrames)) runSum -= v[k - size_t(detrendFrames)];
            const double mean = runSum / double(std::min<size_t>(k + 1, size_t(detrendFrames)));
            x.push_back(float(std::max(0.0, double(v[k]) - mean)));
        }
    }

    // Frames back from frame `n` to the last beat of the best-fitting phase.
    double bestPhase(int64_t n) const {
        const double hist = std::min(kPhaseSeconds * fr, double(n - std::max(base, phaseFrom)));
        const int beatsBack = std::max(1, int(hist / period));
        double best = -1, bestP = 0;
        for (double p = 0; p < period; p += 0.5) {
            double s = 0, w = 1;
            for (int k = 0; k < beatsBack; ++k, w *= 0.85)
                s += w * xNear(double(n) - p - k * period);
            if (s > best) {
                best = s;
                bestP = p;
            }
        }
        return bestP;
    }

    void update(int64_t n) {
        // Since a jump, the tempo found before it stands until the audio after it is enough to
        // measure the tempo on: across a loop's joins the envelope is no longer periodic.
        const int64_t since = n - std::max(base, phaseFrom);
        if ((period <= 0 || since >= int64_t(kMinSeconds * fr)) && !estimatePeriod(size_t(since)))
            return;
        if (period <= 0) return;
        // Line the phase up again; move the schedule only when it is clearly off. Right after a
        // jump, the grid carried over stands until a period has been heard.
        if (double(since) < period) return;
        const double last = double(n) - bestPhase(n);
        double cand = last;
        while (cand < double(n) - period * 0.5) cand += period;
        if (nextBeat < 0) {
            nextBeat = cand;
        } else {
            double d = std::fmod(cand - nextBeat, period);
            if (d > period / 2) d -= period;
            if (d < -period / 2) d += period;
            if (std::abs(d) > 0.2 * period) nextBeat += d;
        }
    }

    // Follows the tempo over the last frames (at most `since` once a tempo was found). False when
    // none was found there.
    bool estimatePeriod(size_t since) {
        const auto& v = env.values();
        size_t hist = std::min(v.size(), size_t(kHistorySeconds * fr));
        if (period > 0) hist = std::min(hist, since);
        std::vector<float> tail(v.end() - std::ptrdiff_t(hist), v.end());
        const float bpm = estimateTempo(tail, fr, range, true);
        if (bpm <= 0) return false;
        const double p = 60.0 * fr / bpm;
        if (period <= 0) {
            period = p;
        } else if (std::abs(p - period) < 0.04 * period) {
            period = 0.7 * period + 0.3 * p;
            pendingPeriod = 0;
        } else if (pendingPeriod > 0 && std::abs(p - pendingPeriod) < 0.04 * pendingPeriod) {
            period = p;  // the new tempo held for two estimates: follow it
            pendingPeriod = 0;
            nextBeat = -1;
        } else {
            pendingPeriod = p;
        }
        return true;
    }

    void jump(double shift) {
        const int64_t n = frames();
        phaseFrom = n;
        if (period <= 0 || nextBeat < 0) return;
        // The grid point at or after the jump, on the timeline the audio continues.
        const double next = nextBeat - shift / spf;
        nextBeat = next - std::floor((next - double(n)) / period) * period;
    }

    void emitDue(int64_t n, std::vector<double>& beats) {
        if (period <= 0 || nextBeat < 0) return;
        const double w = 0.08 * period + 1.0;
        while (nextBeat + w + 2 <= double(n)) {
            // The strongest onset near the prediction, if it stands out.
            const int64_t lo = int64_t(std::ceil(nextBeat - w)),
                          hi = int64_t(std::floor(nextBeat + w));
            int64_t at = -1;
            float best = 0;
            for (int64_t i = lo; i <= hi; ++i)
                if (xAt(i) > best) {
                    best = xAt(i);
                    at = i;
                }
            double beat = nextBeat;
            if (at >= 0 && best >= 0.4 * peakLevel) {
                const double a = xAt(at - 1), b = xAt(at), c = xAt(at + 1);
                const double den = a - 2 * b + c;
                const double frac = den < 0 ? std::clamp(0.5 * (a - c) / den, -0.5, 0.5) : 0.0;
                beat = nextBeat + 0.5 * (double(at) + frac - nextBeat);
                peakLevel = peakLevel > 0 ? 0.9 * peakLevel + 0.1 * best : best;
            }
            const double samples = (beat + 1.0) * spf - latency;
            if (samples >= 0) beats.push_back(samples);
            nextBeat = beat + period;
        }
    }
};

BeatTracker::BeatTracker(int sampleRate, TempoRange range)
    : d_(std::make_unique<Impl>(sampleRate, range)) {}
BeatTracker::~BeatTracker() = default;

void BeatTracker::push(const float* mono, size_t count, std::vector<double>& beats) {
    Impl& d = *d_;
    // In slices of a tenth of a second, so that updates and beats come at their time.
    const size_t slice = size_t(d.rate / 10);
    for (size_t off = 0; off < count; off += slice) {
        d.env.push(mono + off, std::min(slice, count - off));
        d.detrendNew();
        const int64_t n = d.frames();
        if (n - d.base >= int64_t(kMinSeconds * d.fr) &&
            n - d.lastUpdate >= int64_t(kUpdateSeconds * d.fr)) {
            d.lastUpdate = n;
            d.update(n);
        }
        d.emitDue(n, beats);
        // Keep a little more than the history the tempo needs.
        const size_t keep = size_t((kHistorySeconds + 2) * d.fr);
        if (d.x.size() > keep * 2) {
            const size_t drop = d.x.size() - keep;
            d.env.discardValues(drop);
            d.x.erase(d.x.begin(), d.x.begin() + std::ptrdiff_t(drop));
            d.base += int64_t(drop);
        }
    }
}

void BeatTracker::jump(double shift) {
    d_->jump(shift);
}

double BeatTracker::tempo() const {
    return d_->period > 0 ? 60.0 * d_->fr / d_->period : 0.0;
}

void BeatTracker::reset() {
    const int rate = d_->rate;
    const TempoRange r = d_->range;
    d_ = std::make_unique<Impl>(rate, r);
}

}  // namespace analysis::bpm
