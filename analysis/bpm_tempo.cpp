// The tempo estimator of bpm_tempo.h over an onset envelope (onset_envelope.cpp).
#include "analysis/bpm_tempo.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <numeric>

#include "analysis/fft.h"

namespace analysis::bpm {

TempoRange rangeFromMinMax(uint32_t minMax) {
    float lo = float(minMax & 0xffff);
    float hi = float(minMax >> 16);
    if (lo <= 0 || hi <= 0) return kDefaultRange;
    if (lo > hi) std::swap(lo, hi);
    lo = std::clamp(lo, 20.0f, 500.0f);
    hi = std::clamp(hi, 20.0f, 500.0f);
    if (hi - lo < 1.0f) hi = lo + 1.0f;
    return {lo, hi};
}

// The envelope: decimate to about 22 kHz, Hann-windowed FFT of 8 hops, power summed into mel
// bands, log-compressed magnitudes, and the positive band-wise difference to the previous frame
// averaged over the bands (all of them, and those of the low, middle and high part).
// The harmonic part: every fourth hop, a Hann-windowed FFT of 32 hops (about 0.19 s, fine enough
// for the semitones above 65 Hz) folded into twelve pitch classes, log-compressed, and the
// positive difference to the previous one summed; held over the four frames.
namespace {

// The envelope without its slowly varying part (a centred moving average over about a second),
// its peaks kept, less their mean.
std::vector<double> peaks(const std::vector<float>& envelope, double frameRate) {
    const size_t n = envelope.size();
    const size_t half = size_t(frameRate / 2);
    std::vector<double> prefix(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i) prefix[i + 1] = prefix[i] + envelope[i];
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) {
        const size_t a = i > half ? i - half : 0;
        const size_t b = std::min(n, i + half + 1);
        x[i] = std::max(0.0, double(envelope[i]) - (prefix[b] - prefix[a]) / double(b - a));
    }
    const double mean = n ? std::accumulate(x.begin(), x.end(), 0.0) / double(n) : 0.0;
    for (double& v : x) v -= mean;
    return x;
}

// Autocorrelation of x at one whole lag, per product.
double lagProduct(const std::vector<double>& x, size_t lag) {
    // Four sums, so that the compiler may keep them in vector registers.
    double s[4] = {};
    const double* a = x.data();
    const double* b = x.data() + lag;
    const size_t m = x.size() - lag;
    size_t i = 0;
    for (; i + 4 <= m; i += 4)
        for (int k = 0; k < 4; ++k) s[k] += a[i + k] * b[i + k];
    for (; i < m; ++i) s[0] += a[i] * b[i];
    return (s[0] + s[1] + s[2] + s[3]) / double(m);
}

// Autocorrelation of x at every lag up to maxLag, as a share of the zero lag; all zero when x is.
std::vector<double> autocorrelation(const std::vector<double>& x, size_t maxLag) {
    std::vector<double> r(maxLag + 1, 0.0);
    for (size_t lag = 0; lag <= maxLag && lag < x.size(); ++lag) r[lag] = lagProduct(x, lag);
    if (!(r[0] > 0)) return std::vector<double>(maxLag + 1, 0.0);
    const double r0 = r[0];
    for (double& v : r) v /= r0;
    return r;
}

// Linear interpolation into r at a fractional lag.
double at(const std::vector<double>& r, double lag) {
    const size_t i = size_t(lag);
    if (i + 1 >= r.size()) return 0.0;
    const double f = lag - double(i);
    return r[i] * (1.0 - f) + r[i + 1] * f;
}

// Mean of r at the first `multiples` multiples of the beat period of `bpm`.
double comb(const std::vector<double>& r, double frameRate, double bpm, int multiples) {
    const double period = 60.0 * frameRate / bpm;
    double score = 0;
    int terms = 0;
    for (int k = 1; k <= multiples; ++k) {
        const double lag = period * k;
        if (lag + 1 >= double(r.size())) break;
        score += at(r, lag);
        ++terms;
    }
    return terms ? score / terms : 0.0;
}

// A part's pulse at the tempo `bpm`, from the autocorrelation (of its zero lag) at the first four
// multiples of the beat and at the odd multiples of half the beat, computed at those lags only, up
// to `maxLag`.
struct Pulse {
    // How periodic the part is at the beat: the mean autocorrelation at the beats.
    double periodicity = 0;
    // How well the half beats are kept: the odd multiples of half the beat against the beats.
    // Near 1 or above when half beats are as periodic as beats, near zero or below when only the
    // beats are; 0 when the part is silent, large when it has no pulse at the beat but at its half.
    double halfBeatShare = 0;
};
// The autocorrelation of x (of its zero lag `r0`) at a fractional lag, computed at that lag only;
// 0 from `maxLag` on.
double autocorrelationAt(const std::vector<double>& x, double r0, double lag, size_t maxLag) {
    const size_t i = size_t(lag);
    if (i + 1 > maxLag || i + 1 >= x.size()) return 0.0;
    const double f = lag - double(i);
    return (lagProduct(x, i) * (1.0 - f) + lagProduct(x, i + 1) * f) / r0;
}

Pulse pulseAt(const std::vector<double>& x, double frameRate, double bpm, size_t maxLag) {
    const size_t n = x.size();
    if (n < 2) return {};
    const double r0 = lagProduct(x, 0);
    if (!(r0 > 0)) return {};
    auto r = [&](double lag) { return autocorrelationAt(x, r0, lag, maxLag); };
    const double period = 60.0 * frameRate / bpm;
    double odd = 0, even = 0;
    for (int k = 1; k <= 4; ++k) {
        odd += r(period / 2 * (2 * k - 1));
        even += r(period * k);
    }
    return {even / 4, even > 0.02 ? odd / even : odd > 0 ? 9.0 : 0.0};
}

// A tempo doubled by its parts: the onsets of the whole spectrum, of its low, middle and high
// part and of the harmony, each as a Pulse at the tempo found. Their half beats are the beats of
// a fast song whose accents fell every second beat:
//  - a walking bass or a double kick on every beat, with the whole envelope at least half
//    periodic on the half beat (big band, metal);
//  - the harmony and the bass re-struck on every beat (palm-muted chords over a double kick);
//  - chords on every beat without drums: the middle and high parts and the harmony all keep
//    the half beat (piano);
//  - a backbeat on every beat of the slower tempo: the high part (snare, cymbals) strictly
//    periodic there with nothing between, the bass filling the half beats (metal, punk).
// A straight eighth-note feel at the slow tempo keeps its half beats in the hi-hat and in one
// other part at most, a swing feel in none.
struct PartPulses {
    Pulse whole, low, mid, high, harmonic;
};

// The thresholds of the four cases above, as shares of a part's onsets that fall on the half beats
// (halfBeatShare) and as autocorrelations at the beat over the zero lag (periodicity). Each was
// set from the generated songs' tuning seeds (`bench_bpm --songs-only --tuned-only`: seeds 1 and
// 2 of every kind) between the lowest value of the songs it must double and the highest value of
// the songs it must leave alone; the held-out seeds (11, 12) never took part.
namespace doubling {
// A walking bass or double kick: the bass on nearly every half beat, the whole envelope on half.
constexpr double kBassOnHalfBeats = 0.98, kWholeWithBass = 0.53;
// Chords re-struck with the bass: both on most half beats, the whole envelope a little over half.
constexpr double kHarmonyWithBass = 0.7, kBassWithHarmony = 0.7, kWholeWithHarmony = 0.55;
// Chords on every beat without drums: the middle and high parts nearly always, the harmony often.
constexpr double kMidOnHalfBeats = 0.88, kHighWithMid = 0.84, kHarmonyWithMid = 0.36;
// A backbeat on every slow beat: the high part periodic with (almost) nothing between its beats,
// the whole envelope periodic, the bass filling the half beats.
constexpr double kHighBetweenBeats = 0.15, kHighPeriodic = 0.8, kWholePeriodic = 0.75,
                 kBassBetween = 0.6;
}  // namespace doubling

bool doubledByParts(const PartPulses& p) {
    using namespace doubling;
    const bool walkingBass =
        p.whole.halfBeatShare >= kWholeWithBass && p.low.halfBeatShare >= kBassOnHalfBeats;
    const bool chordsWithBass = p.harmonic.halfBeatShare >= kHarmonyWithBass &&
                                p.low.halfBeatShare >= kBassWithHarmony &&
                                p.whole.halfBeatShare >= kWholeWithHarmony;
    const bool chordsOnEveryBeat = p.mid.halfBeatShare >= kMidOnHalfBeats &&
                                   p.high.halfBeatShare >= kHighWithMid &&
                                   p.harmonic.halfBeatShare >= kHarmonyWithMid;
    const bool backbeat =
        p.high.halfBeatShare <= kHighBetweenBeats && p.high.periodicity >= kHighPeriodic &&
        p.whole.periodicity >= kWholePeriodic && p.low.halfBeatShare >= kBassBetween;
    return walkingBass || chordsWithBass || chordsOnEveryBeat || backbeat;
}

// Halving a tempo found between these (BPM) for music without drums, when the envelope's
// autocorrelation at the slower beats stays under kDrumlessPeriodicity (of its zero lag) and the
// harmony's half-beat share at the slower tempo under kHarmonyOnHalfBeats.
constexpr double kHalvedFrom = 110.0, kHalvedTo = 190.0;
constexpr double kDrumlessPeriodicity = 0.12;
constexpr double kHarmonyOnHalfBeats = 0.25;

// Centred a little above 120 BPM: with the metrical checks below deciding the octave, a centre of
// 130 keeps songs at 125-145 BPM without drums (piano, strings) from reading at their half.
constexpr double kPriorCentre = 130.0;  // BPM
constexpr double kPriorWidth = 1.0;     // octaves (one standard deviation)
// Going from a tempo to its double: the autocorrelation at half the beat must reach this share
// of the one at the beat, i.e. the off-beats must be nearly as strong as the beats.
constexpr double kDoubleShare = 0.75;
// Above the range's max (up to its ceiling) the off-beats must be nearly as strong as the beats:
// a backbeat at 180-200 BPM (metal, punk, a polka's oom-pah) reaches 0.8, eighth notes at half
// that tempo do not.
constexpr double kFastShare = 0.8;
// From a tempo to one and a half times it (a dotted-quarter pulse in 3/4 or 6/4 to the quarter
// note): the autocorrelation at the shorter period must reach this share of the one at the
// longer.
constexpr double kTripleShare = 1.0;
// ... and the longer period must be periodic at all (above this, of the zero lag): in a track
// with hardly any pulse (bowed strings drifting in tempo) the comparison means nothing.
constexpr double kTriplePeriodicity = 0.03;
// In music without drums (bowed strings) the whole envelope is dominated by the soft attacks of
// the low notes and barely periodic; the beat lives in the high part (the bow's attacks), where it
// is clearly periodic. So the periods are searched on the whole envelope and the high part
// together, and the whole envelope alone takes a tempo to one and a half times it only where it
// is clearly periodic (above this, of the zero lag): a punk song's beat reaches 0.7, strings stay
// under 0.14.
constexpr double kTripleWholePeriodicity = 0.2;

// The beat of three: the tempo found is a dotted quarter of 3/4 or 6/4 (a pulse of one and a
// half beats) when the middle and the high part (chords, hi-hats on every beat) repeat at two
// thirds of its period far more than at the period itself: the middle part by this much of its
// zero lag and the high part by kTripleHighGain. A 6/8 or swing at the right tempo has onsets at
// the thirds and at the beat alike and stays under a fifth of these.
constexpr double kTripleMidGain = 0.35;
constexpr double kTripleHighGain = 0.2;

// Music without drums whose harmony changes regularly: when the envelope's autocorrelation at
// the tempo found stays under kPulselessPeriodicity and the harmony's (between 0.6 and 2.6 s)
// peaks at least at kChordPeriodicity at a period that is no whole number of beats (off by more
// than kChordOffBeat), the tempo found is no beat of that music; the chords change on beats, so
// the tempo is the multiple of the chord rate (1 to 4 beats a chord) nearest the one found.
constexpr double kPulselessPeriodicity = 0.1;
constexpr double kChordPeriodicity = 0.5;
constexpr double kChordOffBeat = 0.2;
constexpr double kChordMinSeconds = 0.6, kChordMaxSeconds = 2.6;

// A pulse of three sixteenths (a dotted eighth: the 3 + 3 + 2 figures of rock, metal, reggaeton and
// many a bass line) read as the beat: the comb over four beats of three quarters of the tempo
// found (its four beats are three of the true beat's) reaches this share of the comb at the tempo
// itself. On the tuned tracks, real and generated, no tempo read right comes above 0.8 (most stay
// under 0.5); the tempos read at four thirds of the beat or of its half reach 0.86-1.14.
constexpr double kDottedShare = 0.8;
// ... or the harmony says so: chords change on beats, so the harmony recurs after a half bar, a bar
// or two bars of the true beat (2, 4 or 8 beats) and not after 2, 4 or 8 dotted eighths. Where a
// riff without drums is all there is, the comb cannot tell; the harmony's recurrence (its largest
// autocorrelation over those lags, of its zero lag) at three quarters of the tempo found then
// passes the one at the tempo by this much. On the drumless game songs it did by 0.24-0.37 where
// three quarters was the beat (the nearest other came 0.02 under); on the tuned tracks of the real
// set it never came above 0.05.
constexpr double kDottedHarmonyGain = 0.15;

// The last word on the octave, between the tempo found and its half or double: a logistic score
// for "the faster of a pair (slow, 2 x slow) is the beat", from
//  - where the slower tempo lies (octaves from 120 BPM): real music's beats mostly lie in 80..160;
//  - how strong the half beats are against the beats, in the whole envelope and in the low, middle
//    and high part (autocorrelation at half the slower period over the one at the period);
//  - the periodicity at both periods in the whole envelope and the high part;
//  - a swing at either tempo: the autocorrelation at two thirds of a beat over the one at its half;
//  - the comb over four beats at the faster tempo against the slower one.
// The weights were fitted on the tuned part of a set of sequenced accompaniments (drums, bass,
// chords as their authors wrote them for some hundred styles, bench/bpm/make_real_set.sh) and on
// the generated sets' tuning seeds (weighed three times). It only doubles a tempo found at the
// bottom of the range (under kOctaveUpBelow), where a tempo of 120-140 read at its half lands,
// and only when the score passes kOctaveMargin: that leaves every generated tuning track as it
// was. (Halving fast tempos the same way turned a big band at 200 BPM into 100.)
// The weights of a logistic score for the pair (slow, 2 x slow); see pairScore() below.
struct PairWeights {
    double bias, slowerOctaves;
    double halfShare[5];  // whole, low, mid, high, harmonic
    double slowWhole, fastWhole, slowHigh, fastHigh;
    double swingSlowWhole, swingFastWhole, swingSlowHigh, swingFastHigh;
    double combWhole, combHigh, combHarmonic;
};
namespace octave {
constexpr PairWeights kWeights{-4.704, -2.426, {1.830, 0.314, 0.181, 0.098, 0.0},
                               -0.041, 0.895,  0.635,
                               0.011,  -0.763, -0.325,
                               0.192,  -0.138, 1.164,
                               0.191,  0.0};
constexpr double kOctaveMargin = 0.5;
constexpr double kOctaveUpBelow = 70.0;  // BPM
}  // namespace octave

// After that, one more look at the octave over the whole range, downwards: a logistic score of the
// same kind for "the faster of a pair (slow, 2 x slow) is the beat", fitted on the tuned parts of
// the real set (the MMA grooves and the LMMS songs) with the generated tuning tracks weighed 0.3.
// A tempo whose pair (half of it, it) scores under -kPairMargin is halved: a bolero's or a slow
// R&B's sixteenth notes read as the beat. The same score doubles tempos of 66-76 BPM that should
// be 132-153 (a two-beat feel) but also four-on-the-floor and bossa songs written at 70-90, so it
// is not used upwards. Its features are pairScore's (below), the harmony's among them.
namespace pair {
constexpr PairWeights kWeights{-9.3571, -5.6178, {2.8655, -0.1203, -1.4971, 0.0873, -0.5845},
                               0.7034,  0.8206,  1.1663,
                               0.6024,  -1.0519, -1.9861,
                               1.8276,  -2.6557, 1.6923,
                               0.8463,  3.3968};
constexpr double kPairMargin = 1.0;
}  // namespace pair

// An autocorrelation read at a few fractional lags only, each whole lag computed once: as
// autocorrelation() and at() would give it with lags up to `maxLag`.
class SparseAutocorrelation {
  public:
    SparseAutocorrelation(const std::vector<double>& x, size_t maxLag)
        : x_(x), maxLag_(maxLag), r0_(x.size() > 1 ? lagProduct(x, 0) : 0.0) {}
    double at(double lag) {
        const size_t i = size_t(lag);
        if (!(r0_ > 0) || i + 1 > maxLag_ || i + 1 >= x_.size()) return 0.0;
        const double f = lag - double(i);
        return whole(i) * (1.0 - f) + whole(i + 1) * f;
    }
    // The mean over the first four multiples of a beat period, as comb() gives it.
    double comb(double period) {
        double score = 0;
        int terms = 0;
        for (int k = 1; k <= 4; ++k) {
            if (period * k + 1 >= double(maxLag_ + 1)) break;
            score += at(period * k);
            ++terms;
        }
        return terms ? score / terms : 0.0;
    }

  private:
    double whole(size_t lag) {
        auto [it, made] = cache_.try_emplace(lag, 0.0);
        if (made) it->second = lagProduct(x_, lag) / r0_;
        return it->second;
    }
    const std::vector<double>& x_;
    size_t maxLag_;
    double r0_;
    std::map<size_t, double> cache_;
};

// The parts a pair is scored on, in PairWeights::halfShare's order.
enum PairPart { kWholePart, kLowPart, kMidPart, kHighPart, kHarmonicPart, kPairParts };

// The logistic score for "the faster of the pair (slow, 2 x slow) is the beat", from the
// autocorrelations of the parts; `frameRate` of the envelope. The features, for the slower
// tempo's beat and the faster one's (the half beat):
//  - octaves of the slower tempo from 120 BPM;
//  - each part's half-beat share (its autocorrelation at the half beat over the one at the beat);
//  - the whole envelope's and the high part's periodicity at both beats;
//  - swing at either tempo in the whole envelope and the high part (two thirds of the beat
//    against its half);
//  - the comb over four beats at the faster tempo over the one at the slower, in the whole
//    envelope, the high part and the harmony.
using PairAutocorrelations = std::array<SparseAutocorrelation, kPairParts>;
double pairScore(const PairWeights& w, PairAutocorrelations& ac, double frameRate, double slow) {
    const double lag = 60.0 * frameRate / slow;  // the slower beat; lag / 2 the faster
    auto share = [](double beat, double half) {
        if (beat > 0.02) return std::clamp(half / beat, -1.0, 2.0);
        return half > 0.02 ? 2.0 : 0.0;
    };
    double z = w.bias + w.slowerOctaves * std::log2(slow / 120.0);
    for (int k = 0; k < kPairParts; ++k)
        z += w.halfShare[k] * share(ac[k].at(lag), ac[k].at(lag / 2));
    SparseAutocorrelation& whole = ac[kWholePart];
    SparseAutocorrelation& high = ac[kHighPart];
    z += w.slowWhole * whole.at(lag) + w.slowHigh * high.at(lag) + w.fastWhole * whole.at(lag / 2) +
         w.fastHigh * high.at(lag / 2);
    auto swing = [](SparseAutocorrelation& a, double beat) {
        return a.at(beat * 2.0 / 3.0) - a.at(beat / 2);
    };
    z += w.swingSlowWhole * swing(whole, lag) + w.swingFastWhole * swing(whole, lag / 2) +
         w.swingSlowHigh * swing(high, lag) + w.swingFastHigh * swing(high, lag / 2);
    auto combShare = [&](SparseAutocorrelation& a) {
        const double c1 = a.comb(lag);
        return c1 > 0.02 ? std::clamp(a.comb(lag / 2) / c1, -1.0, 2.0) : 0.0;
    };
    return z + w.combWhole * combShare(whole) + w.combHigh * combShare(high) +
           w.combHarmonic * combShare(ac[kHarmonicPart]);
}

}  // namespace

// 1. The envelope without its slowly varying part, autocorrelated; with its parts, the high
//    part's autocorrelation averaged in.
// 2. The tempo family: the best comb over the first four beat multiples, weighted by a
//    log-normal prior around 130 BPM, searched from half the minimum to the maximum.
// 3. The metrical level: from the slowest member of the family in range, double while the
//    off-beats are nearly as strong as the beats (a slower candidate's half-beat autocorrelation
//    against its beat's). A half-time backbeat passes that test, subdivisions (hi-hats, eighth
//    notes) do not.
// 4. The tempo refined on a comb over eight multiples.
namespace {

float estimate(const std::vector<float>& envelope, double frameRate, TempoRange range, bool mult2,
               const OnsetEnvelope* parts) {
    const size_t n = envelope.size();
    if (frameRate <= 0 || n < size_t(2.5 * frameRate)) return 0.0f;
    if (!(range.min > 0) || !(range.max > range.min)) range = kDefaultRange;

    const std::vector<double> x = peaks(envelope, frameRate);

    const double searchLo = range.min / 2.0;
    const double searchHi = range.max;
    constexpr int kMultiples = 4, kFineMultiples = 8;
    // Lags up to eight beats of the slowest tempo in range, but at most 3/4 of the envelope.
    const size_t maxLag =
        std::min(size_t(std::ceil(kFineMultiples * 60.0 * frameRate / range.min)) + 2, n * 3 / 4);
    const std::vector<double> r = autocorrelation(x, maxLag);
    if (!(r[0] > 0)) return 0.0f;

    // The parts' envelopes as far as the whole one goes, without their slow part; each made once.
    std::vector<double> partCache[4];
    bool partMade[4] = {};
    auto partPeaks = [&](OnsetBand band) -> const std::vector<double>& {
        const int i = int(band);
        if (!partMade[i]) {
            const auto& v = parts->bandValues(band);
            partCache[i] = peaks(
                std::vector<float>(v.begin(), v.begin() + std::ptrdiff_t(std::min(n, v.size()))),
                frameRate);
            partMade[i] = true;
        }
        return partCache[i];
    };
    // The periods are searched on the whole envelope and the high part together (see
    // kTripleWholePeriodicity); the choice between a period and its half or double stays with
    // the whole envelope, the accents of the music.
    std::vector<double> rBoth = r;
    if (parts) {
        const std::vector<double> rHigh = autocorrelation(partPeaks(OnsetBand::High), maxLag);
        for (size_t lag = 0; lag <= maxLag; ++lag) rBoth[lag] = (r[lag] + rHigh[lag]) / 2;
    }

    double best = 0, bpm = 0;
    for (double b = searchLo; b <= searchHi; b *= 1.001) {
        const double oct = std::log2(b / kPriorCentre) / kPriorWidth;
        const double score =
            std::max(0.0, comb(rBoth, frameRate, b, kMultiples)) * std::exp(-0.5 * oct * oct);
        if (score > best) {
            best = score;
            bpm = b;
        }
    }
    if (!(best > 0)) return 0.0f;
    // Triple metre: when the bar splits into halves of three beats, a pulse of one and a half
    // beats can win the comb; the beat is the shorter pulse when it is as periodic.
    const double top = std::max(range.max, range.ceiling);
    auto triple = [&] {
        const double period = 60.0 * frameRate / bpm;
        auto shorter = [&](const std::vector<double>& ac, double periodic) {
            return at(ac, period) > periodic &&
                   at(ac, period * 2.0 / 3.0) >= kTripleShare * at(ac, period);
        };
        if (bpm * 1.5 <= top &&
            (shorter(r, kTripleWholePeriodicity) || shorter(rBoth, kTriplePeriodicity)))
            bpm *= 1.5;
    };
    triple();
    if (bpm < range.min) {
        if (!mult2) return float(bpm);
        while (bpm < range.min) bpm *= 2;
    }
    while (bpm / 2 >= range.min) bpm /= 2;
    // Up while the off-beats are nearly as strong as the beats (see kDoubleShare, kFastShare).
    auto doubleWhileOffBeats = [&](double& tempo) {
        while (tempo * 2 <= top) {
            const double period = 60.0 * frameRate / tempo;
            const double onBeat = at(r, period), offBeat = at(r, period / 2);
            const double share = tempo * 2 <= range.max ? kDoubleShare : kFastShare;
            if (!(onBeat > 0) || offBeat < share * onBeat) break;
            tempo *= 2;
        }
    };
    doubleWhileOffBeats(bpm);
    triple();
    // Refine within 1.5 %.
    auto refine = [&](double around) {
        double fine = around, fineScore = -1e9;
        for (double b = around * 0.985; b <= around * 1.015; b *= 1.0002) {
            const double score = comb(rBoth, frameRate, b, kFineMultiples);
            if (score > fineScore) {
                fineScore = score;
                fine = b;
            }
        }
        return fine;
    };
    double fine = refine(bpm);
    if (!parts) return float(fine);
    if (fine * 2 <= top) {
        auto pulse = [&](const std::vector<double>& y) {
            return pulseAt(y, frameRate, fine, maxLag);
        };
        const PartPulses p{pulse(x), pulse(partPeaks(OnsetBand::Low)),
                           pulse(partPeaks(OnsetBand::Mid)), pulse(partPeaks(OnsetBand::High)),
                           pulse(partPeaks(OnsetBand::Harmonic))};
        if (doubledByParts(p)) fine = refine(fine * 2);
    }
    // The other way: without drums (an envelope barely periodic at half the tempo found, from
    // soft attacks and a drifting tempo) and with the harmony changing on the beats of half the
    // tempo rather than between them, the tempo found is an ostinato's subdivision.
    if (fine >= kHalvedFrom && fine <= kHalvedTo && fine / 2 >= range.min) {
        const double slow = fine / 2;
        const double periodic = pulseAt(x, frameRate, slow, maxLag).periodicity;
        const double harmony =
            pulseAt(partPeaks(OnsetBand::Harmonic), frameRate, slow, maxLag).halfBeatShare;
        if (periodic < kDrumlessPeriodicity && harmony < kHarmonyOnHalfBeats) fine = refine(slow);
    }
    // A dotted quarter in 3/4 or 6/4 read as the beat (see kTripleMidGain).
    if (fine * 1.5 <= top) {
        const double period = 60.0 * frameRate / fine;
        auto thirdsGain = [&](const std::vector<double>& y) {
            const double y0 = lagProduct(y, 0);
            if (!(y0 > 0)) return 0.0;
            return autocorrelationAt(y, y0, period * 2.0 / 3.0, maxLag) -
                   autocorrelationAt(y, y0, period, maxLag);
        };
        if (thirdsGain(partPeaks(OnsetBand::Mid)) >= kTripleMidGain &&
            thirdsGain(partPeaks(OnsetBand::High)) >= kTripleHighGain)
            fine *= 1.5;
    }
    // A tempo that is no beat of the chords (see kPulselessPeriodicity).
    if (autocorrelationAt(x, lagProduct(x, 0), 60.0 * frameRate / fine, maxLag) <
        kPulselessPeriodicity) {
        const std::vector<double>& h = partPeaks(OnsetBand::Harmonic);
        const double h0 = lagProduct(h, 0);
        double chordAc = -1;
        size_t chordLag = 0;
        if (h0 > 0)
            for (size_t lag = size_t(kChordMinSeconds * frameRate);
                 lag < size_t(kChordMaxSeconds * frameRate) && lag < maxLag; ++lag) {
                // At a whole lag: the product at that lag alone.
                const double v = lag + 1 < h.size() ? lagProduct(h, lag) / h0 : 0.0;
                if (v > chordAc) {
                    chordAc = v;
                    chordLag = lag;
                }
            }
        const double beats = double(chordLag) * fine / (60.0 * frameRate);
        if (chordAc >= kChordPeriodicity && std::abs(beats - std::round(beats)) > kChordOffBeat) {
            const double chordRate = 60.0 * frameRate / double(chordLag);
            double pick = 0;
            for (int k = 1; k <= 4; ++k) {
                const double b = chordRate * k;
                if (b < range.min || b > top) continue;
                if (!pick || std::abs(std::log(b / fine)) < std::abs(std::log(pick / fine)))
                    pick = b;
            }
            if (pick > 0) fine = pick;
        }
    }
    // A dotted eighth read as the beat (see kDottedShare and kDottedHarmonyGain).
    auto harmonyRecurrence = [&](SparseAutocorrelation& harmony, double bpm) {
        const double beat = 60.0 * frameRate / bpm;
        double most = -1.0;
        for (int beats : {2, 4, 8}) most = std::max(most, harmony.at(beat * beats));
        return most;
    };
    SparseAutocorrelation harmony(partPeaks(OnsetBand::Harmonic), n * 3 / 4);
    if (const double c = comb(r, frameRate, fine, kMultiples);
        (c > 0.02 && comb(r, frameRate, fine * 0.75, kMultiples) >= kDottedShare * c) ||
        harmonyRecurrence(harmony, fine * 0.75) >=
            harmonyRecurrence(harmony, fine) + kDottedHarmonyGain) {
        double beat = fine * 0.75;
        while (beat < range.min) beat *= 2;
        doubleWhileOffBeats(beat);
        fine = refine(beat);
    }
    // The octave's last word (see octave::kWeights), then the pair score downwards (see
    // pair::kWeights): the autocorrelations of the whole envelope and of its parts, read at the
    // lags they need only, up to eight beats of the range's minimum for the first and up to 32 s
    // for the second (at most 3/4 of the envelope for both).
    auto pairParts = [&](size_t lags) -> PairAutocorrelations {
        return {SparseAutocorrelation{x, lags},
                SparseAutocorrelation{partPeaks(OnsetBand::Low), lags},
                SparseAutocorrelation{partPeaks(OnsetBand::Mid), lags},
                SparseAutocorrelation{partPeaks(OnsetBand::High), lags},
                SparseAutocorrelation{partPeaks(OnsetBand::Harmonic), lags}};
    };
    {
        using namespace octave;
        PairAutocorrelations ac = pairParts(maxLag);
        if (fine < kOctaveUpBelow && fine * 2 <= top &&
            pairScore(kWeights, ac, frameRate, fine) > kOctaveMargin)
            fine *= 2;
    }
    {
        using namespace pair;
        PairAutocorrelations ac =
            pairParts(std::min(size_t(std::ceil(32.0 * frameRate)) + 2, n * 3 / 4));
        if (fine / 2 >= range.min && pairScore(kWeights, ac, frameRate, fine / 2) < -kPairMargin)
            fine /= 2;
    }
    return float(fine);
}

}  // namespace

float estimateTempo(const std::vector<float>& envelope, double frameRate, TempoRange range,
                    bool mult2) {
    return estimate(envelope, frameRate, range, mult2, nullptr);
}

float estimateTempo(const OnsetEnvelope& envelope, TempoRange range, bool mult2) {
    return estimate(envelope.values(), envelope.frameRate(), range, mult2, &envelope);
}

float detectTempo(const float* mono, size_t count, int sampleRate, TempoRange range, bool mult2) {
    OnsetEnvelope env(sampleRate);
    env.reserveSeconds(double(count) / std::max(1, sampleRate));
    env.push(mono, count);
    return estimateTempo(env, range, mult2);
}

}  // namespace analysis::bpm
