#include "encode/ogg_encoder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <ogg/ogg.h>

#include "engine/vorbis_channels.h"
#include "files/file_io.h"

namespace encode::detail {

namespace {

// The silence written after an Opus stream's end, at 48 kHz: more than the encoder's lookahead,
// less than a frame (so the last page still ends after the one before it once trimmed).
constexpr int kOpusDrain = 480;

// Lowers the granule position of the last page of the Ogg file at `path` by `samples`, with its
// checksum made again: the stream ends that much earlier. The file is left as it is when the last
// page would then end before the page before it. False when it cannot be read or written.
bool trimLastPage(const std::string& path, int64_t samples) {
    std::FILE* f = files::openFile(path, "r+b");
    if (!f) return false;
    std::vector<unsigned char> header(27 + 255), body;
    long last = -1;
    size_t headerBytes = 0, bodyBytes = 0;
    int64_t granule = -1, before = -1;
    bool ok = true;
    for (long at = 0;;) {
        if (std::fread(header.data(), 1, 27, f) != 27) break;
        const size_t segments = header[26];
        if (std::memcmp(header.data(), "OggS", 4) != 0 ||
            std::fread(header.data() + 27, 1, segments, f) != segments) {
            ok = false;
            break;
        }
        size_t bytes = 0;
        for (size_t i = 0; i < segments; ++i) bytes += header[27 + i];
        before = granule;
        granule = 0;
        for (int i = 7; i >= 0; --i) granule = granule << 8 | header[size_t(6 + i)];
        last = at;
        headerBytes = 27 + segments;
        bodyBytes = bytes;
        at += long(headerBytes + bytes);
        if (std::fseek(f, at, SEEK_SET) != 0) {
            ok = false;
            break;
        }
    }
    if (ok && last >= 0 && granule - samples > before && before >= 0) {
        body.resize(bodyBytes);
        ok = std::fseek(f, last, SEEK_SET) == 0 &&
             std::fread(header.data(), 1, headerBytes, f) == headerBytes &&
             std::fread(body.data(), 1, bodyBytes, f) == bodyBytes;
        if (ok) {
            const uint64_t trimmed = uint64_t(granule - samples);
            for (int i = 0; i < 8; ++i) header[size_t(6 + i)] = uint8_t(trimmed >> (8 * i));
            ogg_page page{header.data(), long(headerBytes), body.data(), long(bodyBytes)};
            ogg_page_checksum_set(&page);
            ok = std::fseek(f, last, SEEK_SET) == 0 &&
                 std::fwrite(header.data(), 1, headerBytes, f) == headerBytes;
        }
    }
    return std::fclose(f) == 0 && ok;
}

}  // namespace

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
    // libsndfile's Opus writer pads the last frame but never drains the encoder's lookahead (312
    // samples): the last few milliseconds came out as a fade into noise. Silence after the end
    // pushes them out, and the last page's granule position then ends the stream where the audio
    // does, as Ogg Opus provides.
    const bool opus = (codec_.sfFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS && written_ > 0;
    if (opus) {
        const std::vector<float> silence(size_t(kOpusDrain) * size_t(channels_), 0.0f);
        errno = 0;
        if (!checked(sf_writef_float(sf_, silence.data(), kOpusDrain), size_t(kOpusDrain)))
            return false;
    }
    const int closed = sf_close(sf_);
    sf_ = nullptr;
    if (closed != 0) {
        error_ = "cannot finish \"" + path_ + "\": " + sf_error_number(closed);
        return false;
    }
    if (opus && !trimLastPage(path_, kOpusDrain)) {
        error_ = "cannot finish \"" + path_ + "\": " + files::describeError(errno ? errno : EIO);
        return false;
    }
    if (codec_.tag(path_, tags_)) return true;
    error_ = "cannot write the tags of \"" + path_ + "\"";
    return false;
}

bool OggEncoder::checked(sf_count_t written, size_t wanted) {
    if (written == sf_count_t(wanted)) {
        written_ += written;
        return true;
    }
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
