#include "rip/rip_formats.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <lame/lame.h>
#include <sndfile.h>
#include <soxr.h>
#include <strings.h>
#include <taglib/id3v2tag.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <cerrno>
#include <cstring>

#include "engine/basswma.h"
#include "files/fault_injection.h"
#include "files/file_io.h"
#include "files/wave_header.h"

// Exported by libFLAC and used by the flac command to leave the MD5 signature to its caller,
// but declared only in libFLAC's protected header, which is not installed.
extern "C" FLAC_API FLAC__bool FLAC__stream_encoder_set_do_md5(FLAC__StreamEncoder* encoder,
                                                               FLAC__bool value);

namespace cd {

namespace {

constexpr int kRate = 44100;

TagLib::String utf8(const std::string& s) {
    return TagLib::String(s, TagLib::String::UTF8);
}

// The fields of `tags` as a property map (track number as "n/total" when `slashTotal`).
TagLib::PropertyMap propertiesOf(const RipTags& tags, bool slashTotal) {
    TagLib::PropertyMap p;
    if (!tags.title.empty()) p.replace("TITLE", utf8(tags.title));
    if (!tags.artist.empty()) p.replace("ARTIST", utf8(tags.artist));
    if (!tags.album.empty()) p.replace("ALBUM", utf8(tags.album));
    if (!tags.year.empty()) p.replace("DATE", utf8(tags.year));
    if (tags.track > 0) {
        std::string n = std::to_string(tags.track);
        if (slashTotal && tags.totalTracks > 0) n += "/" + std::to_string(tags.totalTracks);
        p.replace("TRACKNUMBER", utf8(n));
        if (!slashTotal && tags.totalTracks > 0)
            p.replace("TRACKTOTAL", utf8(std::to_string(tags.totalTracks)));
    }
    return p;
}

bool tagXiph(TagLib::Ogg::XiphComment* comment, const RipTags& tags) {
    if (!comment) return false;
    comment->setProperties(propertiesOf(tags, false));
    return true;
}

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

class WavEncoder : public TrackEncoder {
  public:
    bool open(const std::string& path) {
        if (writer_.create(path, files::WaveHeader::forFormat(2, kRate, false))) return true;
        error_ = writer_.error();
        return false;
    }
    bool write(const uint8_t* pcm, size_t bytes) override {
        if (writer_.append(pcm, bytes)) return true;
        error_ = writer_.error();
        return false;
    }
    bool finish() override {
        if (writer_.finish()) return true;
        error_ = writer_.error();
        return false;
    }

  private:
    files::WaveWriter writer_;
};

// FLAC through libFLAC with the flac command's defaults (compression level 5, the MD5 signature
// of the audio, 8 KiB of padding), the tags in the Vorbis comment written before the audio, so
// that the file is written once. Writes go through the file layer.
class FlacEncoder : public TrackEncoder {
  public:
    FlacEncoder(RipTags tags, bool md5Given) : tags_(std::move(tags)), md5Given_(md5Given) {}
    ~FlacEncoder() override {
        if (encoder_) FLAC__stream_encoder_delete(encoder_);
        for (FLAC__StreamMetadata* m : metadata_) FLAC__metadata_object_delete(m);
        if (file_) std::fclose(file_);
    }

    bool open(const std::string& path) {
        path_ = path;
        file_ = files::openFile(path, "wb");
        if (!file_) return failed(errno);
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
        encoder_ = FLAC__stream_encoder_new();
        if (!encoder_ || !addMetadata()) {
            error_ = "the FLAC encoder cannot start";
            return false;
        }
        FLAC__stream_encoder_set_channels(encoder_, 2);
        FLAC__stream_encoder_set_bits_per_sample(encoder_, 16);
        FLAC__stream_encoder_set_sample_rate(encoder_, kRate);
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
            samples_.resize(n * 2);
            for (size_t i = 0; i < n * 2; ++i) samples_[i] = f[i];
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

    RipTags tags_;
    bool md5Given_;
    AudioMd5 md5_{};
    std::string path_;
    std::FILE* file_ = nullptr;
    FLAC__StreamEncoder* encoder_ = nullptr;
    std::vector<FLAC__StreamMetadata*> metadata_;
    std::vector<FLAC__int32> samples_;
    int writeError_ = 0;  // the error number of a failed write or seek
    FrameAssembler frames_;
};

// Ogg Vorbis and Opus through libsndfile; tags through TagLib once the file is closed.
class SndfileEncoder : public TrackEncoder {
  public:
    SndfileEncoder(RipFormat format, RipTags tags) : format_(format), tags_(std::move(tags)) {}
    ~SndfileEncoder() override {
        if (resampler_) soxr_delete(resampler_);
        if (sf_) sf_close(sf_);
    }

    bool open(const std::string& path) {
        path_ = path;
        SF_INFO info{};
        info.channels = 2;
        info.samplerate = kRate;
        if (format_ == RipFormat::Vorbis) {
            info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        } else {
            info.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
            info.samplerate = 48000;
        }
        sf_ = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!sf_) {
            error_ = "cannot write \"" + path + "\": " + sf_strerror(nullptr);
            return false;
        }
        if (format_ == RipFormat::Opus) {
            soxr_error_t err = nullptr;
            soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_FLOAT32_I);
            soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
            resampler_ = soxr_create(kRate, 48000, 2, &err, &io, &q, nullptr);
            if (!resampler_) {
                error_ = std::string("cannot resample to 48 kHz: ") + (err ? err : "");
                return false;
            }
        }
        return true;
    }

    bool write(const uint8_t* pcm, size_t bytes) override {
        return frames_.feed(pcm, bytes, [this](const int16_t* f, size_t n) {
            if (!resampler_) return checked(sf_writef_short(sf_, f, sf_count_t(n)), n);
            return resample(f, n);
        });
    }

    bool finish() override {
        if (!sf_) return false;
        if (resampler_ && !resample(nullptr, 0)) return false;
        const int closed = sf_close(sf_);
        sf_ = nullptr;
        if (closed != 0) {
            error_ = "cannot finish \"" + path_ + "\": " + sf_error_number(closed);
            return false;
        }
        bool tagged = false;
        if (format_ == RipFormat::Vorbis) {
            TagLib::Ogg::Vorbis::File f(path_.c_str(), false);
            tagged = f.isValid() && tagXiph(f.tag(), tags_) && f.save();
        } else {
            TagLib::Ogg::Opus::File f(path_.c_str(), false);
            tagged = f.isValid() && tagXiph(f.tag(), tags_) && f.save();
        }
        if (!tagged) error_ = "cannot write the tags of \"" + path_ + "\"";
        return tagged;
    }

  private:
    bool checked(sf_count_t written, size_t wanted) {
        if (written == sf_count_t(wanted)) return true;
        error_ = "cannot write \"" + path_ + "\": " + sf_strerror(sf_);
        return false;
    }

    // Frames through the resampler into the file; `in` null flushes what it holds.
    bool resample(const int16_t* in, size_t frames) {
        size_t offered = frames;
        do {
            out_.resize(8192 * 2);
            size_t used = 0, made = 0;
            soxr_error_t err =
                soxr_process(resampler_, in, offered, &used, out_.data(), out_.size() / 2, &made);
            if (err) {
                error_ = std::string("cannot resample to 48 kHz: ") + err;
                return false;
            }
            if (made > 0 && !checked(sf_writef_float(sf_, out_.data(), sf_count_t(made)), made))
                return false;
            if (in) {
                in += used * 2;
                offered -= used;
                if (offered == 0) return true;
            } else if (made == 0) {
                return true;
            }
        } while (true);
    }

    RipFormat format_;
    RipTags tags_;
    std::string path_;
    SNDFILE* sf_ = nullptr;
    soxr_t resampler_ = nullptr;
    std::vector<float> out_;
    FrameAssembler frames_;
};

class Mp3Encoder : public TrackEncoder {
  public:
    explicit Mp3Encoder(RipTags tags) : tags_(std::move(tags)) {}
    ~Mp3Encoder() override {
        if (lame_) lame_close(lame_);
        if (file_) std::fclose(file_);
    }

    bool open(const std::string& path, uint32_t bitrate) {
        path_ = path;
        file_ = files::openFile(path, "wb");
        if (!file_) {
            error_ = "cannot write \"" + path + "\": " + files::describeError(errno);
            return false;
        }
        lame_ = lame_init();
        if (!lame_) {
            error_ = "the MP3 encoder cannot start";
            return false;
        }
        lame_set_in_samplerate(lame_, kRate);
        lame_set_num_channels(lame_, 2);
        lame_set_VBR(lame_, vbr_off);
        lame_set_brate(lame_, int(bitrate / 1000));
        lame_set_quality(lame_, 3);
        lame_set_write_id3tag_automatic(lame_, 0);
        if (lame_init_params(lame_) < 0) {
            error_ = "the MP3 encoder does not take " + std::to_string(bitrate / 1000) + " kbit/s";
            return false;
        }
        // The ID3v2 tag goes first, so the file is written once; the audio follows it.
        TagLib::ID3v2::Tag id3;
        id3.setProperties(propertiesOf(tags_, true));
        if (!id3.isEmpty()) {
            const TagLib::ByteVector head = id3.render();
            if (std::fwrite(head.data(), 1, head.size(), file_) != head.size()) return failed();
            audioStart_ = head.size();
        }
        return true;
    }

    bool write(const uint8_t* pcm, size_t bytes) override {
        return frames_.feed(pcm, bytes, [this](const int16_t* f, size_t n) {
            out_.resize(n * 5 / 4 + 7200);
            int made = lame_encode_buffer_interleaved(lame_, const_cast<short*>(f), int(n),
                                                      out_.data(), int(out_.size()));
            return put(made);
        });
    }

    bool finish() override {
        if (!file_) return false;
        out_.resize(7200);
        if (!put(lame_encode_flush(lame_, out_.data(), int(out_.size())))) return false;
        // The LAME/Xing frame over the first frame, so that players know the exact length.
        unsigned char tag[2880];
        size_t tagBytes = lame_get_lametag_frame(lame_, tag, sizeof tag);
        if (tagBytes > 0 && tagBytes <= sizeof tag &&
            (std::fseek(file_, long(audioStart_), SEEK_SET) != 0 ||
             std::fwrite(tag, 1, tagBytes, file_) != tagBytes))
            return failed();
        const int closed = std::fclose(file_);
        file_ = nullptr;
        if (closed != 0) return failed();
        return true;
    }

  private:
    bool put(int made) {
        if (made < 0) {
            error_ = "the MP3 encoder failed (" + std::to_string(made) + ")";
            return false;
        }
        if (made > 0 && std::fwrite(out_.data(), 1, size_t(made), file_) != size_t(made))
            return failed();
        return true;
    }
    bool failed() {
        error_ = "cannot write \"" + path_ + "\": " + files::describeError(errno);
        return false;
    }

    RipTags tags_;
    std::string path_;
    std::FILE* file_ = nullptr;
    size_t audioStart_ = 0;  // bytes of the ID3v2 tag before the first frame
    lame_global_flags* lame_ = nullptr;
    std::vector<unsigned char> out_;
    FrameAssembler frames_;
};

class WmaEncoder : public TrackEncoder {
  public:
    ~WmaEncoder() override {
        if (enc_) BASS_WMA_EncodeClose(enc_);
    }
    bool open(const std::string& path, uint32_t bitrate, const RipTags& tags) {
        enc_ = BASS_WMA_EncodeOpenFile(kRate, 2, 0, bitrate, path.c_str());
        if (!enc_) {
            error_ = "An error occured while opening output file. (Error Code : " +
                     std::to_string(BASS_ErrorGetCode()) + ")";
            return false;
        }
        const std::pair<const char*, std::string> named[] = {{"Title", tags.title},
                                                             {"Author", tags.artist},
                                                             {"WM/AlbumTitle", tags.album},
                                                             {"WM/Year", tags.year}};
        for (const auto& [name, text] : named)
            if (!text.empty()) BASS_WMA_EncodeSetTag(enc_, name, text.c_str(), 0);
        return true;
    }
    bool write(const uint8_t* pcm, size_t bytes) override {
        if (BASS_WMA_EncodeWrite(enc_, pcm, DWORD(bytes))) return true;
        error_ = "An error occured while encoding WMA data. (Error Code : " +
                 std::to_string(BASS_ErrorGetCode()) + ")";
        return false;
    }
    bool finish() override {
        const BOOL closed = BASS_WMA_EncodeClose(enc_);
        enc_ = 0;
        if (closed) return true;
        error_ = "An error occured while encoding WMA data. (Error Code : " +
                 std::to_string(BASS_ErrorGetCode()) + ")";
        return false;
    }

  private:
    HWMENCODE enc_ = 0;
};

}  // namespace

std::optional<RipFormat> parseRipFormat(const std::string& name) {
    const std::pair<const char*, RipFormat> names[] = {
        {"wav", RipFormat::Wav},    {"flac", RipFormat::Flac},     {"mp3", RipFormat::Mp3},
        {"ogg", RipFormat::Vorbis}, {"vorbis", RipFormat::Vorbis}, {"opus", RipFormat::Opus},
        {"wma", RipFormat::Wma}};
    for (const auto& [text, format] : names)
        if (strcasecmp(text, name.c_str()) == 0) return format;
    return std::nullopt;
}

const char* ripFormatName(RipFormat format) {
    switch (format) {
        case RipFormat::Wav:
            return "WAV";
        case RipFormat::Flac:
            return "FLAC";
        case RipFormat::Mp3:
            return "MP3";
        case RipFormat::Vorbis:
            return "Ogg Vorbis";
        case RipFormat::Opus:
            return "Opus";
        case RipFormat::Wma:
            return "WMA";
    }
    return "";
}

const char* ripFormatExtension(RipFormat format) {
    switch (format) {
        case RipFormat::Wav:
            return ".wav";
        case RipFormat::Flac:
            return ".flac";
        case RipFormat::Mp3:
            return ".mp3";
        case RipFormat::Vorbis:
            return ".ogg";
        case RipFormat::Opus:
            return ".opus";
        case RipFormat::Wma:
            return ".wma";
    }
    return "";
}

const std::vector<RipFormat>& allRipFormats() {
    static const std::vector<RipFormat> all = {RipFormat::Wav,    RipFormat::Flac, RipFormat::Mp3,
                                               RipFormat::Vorbis, RipFormat::Opus, RipFormat::Wma};
    return all;
}

std::unique_ptr<TrackEncoder> openTrackEncoder(RipFormat format, const std::string& path,
                                               const RipTags& tags, uint32_t bitrate,
                                               std::string& error, bool md5Given) {
    std::unique_ptr<TrackEncoder> made;
    bool ok = false;
    switch (format) {
        case RipFormat::Wav: {
            auto e = std::make_unique<WavEncoder>();
            ok = e->open(path);
            made = std::move(e);
            break;
        }
        case RipFormat::Flac: {
            auto e = std::make_unique<FlacEncoder>(tags, md5Given);
            ok = e->open(path);
            made = std::move(e);
            break;
        }
        case RipFormat::Vorbis:
        case RipFormat::Opus: {
            auto e = std::make_unique<SndfileEncoder>(format, tags);
            ok = e->open(path);
            made = std::move(e);
            break;
        }
        case RipFormat::Mp3: {
            auto e = std::make_unique<Mp3Encoder>(tags);
            ok = e->open(path, bitrate ? bitrate : kDefaultMp3Bitrate);
            made = std::move(e);
            break;
        }
        case RipFormat::Wma: {
            auto e = std::make_unique<WmaEncoder>();
            ok = e->open(path, bitrate ? bitrate : kDefaultWmaBitrate, tags);
            made = std::move(e);
            break;
        }
    }
    if (ok) return made;
    error = made->error();
    return nullptr;
}

}  // namespace cd
