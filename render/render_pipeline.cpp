#include "render/render_pipeline.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "effects/vocal_remover.h"
#include "engine/engine_ext.h"
#include "engine/spsc_ring.h"
#include "files/file_io.h"

namespace render {

// Decoding ahead: a worker thread pulls the processed source (decoding, vocal remover,
// equalizer) into a ring buffer while the caller's thread runs the tempo channel over it. The
// ring is seen by the engine as a Source, registered as a stream of its own, so that the tempo
// channel reads from it exactly as it would read the file stream.
namespace detail {

// A ring between two threads that sleep while it is full (the producer, until half of it is
// free) or empty (the consumer), so that they wake each other a few times per ring rather than
// at every block. The producer ends it; the consumer may cancel it, which makes the producer's
// writes fail.
template <class T>
class Handoff {
  public:
    explicit Handoff(size_t capacityPow2) : ring_(capacityPow2) {}

    // Producer: waits for room for all `n` (n <= half the capacity); false once cancelled.
    bool write(const T* items, size_t n) {
        for (;;) {
            const uint32_t seen = freed_.load();
            if (cancelled_.load()) return false;
            const size_t room = ring_.writable();
            if (room >= n && (room >= ring_.capacity() / 2 || !waited_)) break;
            waited_ = true;
            freed_.wait(seen);
        }
        waited_ = false;
        ring_.write(items, n);
        filled_.fetch_add(1);
        filled_.notify_one();
        return true;
    }
    // Producer: nothing more comes.
    void end() {
        ended_.store(true);
        filled_.fetch_add(1);
        filled_.notify_one();
    }
    // Consumer: waits for items and copies up to `n`; 0 once everything is read after end(), or
    // once cancelled.
    size_t read(T* items, size_t n) {
        for (;;) {
            const uint32_t seen = filled_.load();
            if (ring_.readable() > 0 || ended_.load() || cancelled_.load()) break;
            filled_.wait(seen);
        }
        const size_t got = ring_.read(items, n);
        if (ring_.writable() >= ring_.capacity() / 2) {
            freed_.fetch_add(1);
            freed_.notify_one();
        }
        return got;
    }
    // Consumer (or its owner, with the producer stopped or about to be joined).
    void cancel() {
        cancelled_.store(true);
        freed_.fetch_add(1);
        freed_.notify_all();
    }

  private:
    engine::SpscRing<T> ring_;
    std::atomic<uint32_t> freed_{0};   // bumped when the consumer freed half the ring
    std::atomic<uint32_t> filled_{0};  // bumped when the producer delivered or ended
    std::atomic<bool> ended_{false}, cancelled_{false};
    bool waited_ = false;  // producer's: it slept on a full ring and waits for half of it
};

struct ReadAhead {
    HSTREAM stream = 0;
    int channels = 2;
    int rate = 44100;
    int64_t frames = 0;     // the passage's length
    int64_t first = 0;      // the source frame the passage starts at
    int64_t remaining = 0;  // frames the worker has still to deliver (worker's, or after halt())

    // The worker produces, the caller's thread consumes.
    std::unique_ptr<Handoff<int16_t>> ring;
    bool running = false;  // caller's thread only
    std::thread worker;

    // The ring holds about half a second of the source, at most 2^18 samples, and is read in
    // chunks of about a sixteenth of a second: a change of the remover or the equalizer, which
    // acts on the source before the ring, reaches the file that soon after the position shown,
    // at any rate and channel count.
    static size_t perSecond(int rate, int channels) {
        return size_t(std::max(1, rate)) * size_t(std::max(1, channels));
    }
    static size_t chunkSamples(int rate, int channels) {
        return std::clamp<size_t>(std::bit_floor(perSecond(rate, channels) / 16), 1024, 16384);
    }
    static size_t ringSamples(int rate, int channels) {
        return std::clamp<size_t>(std::bit_ceil(perSecond(rate, channels) / 2),
                                  4 * chunkSamples(rate, channels), size_t(1) << 18);
    }

    ReadAhead(HSTREAM s, int ch, int r, int64_t from, int64_t len)
        : stream(s),
          channels(ch),
          rate(r),
          frames(len),
          first(from),
          remaining(len),
          ring(std::make_unique<Handoff<int16_t>>(ringSamples(r, ch))) {}
    ~ReadAhead() { halt(); }

    void run() {
        std::vector<int16_t> tmp(chunkSamples(rate, channels));
        for (;;) {
            const int64_t want = std::min<int64_t>(int64_t(tmp.size()) / channels, remaining);
            const int n =
                want > 0 ? BASS_ChannelGetData(stream, tmp.data(), DWORD(want * channels * 2)) : 0;
            if (n <= 0) {
                ring->end();
                return;
            }
            remaining -= n / (2 * channels);
            if (!ring->write(tmp.data(), size_t(n) / 2)) return;
        }
    }

    void halt() {
        ring->cancel();
        if (worker.joinable()) worker.join();
        running = false;
    }

    int64_t read(int16_t* dst, int64_t wanted) {
        if (!running) {
            running = true;
            worker = std::thread([this] { run(); });
        }
        return int64_t(ring->read(dst, size_t(wanted) * size_t(channels))) / channels;
    }

    bool seek(int64_t frame) {
        halt();
        ring = std::make_unique<Handoff<int16_t>>(ringSamples(rate, channels));
        remaining = std::max<int64_t>(0, frames - frame);
        return BASS_ChannelSetPosition(stream, QWORD(first + frame) * QWORD(channels) * 2) != 0;
    }
};

// Writing behind: the caller's thread hands the blocks over, a thread of its own appends them to
// the file, so that the thread that stretches does not wait on the file system. A failed append
// (a full disk, the size limit) cancels the hand-off: the next block handed over is refused.
struct WriteBehind {
    files::WaveWriter& writer;
    size_t frameSamples;
    Handoff<int16_t> ring{size_t(1) << 18};
    std::thread thread;

    WriteBehind(files::WaveWriter& w, int channels)
        : writer(w), frameSamples(size_t(std::max(1, channels))) {
        thread = std::thread([this] { run(); });
    }
    ~WriteBehind() { stop(); }

    void run() {
        std::vector<int16_t> chunk(16384 / frameSamples * frameSamples);
        for (;;) {
            const size_t n = ring.read(chunk.data(), chunk.size());
            if (n == 0) return;
            if (!writer.append(chunk.data(), n * 2)) {
                ring.cancel();
                return;
            }
        }
    }
    // Caller's thread: false when writing has stopped.
    bool put(const int16_t* samples, size_t n) { return ring.write(samples, n); }
    // Caller's thread: every block handed over reaches the writer (or is refused), then the
    // thread ends; the writer is the caller's again.
    void stop() {
        ring.end();
        if (thread.joinable()) thread.join();
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
    finish();
    if (ahead_) ahead_->halt();
}

uint32_t RenderPipeline::bytesWritten() const {
    return behind_ ? handed_ : writer_.dataBytes();
}

bool RenderPipeline::stopWriting() {
    if (behind_) {
        behind_->stop();
        behind_.reset();
    }
    const auto status = writer_.status();
    if (status == files::WaveWriter::Status::Writing || status == files::WaveWriter::Status::Closed)
        return true;
    error_ = writer_.error();
    return false;
}

bool RenderPipeline::open(const std::string& source, const std::string& output,
                          const RenderSettings& settings) {
    {
        const std::lock_guard lock(pendingMutex_);
        pending_.reset();
    }
    chainPending_.store(false);
    finish();
    close();
    error_.clear();
    note_.clear();
    position_ = 0;
    length_ = 0;
    ended_ = false;

    // Writing the output over the source would destroy the audio while it is being read.
    std::error_code ec;
    if (std::filesystem::equivalent(files::pathFromUtf8(source), files::pathFromUtf8(output), ec)) {
        error_ = "Cannot render \"" + source + "\" into itself: save it under another name first.";
        return false;
    }

    source_ = source;
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
    if (from >= to && from < total && settings.toSeconds > settings.fromSeconds) {
        error_ = "The passage from " + seconds(settings.fromSeconds) + " to " +
                 seconds(settings.toSeconds) + " is shorter than one sample of \"" + source + "\".";
        close();
        return false;
    }
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
    toEnd_ = to == total;
    if (settings.chain.remover != effects::Remover::Off &&
        !effects::removerApplies(settings.chain.remover, channels))
        note_ =
            "the vocal remover works on stereo sources only: \"" + source + "\" has " +
            (channels == 1 ? std::string("one channel") : std::to_string(channels) + " channels") +
            " and is rendered without it";
    if (settings.chain.channels != effects::Channels::Stereo && channels != 2) {
        const std::string said =
            "the choice of sides heard works on stereo sources only: \"" + source + "\" has " +
            (channels == 1 ? std::string("one channel") : std::to_string(channels) + " channels") +
            " and is rendered as it is";
        note_ = note_.empty() ? said : note_ + "; " + said;
    }
    ahead_ =
        std::make_shared<detail::ReadAhead>(stream_, channels, int(info.freq), from, to - from);
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
    // The effects work on the decoding stream, on the read-ahead's thread; tempo and pitch on
    // the tempo channel, on the caller's.
    chain_.bind(stream_, tempo_);
    chain_.apply(settings.chain);
    if (settings.highQuality) engine::setTempoStretcher(tempo_, engine::TempoStretcher::RubberBand);

    const auto header = files::WaveHeader::fromChannel(tempo_);
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
    handed_ = 0;
    behind_ = std::make_unique<detail::WriteBehind>(writer_, header->format.channels);
    return true;
}

RenderPipeline::Step RenderPipeline::step() {
    if (!behind_) {  // not writing: before open(), at the end, after a stop or finish()
        const auto status = writer_.status();
        const bool done = status == files::WaveWriter::Status::Closed ||
                          (ended_ && status == files::WaveWriter::Status::Writing);
        return done ? Step::Finished : Step::Stopped;
    }
    if (ended_ || BASS_ChannelIsActive(tempo_) == BASS_ACTIVE_STOPPED) {
        ended_ = true;
        return stopWriting() ? Step::Finished : Step::Stopped;
    }
    if (chainPending_.exchange(false)) {
        std::optional<effects::Chain> chain;
        {
            const std::lock_guard lock(pendingMutex_);
            chain.swap(pending_);
        }
        if (chain) chain_.apply(*chain);
    }
    const int n = BASS_ChannelGetData(tempo_, block_.data(), kBlockBytes);
    bool handed = true;
    if (n > 0) handed = behind_->put(block_.data(), size_t(n) / 2);
    if (handed) handed_ += uint32_t(std::max(n, 0));
    const QWORD pos = BASS_ChannelGetPosition(tempo_);
    if (pos != QWORD(-1)) position_.store(pos, std::memory_order_relaxed);
    if (!handed) {
        stopWriting();
        return Step::Stopped;
    }
    return Step::More;
}

uint32_t RenderPipeline::speakerMask() const {
    return stream_ ? engine::speakerMask(stream_) : 0;
}

std::string RenderPipeline::note() const {
    std::string note = note_;
    const auto add = [&note](const std::string& more) {
        note += (note.empty() ? "" : "; ") + more;
    };
    if (const int64_t faulty = stream_ ? engine::faultySamples(stream_) : 0; faulty > 0)
        add(std::to_string(faulty) + (faulty == 1 ? " sample is" : " samples are") +
            " not a number (infinite or NaN) in \"" + source_ + "\": rendered as silence");
    if (const int64_t over = stream_ ? engine::sourceOverSamples(stream_) : 0; over > 0)
        add(std::to_string(over) + (over == 1 ? " sample" : " samples") + " of \"" + source_ +
            (over == 1 ? "\" lies" : "\" lie") +
            " beyond full scale (louder than 16 bits hold): clipped");
    if (const std::string source = files::sourceNote(stream_, source_, toEnd_); !source.empty())
        add(source);
    if (const int64_t clipped = stream_ ? engine::equalizerClippedSamples(stream_) : 0; clipped > 0)
        add(std::to_string(clipped) + (clipped == 1 ? " sample" : " samples") +
            " clipped by the equalizer");
    if (const int64_t clipped = chain_.removerClippedSamples(); clipped > 0)
        add(std::to_string(clipped) + (clipped == 1 ? " sample" : " samples") +
            " clipped by the vocal remover");
    if (const int64_t clipped = tempo_ ? engine::stretcherClippedSamples(tempo_) : 0; clipped > 0)
        add(std::to_string(clipped) + (clipped == 1 ? " sample" : " samples") +
            " clipped by the change of tempo or pitch");
    return note;
}

void RenderPipeline::setChain(const effects::Chain& chain) {
    if (!tempo_) return;
    const std::lock_guard lock(pendingMutex_);
    pending_ = chain;
    chainPending_.store(true);
}

bool RenderPipeline::finish() {
    stopWriting();
    if (!writer_.isOpen()) return true;
    const bool ok = writer_.finish();
    if (!ok) error_ = writer_.error();
    if (ahead_) ahead_->halt();
    // A source whose header promised audio but whose every block failed to decode (a FLAC cut
    // after its header): an empty file is no result.
    if (ok && ended_ && writer_.dataBytes() == 0) {
        error_ = "Cannot render \"" + source_ + "\": it holds no audio that can be decoded.";
        return false;
    }
    return ok;
}

void RenderPipeline::close() {
    if (ahead_) ahead_->halt();
    chain_.detach();
    // The tempo channel, then the stream the read-ahead feeds it from, then the source stream.
    for (HSTREAM h : {tempo_, aheadStream_, stream_})
        if (h) BASS_StreamFree(h);
    tempo_ = aheadStream_ = stream_ = 0;
    ahead_.reset();
}

RenderThread::~RenderThread() {
    stop();
    join();
}

void RenderThread::start(RenderPipeline& pipeline, std::function<void()> ended) {
    join();
    stop_.store(false);
    outcome_ = RenderPipeline::Step::More;
    thread_ = std::thread([this, &pipeline, ended = std::move(ended)] {
        RenderPipeline::Step step = RenderPipeline::Step::More;
        while (!stop_.load() && (step = pipeline.step()) == RenderPipeline::Step::More) {
        }
        outcome_ = step;
        if (ended) ended();
    });
}

RenderPipeline::Step RenderThread::join() {
    if (thread_.joinable()) thread_.join();
    return outcome_;
}

}  // namespace render
