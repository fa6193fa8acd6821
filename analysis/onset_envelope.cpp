// The onset-strength envelope of bpm_tempo.h: the log-band spectral flux of the whole spectrum,
// of its low, middle and high part, and the changes of harmony.
#include "analysis/bpm_tempo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>

#include "analysis/fft.h"

namespace analysis::bpm {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kBands = 32;
// Magnitudes are compressed with log(1 + 10 |X|): loud onsets (kick, snare) still outweigh quiet
// ones (hi-hats, the tail of a chord), which a decibel scale would make equal.
constexpr float kCompression = 10.0f;

double hzToMel(double hz) {
    return 2595.0 * std::log10(1.0 + hz / 700.0);
}
double melToHz(double mel) {
    return 700.0 * (std::pow(10.0, mel / 2595.0) - 1.0);
}

}  // namespace

struct OnsetEnvelope::Impl {
    int rate = 44100;
    int decim = 1;
    int hop = 128;
    int win = 1024;
    double frameRate = 0;

    // decimation
    float decimSum = 0;
    int decimCount = 0;

    // analysis frame: the last `win` decimated samples, `fill` new ones since the last frame
    std::vector<float> frame;
    int fill = 0;
    std::vector<float> window;
    std::unique_ptr<RealFft> fft;
    std::vector<int> bandStart, bandEnd;
    std::vector<float> prev, cur;
    bool havePrev = false;
    float fullScale = 1;  // band power of a full-scale sine

    std::vector<float> values;
    std::vector<float> bands[4];       // indexed by OnsetBand
    size_t lowEnd = 0, highStart = 0;  // bands [0, lowEnd) are low, [highStart, end) high

    // harmonic part: the last `cwin` decimated samples in a circular buffer
    static constexpr int kChromaHops = 4;
    int cwin = 4096;
    std::vector<float> history;
    size_t historyAt = 0;
    int hops = 0;
    std::vector<float> cwindow;
    std::unique_ptr<RealFft> cfft;
    int chromaLo = 0, chromaHi = 0;  // FFT bins
    std::vector<int> pitchClass;     // of each bin in [chromaLo, chromaHi)
    float chromaPrev[12] = {};
    bool haveChroma = false;
    float harmonic = 0;

    explicit Impl(int sampleRate) : rate(sampleRate > 0 ? sampleRate : 44100) {
        while (rate / decim > 32000) decim *= 2;
        const double r = double(rate) / decim;
        // about 5.8 ms per hop, a power of two
        hop = 1;
        while (hop * 2 <= int(std::lround(r * 0.0058 * 1.4))) hop *= 2;
        hop = std::max(hop, 16);
        win = hop * 8;
        frameRate = r / hop;
        frame.assign(size_t(win), 0.0f);
        window.resize(size_t(win));
        for (int i = 0; i < win; ++i)
            window[size_t(i)] = float(0.5 - 0.5 * std::cos(2 * kPi * (i + 0.5) / win));
        fft = std::make_unique<RealFft>(win);
        // Mel bands from 30 Hz to 11 kHz (or Nyquist); each at least one bin.
        const double nyq = r / 2;
        const double top = std::min(11000.0, nyq * 0.95);
        const double m0 = hzToMel(30.0), m1 = hzToMel(top);
        const double binHz = r / win;
        int last = 1;
        for (int b = 0; b < kBands; ++b) {
            int e = int(std::lround(melToHz(m0 + (m1 - m0) * (b + 1) / kBands) / binHz));
            e = std::clamp(e, last + 1, win / 2);
            if (last >= win / 2) break;
            bandStart.push_back(last);
            bandEnd.push_back(e);
            last = e;
        }
        prev.assign(bandStart.size(), 0.0f);
        cur.assign(bandStart.size(), 0.0f);
        // A full-scale sine gives a power of about (win/4)^2 in its bin.
        fullScale = float(double(win) * win / 16.0);
        // The parts: by where 300 Hz and 4.5 kHz fall on the bands' mel scale.
        const auto bandAt = [&](double hz) {
            return size_t(std::clamp((hzToMel(hz) - m0) / (m1 - m0) * kBands, 0.0, double(kBands)));
        };
        lowEnd = std::min(std::max<size_t>(bandAt(300.0), 1), bandStart.size());
        highStart = std::clamp(bandAt(4500.0), lowEnd, bandStart.size());

        cwin = win * kChromaHops;
        history.assign(size_t(cwin), 0.0f);
        cwindow.resize(size_t(cwin));
        for (int i = 0; i < cwin; ++i)
            cwindow[size_t(i)] = float(0.5 - 0.5 * std::cos(2 * kPi * (i + 0.5) / cwin));
        cfft = std::make_unique<RealFft>(cwin);
        const double cbinHz = r / cwin;
        chromaLo = std::max(1, int(65.0 / cbinHz));
        chromaHi = std::clamp(int(2100.0 / cbinHz), chromaLo, cwin / 2);
        for (int k = chromaLo; k < chromaHi; ++k) {
            const long midi = std::lround(69.0 + 12.0 * std::log2(k * cbinHz / 440.0));
            pitchClass.push_back(int(((midi % 12) + 12) % 12));
        }
    }

    void analyseHarmony() {
        // The oldest sample is at historyAt.
        const size_t older = size_t(cwin) - historyAt;
        float* cin = cfft->input();
        for (size_t i = 0; i < older; ++i) cin[i] = history[historyAt + i] * cwindow[i];
        for (size_t i = older; i < size_t(cwin); ++i) cin[i] = history[i - older] * cwindow[i];
        const float* s = cfft->packed();
        float chroma[12] = {};
        for (int k = chromaLo; k < chromaHi; ++k)
            chroma[pitchClass[size_t(k - chromaLo)]] += s[k] * s[k] + s[cwin - k] * s[cwin - k];
        const float scale = 16.0f / (float(cwin) * float(cwin));
        float change = 0;
        for (int c = 0; c < 12; ++c) {
            const float v = std::log1p(100.0f * chroma[c] * scale);
            if (haveChroma) change += std::max(0.0f, v - chromaPrev[c]);
            chromaPrev[c] = v;
        }
        haveChroma = true;
        harmonic = change / kChromaHops;
    }

    void analyse() {
        float* in = fft->input();
        for (int i = 0; i < win; ++i) in[i] = frame[size_t(i)] * window[size_t(i)];
        const float* s = fft->packed();
        const size_t nb = bandStart.size();
        float flux = 0, part[3] = {0, 0, 0};
        for (size_t b = 0; b < nb; ++b) {
            float p = 0;
            for (int k = bandStart[b]; k < bandEnd[b]; ++k) {
                const float re = s[k];
                const float im = (k == win / 2) ? 0.0f : s[win - k];
                p += re * re + im * im;
            }
            p /= float(bandEnd[b] - bandStart[b]);
            cur[b] = std::log1p(kCompression * std::sqrt(p / fullScale));
            if (havePrev) {
                const float rise = std::max(0.0f, cur[b] - prev[b]);
                flux += rise;
                part[b < lowEnd ? 0 : b < highStart ? 1 : 2] += rise;
            }
        }
        std::swap(prev, cur);
        havePrev = true;
        values.push_back(nb ? flux / float(nb) : 0.0f);
        const size_t count[3] = {lowEnd, highStart - lowEnd, nb - highStart};
        for (int p = 0; p < 3; ++p) bands[p].push_back(count[p] ? part[p] / float(count[p]) : 0.0f);
        if (++hops == kChromaHops) {
            hops = 0;
            analyseHarmony();
        }
        bands[int(OnsetBand::Harmonic)].push_back(harmonic);
    }

    void pushDecimated(float v) {
        history[historyAt] = v;
        if (++historyAt == size_t(cwin)) historyAt = 0;
        frame[size_t(win - hop + fill)] = v;
        if (++fill == hop) {
            analyse();
            std::copy(frame.begin() + hop, frame.end(), frame.begin());
            fill = 0;
        }
    }
};

OnsetEnvelope::OnsetEnvelope(int sampleRate) : d_(std::make_unique<Impl>(sampleRate)) {}
OnsetEnvelope::~OnsetEnvelope() = default;

void OnsetEnvelope::push(const float* mono, size_t count) {
    Impl& d = *d_;
    if (d.decim == 1) {
        for (size_t i = 0; i < count; ++i) d.pushDecimated(mono[i]);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        d.decimSum += mono[i];
        if (++d.decimCount == d.decim) {
            d.pushDecimated(d.decimSum / float(d.decim));
            d.decimSum = 0;
            d.decimCount = 0;
        }
    }
}

double OnsetEnvelope::frameRate() const {
    return d_->frameRate;
}
int OnsetEnvelope::samplesPerFrame() const {
    return d_->hop * d_->decim;
}
void OnsetEnvelope::discardValues(size_t count) {
    auto drop = [count](std::vector<float>& v) {
        v.erase(v.begin(), v.begin() + std::ptrdiff_t(std::min(count, v.size())));
    };
    drop(d_->values);
    for (auto& b : d_->bands) drop(b);
}
const std::vector<float>& OnsetEnvelope::values() const {
    return d_->values;
}
const std::vector<float>& OnsetEnvelope::bandValues(OnsetBand band) const {
    return d_->bands[int(band)];
}
void OnsetEnvelope::clearValues() {
    d_->values.clear();
    for (auto& b : d_->bands) b.clear();
}

void OnsetEnvelope::reset() {
    Impl& d = *d_;
    d.values.clear();
    for (auto& b : d.bands) b.clear();
    std::fill(d.frame.begin(), d.frame.end(), 0.0f);
    std::fill(d.history.begin(), d.history.end(), 0.0f);
    d.historyAt = 0;
    d.hops = 0;
    d.haveChroma = false;
    d.harmonic = 0;
    d.fill = 0;
    d.decimSum = 0;
    d.decimCount = 0;
    d.havePrev = false;
}

void OnsetEnvelope::reserveSeconds(double seconds) {
    if (seconds <= 0) return;
    const size_t n = size_t(seconds * d_->frameRate) + 16;
    d_->values.reserve(n);
    for (auto& b : d_->bands) b.reserve(n);
}

}  // namespace analysis::bpm
