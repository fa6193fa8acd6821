#include "dsp/vocal_remover.h"

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

}  // namespace

void VocalRemoverDSP(HDSP, DWORD, void* buffer, DWORD length, void*) {
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
        s[0] = s[1] = dsp::vocalRemoverSample(s[0], s[1]);
        std::memcpy(bytes, s, 4);
    }
}

namespace dsp {

HDSP attachVocalRemover(DWORD channel) {
    return BASS_ChannelSetDSP(channel, &VocalRemoverDSP, nullptr, 0);
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

}  // namespace dsp
