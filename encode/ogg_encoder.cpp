#include "encode/ogg_encoder.h"

#include <cerrno>

#include "engine/vorbis_channels.h"
#include "files/file_io.h"

namespace encode::detail {

OggEncoder::~OggEncoder() {
    if (resampler_) soxr_delete(resampler_);
    if (sf_) sf_close(sf_);
}

bool OggEncoder::open(const std::string& path) {
    path_ = path;
    SF_INFO info{};
    info.channels = channels_;
    info.samplerate = codec_.rate;
    info.format = codec_.sfFormat;
    sf_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!sf_) {
        error_ = "cannot write \"" + path + "\": " + sf_strerror(nullptr);
        return false;
    }
    if (codec_.rate != inRate_) {
        soxr_error_t err = nullptr;
        soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_FLOAT32_I);
        soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        resampler_ = soxr_create(inRate_, codec_.rate, unsigned(channels_), &err, &io, &q, nullptr);
        if (!resampler_) {
            error_ = "cannot resample to " + std::to_string(codec_.rate / 1000) +
                     " kHz: " + (err ? err : "");
            return false;
        }
    }
    return true;
}

bool OggEncoder::write(const uint8_t* pcm, size_t bytes) {
    return frames_.feed(pcm, bytes, [this](const int16_t* f, size_t n) {
        // Three channels or more go into the stream in Vorbis's order (Opus's too).
        if (engine::vorbisToWaveOrder(channels_)) {
            ordered_.assign(f, f + n * size_t(channels_));
            engine::reorderVorbisChannels(ordered_.data(), n, channels_, true);
            f = ordered_.data();
        }
        errno = 0;  // libsndfile's Vorbis writer keeps no error of its own: the system's says why
        if (!resampler_) return checked(sf_writef_short(sf_, f, sf_count_t(n)), n);
        return resample(f, n);
    });
}

bool OggEncoder::finish() {
    if (!sf_) return false;
    if (resampler_ && !resample(nullptr, 0)) return false;
    const int closed = sf_close(sf_);
    sf_ = nullptr;
    if (closed != 0) {
        error_ = "cannot finish \"" + path_ + "\": " + sf_error_number(closed);
        return false;
    }
    if (codec_.tag(path_, tags_)) return true;
    error_ = "cannot write the tags of \"" + path_ + "\"";
    return false;
}

bool OggEncoder::checked(sf_count_t written, size_t wanted) {
    if (written == sf_count_t(wanted)) return true;
    const int e = errno;
    error_ = "cannot write \"" + path_ + "\": " + (e ? files::describeError(e) : sf_strerror(sf_));
    return false;
}

// Frames through the resampler into the file; `in` null flushes what it holds.
bool OggEncoder::resample(const int16_t* in, size_t frames) {
    size_t offered = frames;
    do {
        const size_t channels = size_t(channels_);
        out_.resize(8192 * channels);
        size_t used = 0, made = 0;
        soxr_error_t err = soxr_process(resampler_, in, offered, &used, out_.data(),
                                        out_.size() / channels, &made);
        if (err) {
            error_ = "cannot resample to " + std::to_string(codec_.rate / 1000) + " kHz: " + err;
            return false;
        }
        errno = 0;
        if (made > 0 && !checked(sf_writef_float(sf_, out_.data(), sf_count_t(made)), made))
            return false;
        if (in) {
            in += used * channels;
            offered -= used;
            if (offered == 0) return true;
        } else if (made == 0) {
            return true;
        }
    } while (true);
}

}  // namespace encode::detail
