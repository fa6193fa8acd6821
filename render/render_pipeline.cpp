#include "render/render_pipeline.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "dsp/vocal_remover.h"
#include "engine/engine_ext.h"
#include "engine/spsc_ring.h"
#include "files/file_io.h"

namespace render {

// Decoding ahead: a worker thread pulls the processed source (decoding, vocal remover,
// equalizer) into a ring buffer while the caller's thread runs the tempo channel over it. The
// ring is seen by the engine as a Source, registered as a stream of its own, so that the tempo
// channel reads from it exactly as it would read the file stream.
namespace detail {

struct ReadAhead {
    HSTREAM stream = 0;
    int sourceChannels = 2;
    int channels = 2;  // delivered: sourceChannels, or 1 when keeping one of two equal channels
    int rate = 44100;
    int64_t frames = 0;     // the passage's length
    int64_t first = 0;      // the source frame the passage starts at
    int64_t remaining = 0;  // frames the worker has still to deliver (worker's, or after halt())

    // The worker writes, the caller's thread reads. Each side sleeps on a counter the other one
    // bumps: the worker, once the ring is full, until half of it is free again; the reader until
    // there is audio or the worker has ended. So the threads wake each other a few times per
    // second of audio rather than at every block.
    std::unique_ptr<engine::SpscRing<int16_t>> ring;
    std::atomic<uint32_t> freed{0};   // bumped by the reader (and halt()) for a sleeping worker
    std::atomic<uint32_t> filled{0};  // bumped by the worker when it delivered or ended
    std::atomic<bool> eof{false}, stop{false};
    bool running = false;  // caller's thread only
    std::thread worker;
    std::shared_ptr<dsp::KeepBassRemover> keepBass;  // its DSP runs on the worker while it lives

    static constexpr size_t kChunkSamples = 16384;
    static constexpr size_t kRingSamples = size_t(1) << 18;

    ReadAhead(HSTREAM s, int sourceCh, bool mono, int r, int64_t from, int64_t len)
        : stream(s),
          sourceChannels(sourceCh),
          channels(mono ? 1 : sourceCh),
          rate(r),
          frames(len),
          first(from),
          remaining(len),
          ring(std::make_unique<engine::SpscRing<int16_t>>(kRingSamples)) {}
    ~ReadAhead() { halt(); }

    void run() {
        std::vector<int16_t> tmp(kChunkSamples);
        for (;;) {
            if (ring->writable() < kChunkSamples) {
                for (;;) {
                    const uint32_t seen = freed.load();
                    if (stop.load() || ring->writable() >= ring->capacity() / 2) break;
                    freed.wait(seen);
                }
            }
            if (stop.load()) return;
            const int64_t want = std::min<int64_t>(int64_t(tmp.size()) / sourceChannels, remaining);
            const int n =
                want > 0 ? BASS_ChannelGetData(stream, tmp.data(), DWORD(want * sourceChannels * 2))
                         : 0;
            if (n <= 0) {
                eof.store(true);
                filled.fetch_add(1);
                filled.notify_one();
                return;
            }
            remaining -= n / (2 * sourceChannels);
            size_t samples = size_t(n) / 2;
            if (channels != sourceChannels) {  // keep the first channel of each frame
                samples /= size_t(sourceChannels);
                for (size_t i = 0; i < samples; ++i) tmp[i] = tmp[i * size_t(sourceChannels)];
            }
            ring->write(tmp.data(), samples);
            filled.fetch_add(1);
            filled.notify_one();
        }
    }

    void halt() {
        stop.store(true);
        freed.fetch_add(1);
        freed.notify_all();
        if (worker.joinable()) worker.join();
        running = false;
    }

    int64_t read(int16_t* dst, int64_t wanted) {
        if (!running && !eof.load()) {
            stop.store(false);
            running = true;
            worker = std::thread([this] { run(); });
        }
        for (;;) {
            const uint32_t seen = filled.load();
            if (ring->readable() > 0 || eof.load()) break;
            filled.wait(seen);
        }
        size_t take = ring->read(dst, size_t(wanted) * size_t(channels));
        if (ring->writable() >= ring->capacity() / 2) {
            freed.fetch_add(1);
            freed.notify_one();
        }
        return int64_t(take) / channels;
    }

    bool seek(int64_t frame) {
        halt();
        ring = std::make_unique<engine::SpscRing<int16_t>>(kRingSamples);
        eof.store(false);
        stop.store(false);
        remaining = std::max<int64_t>(0, frames - frame);
        return BASS_ChannelSetPosition(stream, QWORD(first + frame) * QWORD(sourceChannels) * 2) !=
               0;
    }
};

}  // namespace detail

namespace {

class ReadAheadSource : public engine::Source {
  public:
    explicit ReadAheadSource(std::shared_ptr<detail::ReadAhead> s) : s_(std::move(s)) {}
    ~ReadAheadSource() override { s_->halt(); }
    int rate() const override { return s_->rate; }
    int channels() const override { return s_->channels; }
    int64_t lengthFrames() const override { return s_->frames; }
    int64_t read(int16_t* dst, int64_t frames) override { return s_->read(dst, frames); }
    bool seek(int64_t frame) override { return s_->seek(frame); }

  private:
    std::shared_ptr<detail::ReadAhead> s_;
};

}  // namespace

namespace {

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", s);
    return text;
}

}  // namespace

RenderPipeline::RenderPipeline(uint32_t maxDataBytes)
    : writer_(maxDataBytes), block_(kBlockBytes / 2) {}

RenderPipeline::~RenderPipeline() {
    writer_.finish();
    if (ahead_) ahead_->halt();
}

bool RenderPipeline::open(const std::string& source, const std::string& output,
                          const RenderSettings& settings) {
    finish();
    close();
    error_.clear();
    note_.clear();
    position_ = length_ = 0;
    ended_ = false;
    expand_ = 1;

    // Writing the output over the source would destroy the audio while it is being read.
    std::error_code ec;
    if (std::filesystem::equivalent(files::pathFromUtf8(source), files::pathFromUtf8(output), ec)) {
        error_ = "Cannot render \"" + source + "\" into itself: save it under another name first.";
        return false;
    }

    stream_ = BASS_StreamCreateFile(0, source.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (!stream_) {
        error_ = files::cannotOpenMessage(source, BASS_ErrorGetCode());
        return false;
    }
    const QWORD length = BASS_ChannelGetLength(stream_);
    if (length == 0 || length == QWORD(-1)) {
        error_ = "\"" + source + "\" holds no audio.";
        close();
        return false;
    }

    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(stream_, &info);
    const int channels = std::max(1, int(info.chans));
    const QWORD frameBytes = 2 * QWORD(channels);

    // The passage: from `fromSeconds` to `toSeconds` (0: the end), in whole frames.
    const int64_t total = int64_t(length / frameBytes);
    const int64_t from = std::llround(std::max(0.0, settings.fromSeconds) * info.freq);
    int64_t to = settings.toSeconds > 0 ? std::llround(settings.toSeconds * info.freq) : total;
    to = std::min(to, total);
    if (from >= to) {
        error_ = "\"" + source + "\" has no audio between " + seconds(settings.fromSeconds) +
                 " and " + (settings.toSeconds > 0 ? seconds(settings.toSeconds) : "its end") +
                 " (it lasts " + seconds(double(total) / info.freq) + ").";
        close();
        return false;
    }
    if (from > 0 && !BASS_ChannelSetPosition(stream_, QWORD(from) * frameBytes)) {
        error_ = "Cannot read \"" + source + "\" from " + seconds(settings.fromSeconds) + ".";
        close();
        return false;
    }
    length_ = QWORD(to - from) * frameBytes;
    std::shared_ptr<dsp::KeepBassRemover> keepBass;
    if (settings.vocalRemover) {
        if (channels != 2)
            note_ = "the vocal remover works on stereo sources only: \"" + source + "\" has " +
                    (channels == 1 ? std::string("one channel")
                                   : std::to_string(channels) + " channels") +
                    " and is rendered without it";
        if (settings.vocalMode == VocalMode::KeepBass) {
            keepBass = std::make_shared<dsp::KeepBassRemover>(double(info.freq));
            removerDsp_ = keepBass->attach(stream_);
        } else {
            removerDsp_ = dsp::attachVocalRemover(stream_);
        }
    }
    if (settings.equalizer) {
        BASS_FX_DSPPEAKEQ params{};
        dsp::equalizerOn(stream_, params, settings.eqSliders);
    }

    // After the remover both channels of a stereo source are equal: stretch one of them.
    const bool mono = settings.vocalRemover && channels == 2;
    ahead_ = std::make_shared<detail::ReadAhead>(stream_, channels, mono, int(info.freq), from,
                                                 to - from);
    ahead_->keepBass = keepBass;
    if (mono) expand_ = 2;
    aheadStream_ =
        engine::createSourceStream(std::make_unique<ReadAheadSource>(ahead_), BASS_STREAM_DECODE);
    if (!aheadStream_) {
        error_ =
            "Cannot process \"" + source + "\": " + describeOpenError(BASS_ErrorGetCode()) + ".";
        close();
        return false;
    }
    HSTREAM tempoSource = aheadStream_;

    tempo_ = BASS_FX_TempoCreate(tempoSource, BASS_STREAM_DECODE);
    if (!tempo_) {
        error_ =
            "Cannot process \"" + source + "\": " + describeOpenError(BASS_ErrorGetCode()) + ".";
        close();
        return false;
    }
    BASS_FX_TempoSet(tempo_, settings.tempoPercent, 0, -100);
    BASS_FX_TempoSet(tempo_, -100, 0, settings.pitchSemitones);
    if (settings.highQuality) engine::setTempoStretcher(tempo_, engine::TempoStretcher::RubberBand);

    auto header = files::WaveHeader::fromChannel(tempo_);
    if (header && expand_ > 1)
        header = files::WaveHeader::forFormat(header->format.channels * expand_,
                                              header->format.sampleRate,
                                              header->format.bitsPerSample == 8);
    if (!header) {
        error_ = "Cannot read the format of \"" + source + "\".";
        close();
        return false;
    }
    if (!writer_.create(output, *header)) {
        error_ = writer_.error();
        close();
        return false;
    }
    return true;
}

RenderPipeline::Step RenderPipeline::step() {
    if (!writer_.isOpen())
        return writer_.status() == files::WaveWriter::Status::Closed ? Step::Finished
                                                                     : Step::Stopped;
    if (writer_.status() != files::WaveWriter::Status::Writing) return Step::Stopped;
    if (ended_ || BASS_ChannelIsActive(tempo_) == BASS_ACTIVE_STOPPED) {
        ended_ = true;
        return Step::Finished;
    }
    const DWORD want = kBlockBytes / DWORD(expand_);
    int n = BASS_ChannelGetData(tempo_, block_.data(), want);
    if (n > 0 && expand_ == 2) {
        // One channel back to two, from the end so that the block can be widened in place.
        for (int i = n / 2 - 1; i >= 0; --i)
            block_[size_t(2 * i)] = block_[size_t(2 * i + 1)] = block_[size_t(i)];
        n *= 2;
    }
    bool written = true;
    if (n > 0) written = writer_.append(block_.data(), size_t(n));
    const QWORD pos = BASS_ChannelGetPosition(tempo_);
    if (pos != QWORD(-1)) position_ = pos * QWORD(expand_);
    if (!written) {
        error_ = writer_.error();
        return Step::Stopped;
    }
    return Step::More;
}

bool RenderPipeline::finish() {
    if (!writer_.isOpen()) return true;
    const bool ok = writer_.finish();
    if (!ok) error_ = writer_.error();
    if (ahead_) ahead_->halt();
    return ok;
}

void RenderPipeline::close() {
    if (ahead_) ahead_->halt();
    // The tempo channel, then the stream the read-ahead feeds it from, then the source stream.
    for (HSTREAM h : {tempo_, aheadStream_, stream_})
        if (h) BASS_StreamFree(h);
    tempo_ = aheadStream_ = stream_ = 0;
    removerDsp_ = 0;
    ahead_.reset();
}

}  // namespace render
