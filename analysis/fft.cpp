#include "analysis/fft.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <vector>

#include "platform/shared_library.h"

namespace analysis {

namespace {

struct Aubio {
    decltype(&::new_fvec) newFvec = nullptr;
    decltype(&::del_fvec) delFvec = nullptr;
    decltype(&::new_cvec) newCvec = nullptr;
    decltype(&::del_cvec) delCvec = nullptr;
    decltype(&::new_aubio_fft) newFft = nullptr;
    decltype(&::del_aubio_fft) delFft = nullptr;
    decltype(&::aubio_fft_do) magnitudes = nullptr;
    decltype(&::aubio_fft_do_complex) packed = nullptr;
    decltype(&::aubio_fft_rdo_complex) inverse = nullptr;
    bool complete = false;
};

// The functions, all found; `complete` false when the library or a function is missing.
const Aubio& aubio() {
    static const Aubio api = [] {
        static const platform::SharedLibrary lib(QUORVIN_AUBIO_SONAME);
        Aubio a;
        a.newFvec = lib.symbol<decltype(a.newFvec)>("new_fvec");
        a.delFvec = lib.symbol<decltype(a.delFvec)>("del_fvec");
        a.newCvec = lib.symbol<decltype(a.newCvec)>("new_cvec");
        a.delCvec = lib.symbol<decltype(a.delCvec)>("del_cvec");
        a.newFft = lib.symbol<decltype(a.newFft)>("new_aubio_fft");
        a.delFft = lib.symbol<decltype(a.delFft)>("del_aubio_fft");
        a.magnitudes = lib.symbol<decltype(a.magnitudes)>("aubio_fft_do");
        a.packed = lib.symbol<decltype(a.packed)>("aubio_fft_do_complex");
        a.inverse = lib.symbol<decltype(a.inverse)>("aubio_fft_rdo_complex");
        a.complete = a.newFvec && a.delFvec && a.newCvec && a.delCvec && a.newFft && a.delFft &&
                     a.magnitudes && a.packed && a.inverse;
        return a;
    }();
    return api;
}

}  // namespace

struct RealFft::Impl {
    const Aubio& api = aubio();
    fvec_t* in = nullptr;
    fvec_t* packedOut = nullptr;
    fvec_t* spectrumIn = nullptr;
    fvec_t* samplesOut = nullptr;
    cvec_t* polar = nullptr;
    aubio_fft_t* fft = nullptr;
    std::vector<float> fallback;  // input and output when aubio is missing

    explicit Impl(int n) {
        if (api.complete) {
            in = api.newFvec(uint_t(n));
            packedOut = api.newFvec(uint_t(n));
            spectrumIn = api.newFvec(uint_t(n));
            samplesOut = api.newFvec(uint_t(n));
            polar = api.newCvec(uint_t(n));
            fft = api.newFft(uint_t(n));
        }
        if (!fft) fallback.assign(size_t(n), 0.0f);
    }
    const float* silence() {
        std::fill(fallback.begin(), fallback.end(), 0.0f);
        return fallback.data();
    }
    ~Impl() {
        if (fft) api.delFft(fft);
        if (in) api.delFvec(in);
        if (packedOut) api.delFvec(packedOut);
        if (spectrumIn) api.delFvec(spectrumIn);
        if (samplesOut) api.delFvec(samplesOut);
        if (polar) api.delCvec(polar);
    }
};

RealFft::RealFft(int size) : size_(size), impl_(std::make_unique<Impl>(size)) {}
RealFft::~RealFft() = default;

bool RealFft::ok() const {
    return impl_->fft != nullptr;
}

float* RealFft::input() {
    return ok() ? impl_->in->data : impl_->fallback.data();
}

const float* RealFft::packed() {
    if (!ok()) return impl_->silence();
    impl_->api.packed(impl_->fft, impl_->in, impl_->packedOut);
    return impl_->packedOut->data;
}

float* RealFft::spectrum() {
    return ok() ? impl_->spectrumIn->data : impl_->fallback.data();
}

const float* RealFft::inverse() {
    if (!ok()) return impl_->silence();
    impl_->api.inverse(impl_->fft, impl_->spectrumIn, impl_->samplesOut);
    return impl_->samplesOut->data;
}

const float* RealFft::magnitudes() {
    if (!ok()) return impl_->silence();
    impl_->api.magnitudes(impl_->fft, impl_->in, impl_->polar);
    return impl_->polar->norm;
}

}  // namespace analysis
