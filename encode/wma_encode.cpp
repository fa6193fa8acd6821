// WMA encoding through FFmpeg: the wmav2 encoder in the ASF muxer. 16-bit interleaved PCM is
// converted to the encoder's planar float with libswresample and cut into the encoder's frames
// through an audio FIFO. The header is written at the first write (or at the close), so that tags
// set after opening go into it.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include "encode/basswma.h"
#include "engine/engine_ext.h"
#include "platform/shared_library.h"

using engine::setError;

namespace {

// The system's words for the last failure to create or write a file on this thread.
thread_local std::string tFileFailure;

// FFmpeg's error codes are the system's negated.
void noteFileFailure(int averror) {
    if (averror < 0 && averror > -4096) tFileFailure = std::strerror(-averror);
}

// FFmpeg is loaded at the first WMA call (see shared_library.h): its libraries, their functions.
#define QUORVIN_FFMPEG_FUNCTIONS(X)               \
    X(avcodec, av_packet_alloc)                   \
    X(avcodec, av_packet_free)                    \
    X(avcodec, av_packet_rescale_ts)              \
    X(avcodec, avcodec_alloc_context3)            \
    X(avcodec, avcodec_find_encoder)              \
    X(avcodec, avcodec_free_context)              \
    X(avcodec, avcodec_open2)                     \
    X(avcodec, avcodec_parameters_from_context)   \
    X(avcodec, avcodec_receive_packet)            \
    X(avcodec, avcodec_send_frame)                \
    X(avformat, av_interleaved_write_frame)       \
    X(avformat, av_write_trailer)                 \
    X(avformat, avformat_alloc_output_context2)   \
    X(avformat, avformat_free_context)            \
    X(avformat, avformat_new_stream)              \
    X(avformat, avformat_write_header)            \
    X(avformat, avio_closep)                      \
    X(avformat, avio_open)                        \
    X(avutil, av_audio_fifo_alloc)                \
    X(avutil, av_audio_fifo_free)                 \
    X(avutil, av_audio_fifo_read)                 \
    X(avutil, av_audio_fifo_size)                 \
    X(avutil, av_audio_fifo_write)                \
    X(avutil, av_channel_layout_copy)             \
    X(avutil, av_channel_layout_default)          \
    X(avutil, av_channel_layout_uninit)           \
    X(avutil, av_dict_free)                       \
    X(avutil, av_dict_set)                        \
    X(avutil, av_frame_alloc)                     \
    X(avutil, av_frame_free)                      \
    X(avutil, av_frame_get_buffer)                \
    X(avutil, av_frame_unref)                     \
    X(avutil, av_freep)                           \
    X(avutil, av_log_set_level)                   \
    X(avutil, av_samples_alloc_array_and_samples) \
    X(avutil, av_samples_set_silence)             \
    X(swresample, swr_alloc_set_opts2)            \
    X(swresample, swr_convert)                    \
    X(swresample, swr_free)                       \
    X(swresample, swr_init)

struct Ffmpeg {
#define QUORVIN_FFMPEG_POINTER(lib, name) decltype(&::name) name = nullptr;
    QUORVIN_FFMPEG_FUNCTIONS(QUORVIN_FFMPEG_POINTER)
#undef QUORVIN_FFMPEG_POINTER
    bool complete = false;
};

// The functions, all found; `complete` false when a library or a function is missing.
const Ffmpeg& ff() {
    static const Ffmpeg api = [] {
        using platform::SharedLibrary;
        static const SharedLibrary avutil(QUORVIN_AVUTIL_SONAME), avcodec(QUORVIN_AVCODEC_SONAME),
            avformat(QUORVIN_AVFORMAT_SONAME), swresample(QUORVIN_SWRESAMPLE_SONAME);
        Ffmpeg f;
        f.complete = true;
#define QUORVIN_FFMPEG_RESOLVE(lib, name)          \
    f.name = lib.symbol<decltype(&::name)>(#name); \
    f.complete = f.complete && f.name != nullptr;
        QUORVIN_FFMPEG_FUNCTIONS(QUORVIN_FFMPEG_RESOLVE)
#undef QUORVIN_FFMPEG_RESOLVE
        if (f.complete) f.av_log_set_level(AV_LOG_FATAL);  // failures go through the error code
        return f;
    }();
    return api;
}

// False, with BASS_ERROR_WMA, when FFmpeg's libraries are not installed.
bool haveFfmpeg() {
    if (ff().complete) return true;
    setError(BASS_ERROR_WMA);
    return false;
}

const AVCodec* wmaEncoder() {
    return ff().avcodec_find_encoder(AV_CODEC_ID_WMAV2);
}

// An encoder context for the format, opened; null when the encoder refuses it.
AVCodecContext* openCodec(int freq, int chans, int bitrate) {
    const AVCodec* codec = wmaEncoder();
    if (!codec) return nullptr;
    AVCodecContext* c = ff().avcodec_alloc_context3(codec);
    if (!c) return nullptr;
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = freq;
    ff().av_channel_layout_default(&c->ch_layout, chans);
    c->bit_rate = bitrate;
    c->time_base = AVRational{1, freq};
    if (ff().avcodec_open2(c, codec, nullptr) < 0) ff().avcodec_free_context(&c);
    return c;
}

// The ASF packet size for frames of `frameBytes`: whole frames fill each packet, as many as fit in
// about the muxer's default packet. The muxer never splits an audio frame between packets but
// pads the rest of the packet, so its default size pads a 1857-byte frame (320 kbit/s) to 3200
// bytes, 72 % over the rate. A packet costs 9 bytes, each frame in it 17 more.
int asfPacketSize(int frameBytes) {
    constexpr int kPacketHeader = 9, kPayloadHeader = 17, kSlack = 3, kAboutDefault = 3200;
    const int perFrame = frameBytes + kPayloadHeader;
    const int frames = std::max(1, (kAboutDefault - kPacketHeader - kSlack) / perFrame);
    return kPacketHeader + kSlack + frames * perFrame;
}

class Encoder {
  public:
    ~Encoder() { release(); }

    bool open(int freq, int chans, int bitrate, const char* path) {
        freq_ = freq;
        chans_ = chans;
        if (ff().avformat_alloc_output_context2(&fmt_, nullptr, "asf", path) < 0 || !fmt_) {
            setError(BASS_ERROR_WMA);
            return false;
        }
        codec_ = openCodec(freq, chans, bitrate);
        if (!codec_) {
            setError(BASS_ERROR_WMA);
            return false;
        }
        if (fmt_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        stream_ = ff().avformat_new_stream(fmt_, nullptr);
        if (!stream_ || ff().avcodec_parameters_from_context(stream_->codecpar, codec_) < 0) {
            setError(BASS_ERROR_WMA);
            return false;
        }
        stream_->time_base = codec_->time_base;
        AVChannelLayout layout;
        ff().av_channel_layout_default(&layout, chans);
        int rc = ff().swr_alloc_set_opts2(&swr_, &layout, AV_SAMPLE_FMT_FLTP, freq, &layout,
                                          AV_SAMPLE_FMT_S16, freq, 0, nullptr);
        ff().av_channel_layout_uninit(&layout);
        if (rc < 0 || ff().swr_init(swr_) < 0) {
            setError(BASS_ERROR_WMA);
            return false;
        }
        fifo_ = ff().av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, chans, codec_->frame_size * 4);
        frame_ = ff().av_frame_alloc();
        packet_ = ff().av_packet_alloc();
        if (!fifo_ || !frame_ || !packet_) {
            setError(BASS_ERROR_MEM);
            return false;
        }
        // Through the file protocol: a path with a colon is not a URL.
        const std::string url = std::string("file:") + path;
        if (const int rc = ff().avio_open(&fmt_->pb, url.c_str(), AVIO_FLAG_WRITE); rc < 0) {
            noteFileFailure(rc);
            setError(BASS_ERROR_CREATE);
            return false;
        }
        return true;
    }

    bool setTag(const char* tag, const char* text) {
        if (headerWritten_) {
            setError(BASS_ERROR_ALREADY);
            return false;
        }
        if (ff().av_dict_set(&fmt_->metadata, tag, text, 0) < 0) {
            setError(BASS_ERROR_MEM);
            return false;
        }
        return true;
    }

    bool write(const uint8_t* data, size_t bytes) {
        if (failed_ || !writeHeader()) return false;
        const size_t frameBytes = size_t(chans_) * 2;
        // Bytes of a frame split across two writes wait for the rest.
        partial_.insert(partial_.end(), data, data + bytes);
        const size_t whole = partial_.size() / frameBytes * frameBytes;
        if (whole > 0) {
            if (!convert(partial_.data(), int(whole / frameBytes))) return false;
            partial_.erase(partial_.begin(), partial_.begin() + std::ptrdiff_t(whole));
        }
        while (ff().av_audio_fifo_size(fifo_) >= codec_->frame_size)
            if (!encodeFromFifo(codec_->frame_size)) return false;
        return true;
    }

    bool close() {
        bool ok = !failed_ && writeHeader();
        if (ok) {
            const bool smallLast = codec_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
            while (ok && ff().av_audio_fifo_size(fifo_) > 0) {
                int n = std::min(ff().av_audio_fifo_size(fifo_), codec_->frame_size);
                ok = encodeFromFifo(smallLast ? n : codec_->frame_size);
            }
            ok = ok && send(nullptr);
            if (ok) {
                const int rc = ff().av_write_trailer(fmt_);
                noteFileFailure(fmt_->pb && fmt_->pb->error < 0 ? fmt_->pb->error : rc);
                ok = rc >= 0 && !(fmt_->pb && fmt_->pb->error < 0);
            }
        }
        if (fmt_ && fmt_->pb) {
            if (const int rc = ff().avio_closep(&fmt_->pb); rc < 0) {
                noteFileFailure(rc);
                ok = false;
            }
        }
        if (!ok) setError(failed_ ? lastError_ : BASS_ERROR_CREATE);
        release();
        return ok;
    }

  private:
    bool fail(int code) {
        failed_ = true;
        lastError_ = code;
        setError(code);
        return false;
    }

    bool writeHeader() {
        if (headerWritten_) return true;
        headerWritten_ = true;
        AVDictionary* options = nullptr;
        if (codec_->block_align > 0 &&
            ff().av_dict_set(&options, "packet_size",
                             std::to_string(asfPacketSize(codec_->block_align)).c_str(), 0) < 0)
            return fail(BASS_ERROR_MEM);
        const int rc = ff().avformat_write_header(fmt_, &options);
        ff().av_dict_free(&options);
        if (rc < 0) {
            noteFileFailure(fmt_->pb && fmt_->pb->error < 0 ? fmt_->pb->error : rc);
            return fail(BASS_ERROR_CREATE);
        }
        return true;
    }

    bool convert(const uint8_t* pcm, int frames) {
        uint8_t** planes = nullptr;
        if (ff().av_samples_alloc_array_and_samples(&planes, nullptr, chans_, frames,
                                                    AV_SAMPLE_FMT_FLTP, 0) < 0)
            return fail(BASS_ERROR_MEM);
        const uint8_t* in[1] = {pcm};
        int got = ff().swr_convert(swr_, planes, frames, in, frames);
        bool ok = got >= 0 &&
                  ff().av_audio_fifo_write(fifo_, reinterpret_cast<void**>(planes), got) == got;
        ff().av_freep(&planes[0]);
        ff().av_freep(&planes);
        return ok ? true : fail(BASS_ERROR_WMA);
    }

    // Encodes `frames` frames from the FIFO, padded with silence when it holds fewer.
    bool encodeFromFifo(int frames) {
        ff().av_frame_unref(frame_);
        frame_->nb_samples = frames;
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = freq_;
        if (ff().av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 ||
            ff().av_frame_get_buffer(frame_, 0) < 0)
            return fail(BASS_ERROR_MEM);
        ff().av_samples_set_silence(frame_->data, 0, frames, chans_, AV_SAMPLE_FMT_FLTP);
        int have = std::min(frames, ff().av_audio_fifo_size(fifo_));
        if (ff().av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), have) != have)
            return fail(BASS_ERROR_WMA);
        frame_->pts = samples_;
        samples_ += frames;
        return send(frame_);
    }

    bool send(AVFrame* frame) {
        if (ff().avcodec_send_frame(codec_, frame) < 0) return fail(BASS_ERROR_WMA);
        for (;;) {
            int rc = ff().avcodec_receive_packet(codec_, packet_);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (rc < 0) return fail(BASS_ERROR_WMA);
            ff().av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            const int written = ff().av_interleaved_write_frame(fmt_, packet_);
            if (written < 0 || (fmt_->pb && fmt_->pb->error < 0)) {
                noteFileFailure(fmt_->pb && fmt_->pb->error < 0 ? fmt_->pb->error : written);
                return fail(BASS_ERROR_CREATE);
            }
        }
    }

    void release() {
        if (fmt_) {
            if (fmt_->pb) ff().avio_closep(&fmt_->pb);
            ff().avformat_free_context(fmt_);
            fmt_ = nullptr;
        }
        ff().avcodec_free_context(&codec_);
        ff().swr_free(&swr_);
        if (fifo_) ff().av_audio_fifo_free(fifo_);
        fifo_ = nullptr;
        ff().av_frame_free(&frame_);
        ff().av_packet_free(&packet_);
    }

    int freq_ = 44100, chans_ = 2;
    AVFormatContext* fmt_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<uint8_t> partial_;
    int64_t samples_ = 0;
    bool headerWritten_ = false;
    bool failed_ = false;
    int lastError_ = BASS_OK;
};

std::mutex gMutex;
std::map<HWMENCODE, std::shared_ptr<Encoder>> gEncoders;
HWMENCODE gNextHandle = 0x57000001;  // encoders are not channels: their own numbering

std::shared_ptr<Encoder> find(HWMENCODE handle) {
    std::lock_guard lk(gMutex);
    auto it = gEncoders.find(handle);
    if (it == gEncoders.end()) {
        setError(BASS_ERROR_HANDLE);
        return nullptr;
    }
    return it->second;
}

}  // namespace

const DWORD* BASS_WMA_EncodeGetRates(DWORD freq, DWORD chans, DWORD flags) {
    if (!haveFfmpeg()) return nullptr;
    if (flags != 0 || freq == 0 || chans == 0 || chans > 2) {
        setError(BASS_ERROR_ILLPARAM);
        return nullptr;
    }
    static std::mutex m;
    static std::map<std::pair<DWORD, DWORD>, std::vector<DWORD>> cache;
    std::lock_guard lk(m);
    auto key = std::make_pair(freq, chans);
    auto it = cache.find(key);
    if (it == cache.end()) {
        // The usual WMA rates, kept where the encoder really opens with them.
        static const DWORD kCandidates[] = {320000, 256000, 192000, 160000, 128000, 96000, 80000,
                                            64000,  48000,  40000,  32000,  24000,  20000, 16000};
        std::vector<DWORD> rates;
        for (DWORD r : kCandidates) {
            AVCodecContext* c = openCodec(int(freq), int(chans), int(r));
            if (c) rates.push_back(r);
            ff().avcodec_free_context(&c);
        }
        if (!rates.empty()) rates.push_back(0);
        it = cache.emplace(key, std::move(rates)).first;
    }
    if (it->second.empty()) {
        setError(BASS_ERROR_WMA);
        return nullptr;
    }
    setError(BASS_OK);
    return it->second.data();
}

HWMENCODE BASS_WMA_EncodeOpenFile(DWORD freq, DWORD chans, DWORD flags, DWORD bitrate,
                                  const char* file) {
    tFileFailure.clear();
    if (!haveFfmpeg()) return 0;
    if (flags != 0 || !file || !*file || freq == 0 || chans == 0 || chans > 2 || bitrate == 0 ||
        bitrate > 2000000) {
        setError(BASS_ERROR_ILLPARAM);
        return 0;
    }
    auto enc = std::make_shared<Encoder>();
    if (!enc->open(int(freq), int(chans), int(bitrate), file)) return 0;
    std::lock_guard lk(gMutex);
    HWMENCODE h = gNextHandle++;
    gEncoders[h] = std::move(enc);
    setError(BASS_OK);
    return h;
}

BOOL BASS_WMA_EncodeSetTag(HWMENCODE handle, const char* tag, const char* text, DWORD type) {
    auto enc = find(handle);
    if (!enc) return 0;
    if (!tag || !*tag || !text || type != 0) {
        setError(BASS_ERROR_ILLPARAM);
        return 0;
    }
    if (!enc->setTag(tag, text)) return 0;
    setError(BASS_OK);
    return 1;
}

BOOL BASS_WMA_EncodeWrite(HWMENCODE handle, const void* buffer, DWORD length) {
    tFileFailure.clear();
    auto enc = find(handle);
    if (!enc) return 0;
    // A count with the top bit set is a failed read's -1, not audio.
    if ((!buffer && length > 0) || (length & 0x80000000u)) {
        setError(BASS_ERROR_ILLPARAM);
        return 0;
    }
    if (!enc->write(static_cast<const uint8_t*>(buffer), length)) return 0;
    setError(BASS_OK);
    return 1;
}

BOOL BASS_WMA_EncodeClose(HWMENCODE handle) {
    std::shared_ptr<Encoder> enc;
    {
        std::lock_guard lk(gMutex);
        auto it = gEncoders.find(handle);
        if (it == gEncoders.end()) {
            setError(BASS_ERROR_HANDLE);
            return 0;
        }
        enc = std::move(it->second);
        gEncoders.erase(it);
    }
    if (!enc->close()) return 0;
    setError(BASS_OK);
    return 1;
}

std::string wmaFileFailure() {
    return tFileFailure;
}
