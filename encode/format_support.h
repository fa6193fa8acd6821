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
    // Calls `sink(frames pointer, count)` with whole 16-bit stereo frames.
    template <class Sink>
    bool feed(const uint8_t* pcm, size_t bytes, Sink sink) {
        while (pendingBytes_ > 0 && bytes > 0) {
            pending_[pendingBytes_++] = *pcm++;
            --bytes;
            if (pendingBytes_ == 4) {
                pendingBytes_ = 0;
                int16_t frame[2];
                std::memcpy(frame, pending_, 4);
                if (!sink(frame, size_t(1))) return false;
            }
        }
        const size_t frames = bytes / 4;
        if (frames > 0) {
            buffer_.resize(frames * 2);
            std::memcpy(buffer_.data(), pcm, frames * 4);  // little-endian machine
            if (!sink(buffer_.data(), frames)) return false;
        }
        for (size_t i = frames * 4; i < bytes; ++i) pending_[pendingBytes_++] = pcm[i];
        return true;
    }

  private:
    std::vector<int16_t> buffer_;
    uint8_t pending_[4] = {};
    size_t pendingBytes_ = 0;
};

// The openers of the table's rows, one format file each.
std::unique_ptr<FileEncoder> openWav(const OpenRequest& request, std::string& error);
std::unique_ptr<FileEncoder> openFlac(const OpenRequest& request, std::string& error);
std::unique_ptr<FileEncoder> openMp3(const OpenRequest& request, std::string& error);
std::unique_ptr<FileEncoder> openVorbis(const OpenRequest& request, std::string& error);
std::unique_ptr<FileEncoder> openOpus(const OpenRequest& request, std::string& error);
std::unique_ptr<FileEncoder> openWma(const OpenRequest& request, std::string& error);

// `encoder` when its open() succeeded, else null with its error in `error`.
template <class E>
std::unique_ptr<FileEncoder> opened(std::unique_ptr<E> encoder, bool ok, std::string& error) {
    if (ok) return encoder;
    error = encoder->error();
    return nullptr;
}

}  // namespace encode::detail
