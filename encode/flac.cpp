// FLAC through libFLAC.
#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <bit>
#include <cerrno>
#include <cstdio>

#include "encode/format_support.h"
#include "engine/engine_ext.h"
#include "files/fault_injection.h"
#include "files/file_io.h"

// Exported by libFLAC and used by the flac command to leave the MD5 signature to its caller,
// but declared only in libFLAC's protected header, which is not installed.
extern "C" FLAC_API FLAC__bool FLAC__stream_encoder_set_do_md5(FLAC__StreamEncoder* encoder,
                                                               FLAC__bool value);

namespace encode::detail {

namespace {

// FLAC through libFLAC with the flac command's defaults (compression level 5, the MD5 signature
// of the audio, 8 KiB of padding), the tags in the Vorbis comment written before the audio, so
// that the file is written once. Writes go through the file layer.
class FlacEncoder : public FileEncoder {
  public:
    FlacEncoder(Tags tags, bool md5Given, int rate, int channels, uint32_t speakerMask)
        : tags_(std::move(tags)),
          md5Given_(md5Given),
          rate_(rate),
          channels_(channels),
          speakerMask_(speakerMask),
          frames_(channels) {}
    ~FlacEncoder() override {
        if (encoder_) FLAC__stream_encoder_delete(encoder_);
        for (FLAC__StreamMetadata* m : metadata_) FLAC__metadata_object_delete(m);
        if (file_) std::fclose(file_);
    }

    bool open(const std::string& path) {
        path_ = path;
        if (error_ = channelRefusal(Format::Flac, channels_); !error_.empty()) return false;
        file_ = files::openFile(path, "wb");
        if (!file_) return failed(errno);
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
        encoder_ = FLAC__stream_encoder_new();
        if (!encoder_ || !addMetadata()) {
            error_ = "the FLAC encoder cannot start";
            return false;
        }
        FLAC__stream_encoder_set_channels(encoder_, unsigned(channels_));
        FLAC__stream_encoder_set_bits_per_sample(encoder_, 16);
        FLAC__stream_encoder_set_sample_rate(encoder_, unsigned(rate_));
        FLAC__stream_encoder_set_compression_level(encoder_, 5);
        FLAC__stream_encoder_set_do_md5(encoder_, !md5Given_);
        FLAC__stream_encoder_set_metadata(encoder_, metadata_.data(), unsigned(metadata_.size()));
        const FLAC__StreamEncoderInitStatus init = FLAC__stream_encoder_init_stream(
            encoder_, &FlacEncoder::writeCallback, &FlacEncoder::seekCallback,
            &FlacEncoder::tellCallback, nullptr, this);
        if (init != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            if (writeError_) return failed(writeError_);  // the header could not be written
            error_ = std::string("the FLAC encoder cannot start: ") +
                     FLAC__StreamEncoderInitStatusString[init];
            return false;
        }
        return true;
    }

    bool write(const uint8_t* pcm, size_t bytes) override {
        return frames_.feed(pcm, bytes, [this](const int16_t* f, size_t n) {
            const size_t count = n * size_t(channels_);
            samples_.resize(count);
            for (size_t i = 0; i < count; ++i) samples_[i] = f[i];
            if (FLAC__stream_encoder_process_interleaved(encoder_, samples_.data(), unsigned(n)))
                return true;
            return encoderFailed();
        });
    }

    bool finish() override {
        if (!file_) return false;
        // Writes the last frames, then the signature and length into the stream's header.
        const bool finished = FLAC__stream_encoder_finish(encoder_);
        if (!finished) return encoderFailed();
        const int flushError = files::flushFile(file_);
        const int closed = std::fclose(file_);
        file_ = nullptr;
        if (flushError) return failed(flushError);
        if (closed != 0) return failed(errno);
        return !md5Given_ || writeMd5();
    }

    void setAudioMd5(const AudioMd5& md5) override { md5_ = md5; }

  private:
    // The signature the caller computed, into the closed file's header.
    bool writeMd5() {
        FLAC__Metadata_SimpleIterator* it = FLAC__metadata_simple_iterator_new();
        bool ok = it && FLAC__metadata_simple_iterator_init(it, path_.c_str(), false, false);
        FLAC__StreamMetadata* info = ok ? FLAC__metadata_simple_iterator_get_block(it) : nullptr;
        ok = info && info->type == FLAC__METADATA_TYPE_STREAMINFO;
        if (ok) {
            std::memcpy(info->data.stream_info.md5sum, md5_.data(), md5_.size());
            ok = FLAC__metadata_simple_iterator_set_block(it, info, false);
        }
        if (!ok)
            error_ = "cannot write \"" + path_ + "\": " +
                     (it ? FLAC__Metadata_SimpleIteratorStatusString
                               [FLAC__metadata_simple_iterator_status(it)]
                         : "out of memory");
        if (info) FLAC__metadata_object_delete(info);
        if (it) FLAC__metadata_simple_iterator_delete(it);
        return ok;
    }

    bool addMetadata() {
        FLAC__StreamMetadata* comment =
            FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
        if (!comment) return false;
        metadata_.push_back(comment);
        for (const auto& [key, values] : propertiesOf(tags_, false)) {
            for (const TagLib::String& value : values) {
                FLAC__StreamMetadata_VorbisComment_Entry entry;
                if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(
                        &entry, key.toCString(true), value.toCString(true)) ||
                    !FLAC__metadata_object_vorbiscomment_append_comment(comment, entry, false))
                    return false;
            }
        }
        // Places other than FLAC's own for the count, as other writers keep them.
        if (speakerMask_ && std::popcount(speakerMask_) == channels_ &&
            speakerMask_ != engine::usualSpeakerMask(channels_)) {
            char mask[16];
            std::snprintf(mask, sizeof mask, "0x%x", unsigned(speakerMask_));
            FLAC__StreamMetadata_VorbisComment_Entry entry;
            if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(
                    &entry, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK", mask) ||
                !FLAC__metadata_object_vorbiscomment_append_comment(comment, entry, false))
                return false;
        }
        FLAC__StreamMetadata* padding = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
        if (!padding) return false;
        padding->length = 8192;
        metadata_.push_back(padding);
        return true;
    }

    bool failed(int errorNumber) {
        error_ = "cannot write \"" + path_ + "\": " + files::describeError(errorNumber);
        return false;
    }
    bool encoderFailed() {
        if (writeError_) return failed(writeError_);
        error_ = "the FLAC encoder failed on \"" + path_ +
                 "\": " + FLAC__stream_encoder_get_resolved_state_string(encoder_);
        return false;
    }

    static FLAC__StreamEncoderWriteStatus writeCallback(const FLAC__StreamEncoder*,
                                                        const FLAC__byte buffer[], size_t bytes,
                                                        uint32_t, uint32_t, void* client) {
        auto* self = static_cast<FlacEncoder*>(client);
        const files::IoResult r = files::writeFile(self->file_, buffer, bytes);
        if (!r.error) return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        self->writeError_ = r.error;
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    static FLAC__StreamEncoderSeekStatus seekCallback(const FLAC__StreamEncoder*,
                                                      FLAC__uint64 offset, void* client) {
        auto* self = static_cast<FlacEncoder*>(client);
        if (fseeko(self->file_, off_t(offset), SEEK_SET) == 0)
            return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
        self->writeError_ = errno ? errno : EIO;
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }
    static FLAC__StreamEncoderTellStatus tellCallback(const FLAC__StreamEncoder*,
                                                      FLAC__uint64* offset, void* client) {
        auto* self = static_cast<FlacEncoder*>(client);
        const off_t at = ftello(self->file_);
        if (at < 0) return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
        *offset = FLAC__uint64(at);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    Tags tags_;
    bool md5Given_;
    int rate_, channels_;
    uint32_t speakerMask_;
    AudioMd5 md5_{};
    std::string path_;
    std::FILE* file_ = nullptr;
    FLAC__StreamEncoder* encoder_ = nullptr;
    std::vector<FLAC__StreamMetadata*> metadata_;
    std::vector<FLAC__int32> samples_;
    int writeError_ = 0;  // the error number of a failed write or seek
    FrameAssembler frames_;
};

}  // namespace

std::unique_ptr<FileEncoder> openFlac(const OpenRequest& request, std::string& error) {
    auto e = std::make_unique<FlacEncoder>(request.tags, request.md5Given, request.rate,
                                           request.channels, request.speakerMask);
    const bool ok = e->open(request.path);
    return opened(std::move(e), ok, error);
}

}  // namespace encode::detail
