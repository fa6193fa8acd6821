// What the format files share (internal to this folder): the input's layout, the frame
// assembler, the tags as TagLib properties, and each format's opener for the table.
#pragma once

#include <taglib/tpropertymap.h>

#include <cstring>
#include <vector>

#include "encode/formats.h"

namespace encode::detail {

constexpr int kRate = 44100;

// The fields of `tags` as a property map (track number as "n/total" when `slashTotal`).
TagLib::PropertyMap propertiesOf(const Tags& tags, bool slashTotal);

// Collects whole frames out of pieces of any size.
class FrameAssembler {
  public:
    explicit FrameAssembler(int channels = 2)
        : channels_(size_t(channels)), frameBytes_(2 * size_t(channels)), pending_(frameBytes_) {}
    // Calls `sink(frames pointer, count)` with whole 16-bit frames of the channel count.
    template <class Sink>
    bool feed(const uint8_t* pcm, size_t bytes, Sink sink) {
        while (pendingBytes_ > 0 && bytes > 0) {
            pending_[pendingBytes_++] = *pcm++;
            --bytes;
            if (pendingBytes_ == frameBytes_) {
                pendingBytes_ = 0;
                buffer_.resize(channels_);
                std::memcpy(buffer_.data(), pending_.data(), frameBytes_);
                if (!sink(buffer_.data(), size_t(1))) return false;
            }
        }
        const size_t frames = bytes / frameBytes_;
        if (frames > 0) {
            buffer_.resize(frames * channels_);
            std::memcpy(buffer_.data(), pcm, frames * frameBytes_);  // little-endian machine
            if (!sink(buffer_.data(), frames)) return false;
        }
        for (size_t i = frames * frameBytes_; i < bytes; ++i) pending_[pendingBytes_++] = pcm[i];
        return true;
    }

  private:
    size_t channels_, frameBytes_;
    std::vector<int16_t> buffer_;
    std::vector<uint8_t> pending_;
    size_t pendingBytes_ = 0;
};

// False, with `error`, when `request` is not 16-bit stereo 44.1 kHz, which `format` alone takes.
inline bool takesCdAudioOnly(const OpenRequest& request, const char* format, std::string& error) {
    if (request.rate == kRate && request.channels == 2) return true;
    error = std::string("the ") + format + " encoder takes 44.1 kHz stereo only";
    return false;
}

// The openers of the table's rows, one format file each.
std::unique_ptr<FileEncoder> openWav(const OpenRequest& request, std::string& error);
std::unique_ptr<FileEncoder> openFlac(const OpenRequest& request, std::string& error);
std::unique_ptr<FileEncoder> openMp3(const OpenRequest& request, std::string& error);
std::unique_ptr<FileEncoder> openVorbis(const OpenRequest& request, std::string& error);
std::unique_ptr<FileEncoder> openOpus(const OpenRequest& request, std::string& error);
std::unique_ptr<FileEncoder> openWma(const OpenRequest& request, std::string& error);

// What bitrateNote() says of MP3 (mp3.cpp).
std::string mp3BitrateNote(uint32_t bitrate);

// `encoder` when its open() succeeded, else null with its error in `error`.
template <class E>
std::unique_ptr<FileEncoder> opened(std::unique_ptr<E> encoder, bool ok, std::string& error) {
    if (ok) return encoder;
    error = encoder->error();
    return nullptr;
}

}  // namespace encode::detail
