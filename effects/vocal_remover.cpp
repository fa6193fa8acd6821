#include "effects/vocal_remover.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define QUORVIN_REMOVER_AVX2 1
#endif

namespace {

#ifdef QUORVIN_REMOVER_AVX2
// Eight frames at a time on processors with 256-bit integer vectors; the same steps as the
// four-frame loop below (the pack and unpack work within each 128-bit half, which keeps frames in
// order). Returns the frames left over.
__attribute__((target("avx2"))) size_t removeCentreAvx2(unsigned char*& bytes, size_t frames) {
    const __m256i minusLeftPlusRight = _mm256_set1_epi32(0x0001ffff);
    const __m256i one = _mm256_set1_epi32(1);
    for (; frames >= 8; frames -= 8, bytes += 32) {
        const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
        const __m256i d = _mm256_madd_epi16(f, minusLeftPlusRight);
        const __m256i odd = _mm256_and_si256(_mm256_srai_epi32(d, 1), one);
        const __m256i v = _mm256_srai_epi32(_mm256_add_epi32(d, odd), 1);
        const __m256i packed = _mm256_packs_epi32(v, v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes),
                            _mm256_unpacklo_epi16(packed, packed));
    }
    return frames;
}

// Decided once at start-up, so that the procedure itself never waits on an initialisation guard.
const bool kHasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

// The user value that marks a channel the remover must leave alone (not stereo).
int notStereo;

}  // namespace

void VocalRemoverDSP(HDSP, DWORD, void* buffer, DWORD length, void* user) {
    if (user == &notStereo) return;
    auto* bytes = static_cast<unsigned char*>(buffer);
    size_t frames = length / 4;
#ifdef QUORVIN_REMOVER_AVX2
    if (kHasAvx2) frames = removeCentreAvx2(bytes, frames);
#endif
#if defined(__SSE2__) || defined(_M_X64)
    // Four frames at a time: one multiply-add gives right - left per frame, the rounding is two
    // shifts, a mask and an add, and the saturating pack stores the one value 32768 as 32767.
    const __m128i minusLeftPlusRight = _mm_set1_epi32(0x0001ffff);  // (-1, +1) per frame
    const __m128i one = _mm_set1_epi32(1);
    for (; frames >= 4; frames -= 4, bytes += 16) {
        const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        const __m128i d = _mm_madd_epi16(f, minusLeftPlusRight);
        const __m128i odd = _mm_and_si128(_mm_srai_epi32(d, 1), one);
        const __m128i v = _mm_srai_epi32(_mm_add_epi32(d, odd), 1);
        const __m128i packed = _mm_packs_epi32(v, v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), _mm_unpacklo_epi16(packed, packed));
    }
#endif
    for (; frames > 0; --frames, bytes += 4) {
        int16_t s[2];
        std::memcpy(s, bytes, 4);
        s[0] = s[1] = effects::vocalRemoverSample(s[0], s[1]);
        std::memcpy(bytes, s, 4);
    }
}

namespace effects {

bool vocalRemoverApplies(DWORD channel) {
    BASS_CHANNELINFO info{};
    return BASS_ChannelGetInfo(channel, &info) && info.chans == 2;
}

HDSP attachVocalRemover(DWORD channel) {
    return BASS_ChannelSetDSP(channel, &VocalRemoverDSP,
                              vocalRemoverApplies(channel) ? nullptr : &notStereo, 0);
}

namespace {

struct Coefficients {
    double b0, b1, b2, a1, a2;
};

// First-order Butterworth low or high pass at `hz` (bilinear transform, cut-off prewarped).
Coefficients firstOrder(double rate, double hz, bool high) {
    const double k = std::tan(M_PI * hz / rate);
    const double a0 = k + 1.0;
    if (high) return {1.0 / a0, -1.0 / a0, 0.0, (k - 1.0) / a0, 0.0};
    return {k / a0, k / a0, 0.0, (k - 1.0) / a0, 0.0};
}

// Second-order low or high pass at `hz` with quality `q` (RBJ's cookbook).
Coefficients secondOrder(double rate, double hz, double q, bool high) {
    const double w = 2.0 * M_PI * hz / rate;
    const double alpha = std::sin(w) / (2.0 * q);
    const double c = std::cos(w);
    const double a0 = 1.0 + alpha;
    const double k = high ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
    return {k / a0, (high ? -2.0 * k : 2.0 * k) / a0, k / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
}

}  // namespace

KeepBassRemover::KeepBassRemover(double rate, double crossoverHz, bool removeCentre)
    : removeCentre_(removeCentre) {
    // A crossover near or past half the rate (a file of a few hundred samples a second) makes
    // the filters unstable, and the whole band lies under it: all of it is the bass kept.
    if (!(crossoverHz < 0.4 * rate)) {
        split_ = false;
        return;
    }
    // The pole pairs of a 5th-order Butterworth filter: Q = 1 / (2 cos(36°)) and 1 / (2 cos(72°)).
    const double q1 = 1.0 / (2.0 * std::cos(M_PI / 5.0)),
                 q2 = 1.0 / (2.0 * std::cos(2 * M_PI / 5.0));
    for (bool high : {false, true}) {
        auto& bank = high ? high_ : low_;
        const Coefficients parts[kSections] = {firstOrder(rate, crossoverHz, high),
                                               secondOrder(rate, crossoverHz, q1, high),
                                               secondOrder(rate, crossoverHz, q2, high)};
        for (size_t i = 0; i < kSections; ++i) {
            bank[i].b0 = parts[i].b0;
            bank[i].b1 = parts[i].b1;
            bank[i].b2 = parts[i].b2;
            bank[i].a1 = parts[i].a1;
            bank[i].a2 = parts[i].a2;
        }
    }
}

void KeepBassRemover::reset() {
    for (auto* bank : {&low_, &high_})
        for (auto& f : *bank) f.z1 = f.z2 = 0;
}

void KeepBassRemover::process(int16_t* frames, size_t count) {
    int64_t clipped = 0;
    for (size_t i = 0; i < count; ++i, frames += 2) {
        const double left = frames[0], right = frames[1];
        const double mid = (left + right) * 0.5;
        // Above the crossover: the remover's half difference, or the mid signal when checking.
        double upper = !split_ ? 0.0 : removeCentre_ ? (right - left) * 0.5 : mid;
        double lower = mid;
        if (split_)
            for (size_t k = 0; k < kSections; ++k) {
                lower = low_[k].run(lower);
                upper = high_[k].run(upper);
            }
        // The bass kept and the rest's difference can peak above the source's peak.
        const double sum = lower + upper;
        clipped += sum > 32767.0 || sum < -32768.0 ? 2 : 0;
        const long v = std::lrint(std::clamp(sum, -32768.0, 32767.0));
        frames[0] = frames[1] = int16_t(v);
    }
    if (clipped) clipped_.fetch_add(clipped, std::memory_order_relaxed);
}

void KeepBassRemover::dsp(HDSP, DWORD, void* buffer, DWORD length, void* user) {
    static_cast<KeepBassRemover*>(user)->process(static_cast<int16_t*>(buffer), length / 4);
}

HDSP KeepBassRemover::attach(DWORD channel) {
    if (!vocalRemoverApplies(channel))
        return BASS_ChannelSetDSP(channel, &VocalRemoverDSP, &notStereo, 0);
    reset();
    return BASS_ChannelSetDSP(channel, &KeepBassRemover::dsp, this, 0);
}

void setVocalRemoverGain(DWORD channel, int sliderValue) {
    BASS_FX_DSPGAIN params{};
    BASS_FX_DSP_GetParameters(channel, BASS_FX_GAIN, &params);
    params.fParam1 = 10.0f;
    params.fParam2 = 10.0f;
    params.fParam3 = 10.0f;
    params.fAmp = float(int16_t(10 - sliderValue));
    params.fParam5 = 1000.0f;
    BASS_FX_DSP_SetParameters(channel, BASS_FX_GAIN, &params);
}

}  // namespace effects
