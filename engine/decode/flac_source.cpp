#include "engine/decode/flac_source.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

namespace engine {
namespace {

// Lengths of FLAC files that give none (written to a pipe, or counting fewer samples than their
// frames hold), found by decoding them.
FileVersionCache<int64_t>& measuredLengths() {
    static FileVersionCache<int64_t> lengths;
    return lengths;
}

// libFLAC's decoder over a file, each frame it writes handed to `onFrame` (its first sample, its
// frames, its samples per channel at their bits, and whether an error came before it: a frame
// libFLAC could not decode may be written as silence, to keep the timeline).
class FlacDecoder {
  public:
    using OnFrame = void (*)(void* user, const FLAC__Frame& frame, const FLAC__int32* const* data,
                             bool failed);
    FlacDecoder(const std::string& path, OnFrame onFrame, void* user)
        : onFrame_(onFrame), user_(user), d_(FLAC__stream_decoder_new()) {
        if (!d_) return;
        FLAC__stream_decoder_set_md5_checking(d_, false);
        ok_ = FLAC__stream_decoder_init_file(d_, path.c_str(), write, nullptr, error, this) ==
                  FLAC__STREAM_DECODER_INIT_STATUS_OK &&
              FLAC__stream_decoder_process_until_end_of_metadata(d_);
    }
    ~FlacDecoder() {
        if (d_) FLAC__stream_decoder_delete(d_);
    }
    FlacDecoder(const FlacDecoder&) = delete;
    FlacDecoder& operator=(const FlacDecoder&) = delete;
    bool ok() const { return ok_; }

    // Decodes on until a frame is written; false at the end of the stream (or on a failed read).
    // Damage before a frame is passed over: libFLAC finds the next frame whose checks hold.
    bool next() {
        wrote_ = false;
        while (!wrote_) {
            if (!FLAC__stream_decoder_process_single(d_)) return false;
            const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(d_);
            if (state == FLAC__STREAM_DECODER_END_OF_STREAM ||
                state == FLAC__STREAM_DECODER_ABORTED)
                return wrote_;
        }
        return true;
    }
    // Writes the frame from `sample` on; false when that cannot be found (damage there, or past
    // the end), the decoder then read again from its start.
    bool seek(int64_t sample) {
        if (FLAC__stream_decoder_seek_absolute(d_, FLAC__uint64(sample))) return true;
        if (FLAC__stream_decoder_get_state(d_) == FLAC__STREAM_DECODER_SEEK_ERROR)
            FLAC__stream_decoder_flush(d_);
        ok_ = FLAC__stream_decoder_reset(d_) &&
              FLAC__stream_decoder_process_until_end_of_metadata(d_);
        return false;
    }

  private:
    static FLAC__StreamDecoderWriteStatus write(const FLAC__StreamDecoder*,
                                                const FLAC__Frame* frame,
                                                const FLAC__int32* const data[], void* user) {
        auto* self = static_cast<FlacDecoder*>(user);
        self->wrote_ = true;
        self->onFrame_(self->user_, *frame, data, self->failed_);
        self->failed_ = false;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    static void error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* user) {
        static_cast<FlacDecoder*>(user)->failed_ = true;
    }

    OnFrame onFrame_;
    void* user_;
    FLAC__StreamDecoder* d_;
    bool ok_ = false, wrote_ = false, failed_ = false;
};

class FlacSource : public Source {
  public:
    FlacSource(const SF_INFO& info, const std::string& path, uint32_t mask)
        : rate_(info.samplerate),
          channels_(info.channels),
          length_(info.frames),
          finer_((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24 ||
                 (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_32),
          mask_(mask),
          decoder_(path, onFrame, this) {}
    bool ok() const { return decoder_.ok(); }
    void setLength(int64_t frames, bool known) {
        length_ = frames;
        known_ = known;
    }

    int rate() const override { return rate_; }
    int channels() const override { return channels_; }
    bool finerThan16Bits() const override { return finer_; }
    int64_t lengthFrames() const override { return length_; }
    uint32_t speakerMask() const override { return mask_; }
    int lastError() const override { return BASS_ERROR_FORMAT; }
    int64_t undecodedFrames() const override { return undecoded_.load(std::memory_order_relaxed); }
    int64_t silencedFrames() const override { return silenced_.load(std::memory_order_relaxed); }

    int64_t read(int16_t* dst, int64_t frames) override {
        const size_t c = size_t(channels_);
        int64_t done = 0;
        while (done < frames && !(known_ && position_ >= length_)) {
            const int64_t want =
                known_ ? std::min(frames - done, length_ - position_) : frames - done;
            const int64_t held = heldFrames();
            if (held == 0) {
                if (ended_ || !decoder_.next()) {
                    ended_ = true;
                    break;
                }
                continue;
            }
            const int64_t first = heldAt_ + int64_t(heldFrom_ / c);
            if (first < position_) {  // before the place asked for (a seek's way there)
                heldFrom_ += size_t(std::min(position_ - first, held)) * c;
                continue;
            }
            int64_t n = 0;
            if (first > position_) {  // frames lost to damage: silence in their place
                n = std::min(want, first - position_);
                std::fill_n(dst + size_t(done) * c, size_t(n) * c, int16_t(0));
                silenced_.fetch_add(n, std::memory_order_relaxed);
            } else {
                n = std::min(want, held);
                std::copy_n(held_.begin() + std::ptrdiff_t(heldFrom_), size_t(n) * c,
                            dst + size_t(done) * c);
                heldFrom_ += size_t(n) * c;
                if (heldSilent_) silenced_.fetch_add(n, std::memory_order_relaxed);
            }
            position_ += n;
            done += n;
        }
        // The stream's end before the length: the last frames are damaged.
        if (ended_ && known_ && position_ < length_)
            undecoded_.store(length_ - position_, std::memory_order_relaxed);
        return done;
    }
    bool seek(int64_t frame) override {
        if (frame < 0 || (known_ && frame > length_)) return false;
        held_.clear();
        heldFrom_ = 0;
        ended_ = false;
        position_ = frame;
        // At the end, or in damage: read() decodes from wherever the decoder now is (its start
        // when the seek failed) and passes over the frames before.
        if (!(known_ && frame == length_)) decoder_.seek(frame);
        return decoder_.ok();
    }

  private:
    static void onFrame(void* user, const FLAC__Frame& frame, const FLAC__int32* const* data,
                        bool failed) {
        static_cast<FlacSource*>(user)->hold(frame, data, failed);
    }
    // The frame, in 16 bits as libsndfile gives them (finer samples shifted down, coarser up).
    void hold(const FLAC__Frame& frame, const FLAC__int32* const* data, bool failed) {
        const auto& h = frame.header;
        if (int(h.channels) != channels_ || h.blocksize == 0) return;
        const auto at = int64_t(h.number.sample_number);
        if (known_ && at >= length_) return;
        const int shift = int(h.bits_per_sample) - 16;
        held_.resize(size_t(h.blocksize) * size_t(channels_));
        for (unsigned i = 0; i < h.blocksize; ++i)
            for (int ch = 0; ch < channels_; ++ch) {
                const FLAC__int32 v = data[ch][i];
                held_[size_t(i) * size_t(channels_) + size_t(ch)] =
                    int16_t(shift >= 0 ? v >> shift : int32_t(uint32_t(v) << -shift));
            }
        heldAt_ = at;
        heldFrom_ = 0;
        // The silence libFLAC writes for damage: after an error, and (for the frame the damage
        // ran into) right after such a frame.
        const bool silent =
            std::all_of(held_.begin(), held_.end(), [](int16_t v) { return v == 0; });
        heldSilent_ = silent && (failed || (heldSilent_ && at == heldEnd_));
        heldEnd_ = at + int64_t(h.blocksize);
    }
    int64_t heldFrames() const { return int64_t((held_.size() - heldFrom_) / size_t(channels_)); }

    int rate_, channels_;
    int64_t length_;
    bool known_ = true;
    bool finer_;
    uint32_t mask_;
    std::vector<int16_t> held_;  // the last frame written, from heldFrom_ on
    int64_t heldAt_ = 0;         // its first sample
    size_t heldFrom_ = 0;
    bool heldSilent_ = false;  // damaged: written as silence
    int64_t heldEnd_ = 0;      // the frame after it
    int64_t position_ = 0;     // the next frame read
    bool ended_ = false;
    std::atomic<int64_t> undecoded_{0}, silenced_{0};
    FlacDecoder decoder_;  // last: its frames go to the members above
};

}  // namespace

std::unique_ptr<Source> openFlacSource(const SF_INFO& info, const std::string& path, FileOpen mode,
                                       const std::optional<FileStamp>& stamp,
                                       uint32_t speakerMask) {
    auto source = std::make_unique<FlacSource>(info, path, speakerMask);
    if (!source->ok()) return nullptr;
    if (info.frames != SF_COUNT_MAX) return source;
    if (mode == FileOpen::HeaderOnly) {
        source->setLength(0, false);
        return source;
    }
    // The frames' own numbers give the length: the end of the last one.
    const int64_t length = measuredLengths().get(
        path, 0, stamp,
        [&] {
            struct End {
                int64_t at = 0;
            } end;
            FlacDecoder whole(
                path,
                [](void* user, const FLAC__Frame& frame, const FLAC__int32* const*, bool) {
                    auto* e = static_cast<End*>(user);
                    e->at = std::max(e->at, int64_t(frame.header.number.sample_number) +
                                                int64_t(frame.header.blocksize));
                },
                &end);
            while (whole.ok() && whole.next()) {
            }
            return end.at;
        },
        [](const int64_t& frames) { return frames > 0; });
    if (length <= 0) return nullptr;
    source->setLength(length, true);
    return source;
}

}  // namespace engine
