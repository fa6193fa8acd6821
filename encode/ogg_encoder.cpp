#include "encode/ogg_encoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include <ogg/ogg.h>

#include "engine/vorbis_channels.h"
#include "files/file_io.h"

namespace encode::detail {

namespace {

// The silence written after an Opus stream's end, at 48 kHz: more than the encoder's lookahead.
constexpr int kOpusDrain = 480;

// Ends the Ogg stream of the file at `path` `samples` before the end its last page gives: the
// page where that end falls gets it as its granule position and the stream's end mark (its
// checksum made again), and the pages after it, which hold only what lies beyond, go. False when
// the file cannot be read or written.
bool endStreamEarlier(const std::string& path, int64_t samples) {
    std::FILE* f = files::openFile(path, "r+b");
    if (!f) return false;
    struct Page {
        long at;
        size_t headerBytes, bodyBytes;
        int64_t granule;
    };
    std::vector<Page> pages;
    std::vector<unsigned char> header(27 + 255), body;
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
        int64_t granule = 0;
        for (int i = 7; i >= 0; --i) granule = granule << 8 | header[size_t(6 + i)];
        pages.push_back({at, 27 + segments, bytes, granule});
        at += long(27 + segments + bytes);
        if (std::fseek(f, at, SEEK_SET) != 0) {
            ok = false;
            break;
        }
    }
    // The first page whose packets reach the end (-1: none ends on it); the header pages end at 0.
    const int64_t end = pages.empty() ? 0 : pages.back().granule - samples;
    auto page = std::find_if(pages.begin(), pages.end(),
                             [end](const Page& p) { return p.granule >= end && p.granule != -1; });
    ok = ok && end > 0 && page != pages.end();
    if (ok) {
        body.resize(page->bodyBytes);
        ok = std::fseek(f, page->at, SEEK_SET) == 0 &&
             std::fread(header.data(), 1, page->headerBytes, f) == page->headerBytes &&
             std::fread(body.data(), 1, page->bodyBytes, f) == page->bodyBytes;
    }
    if (ok) {
        for (int i = 0; i < 8; ++i) header[size_t(6 + i)] = uint8_t(uint64_t(end) >> (8 * i));
        header[5] |= 0x04;  // the stream's last page
        ogg_page og{header.data(), long(page->headerBytes), body.data(), long(page->bodyBytes)};
        ogg_page_checksum_set(&og);
        ok = std::fseek(f, page->at, SEEK_SET) == 0 &&
             std::fwrite(header.data(), 1, page->headerBytes, f) == page->headerBytes;
    }
    ok = std::fclose(f) == 0 && ok;
    if (ok && page + 1 != pages.end()) {
        std::error_code ec;
        std::filesystem::resize_file(files::pathFromUtf8(path),
                                     uintmax_t(page->at) + page->headerBytes + page->bodyBytes, ec);
        if (ec) errno = ec.value();
        ok = !ec;
    }
    return ok;
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
    if (opus && !endStreamEarlier(path_, kOpusDrain)) {
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
