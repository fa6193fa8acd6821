#include "components/mp3_encoder.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <span>
#include <thread>
#include <vector>

#include "encode/lame_encoder.h"
#include "engine/engine_ext.h"
#include "files/fault_injection.h"
#include "files/open_error.h"
#include "files/temporary_file.h"

namespace components {

namespace {

namespace fs = std::filesystem;

fs::path toPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

bool isRawName(const std::string& path) {
    std::string ext = toPath(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return ext == ".raw";
}

// Headerless 16-bit little-endian stereo at 44100 Hz.
class RawSource : public engine::Source {
  public:
    RawSource(std::FILE* f, int64_t bytes) : file_(f), frames_(bytes / 4) {}
    ~RawSource() override { std::fclose(file_); }
    int rate() const override { return 44100; }
    int channels() const override { return 2; }
    int64_t lengthFrames() const override { return frames_; }
    int64_t read(int16_t* dst, int64_t frames) override {
        frames = std::min(frames, frames_ - pos_);
        if (frames <= 0) return 0;
        bytes_.resize(size_t(frames) * 4);
        const files::IoResult got = files::readFile(file_, bytes_.data(), bytes_.size());
        if (got.error) return -1;
        const int64_t n = int64_t(got.bytes / 4);
        for (int64_t i = 0; i < n * 2; ++i)
            dst[i] = int16_t(uint16_t(bytes_[size_t(2 * i)] | (bytes_[size_t(2 * i + 1)] << 8)));
        pos_ += n;
        return n;
    }
    bool seek(int64_t) override { return false; }

  private:
    std::FILE* file_;
    int64_t frames_;
    int64_t pos_ = 0;
    std::vector<uint8_t> bytes_;
};

std::unique_ptr<engine::Source> openRaw(const std::string& path, std::string& error) {
    std::error_code ec;
    const auto size = fs::file_size(toPath(path), ec);
    std::FILE* f = ec ? nullptr : std::fopen(path.c_str(), "rb");
    if (!f) {
        error = files::cannotOpenMessage(path, BASS_ERROR_FILEOPEN);
        return nullptr;
    }
    return std::make_unique<RawSource>(f, int64_t(size));
}

std::unique_ptr<engine::Source> openInput(const std::string& path, std::string& error) {
    if (!files::whyCannotOpen(path).empty()) {
        error = files::cannotOpenMessage(path, BASS_ERROR_FILEOPEN);
        return nullptr;
    }
    if (isRawName(path)) return openRaw(path, error);
    int code = 0;
    auto source = engine::openFileSource(path, &code);
    if (!source) error = files::cannotOpenMessage(path, code);
    return source;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::equivalent(toPath(a), toPath(b), ec)) return true;
    const fs::path ca = fs::weakly_canonical(toPath(a), ec);
    const fs::path cb = fs::weakly_canonical(toPath(b), ec);
    return !ec && ca == cb;
}

}  // namespace

std::string encodeMp3File(const Mp3EncodeJob& job, const Mp3ProgressFn& progress,
                          const std::atomic<bool>* stop, std::string* note) {
    if (job.input.empty()) return "No input file was chosen.";
    if (job.output.empty()) return "No output file was given.";
    if (sameFile(job.input, job.output))
        return "The MP3 file would replace the file it is made from: choose another name.";

    std::string error;
    auto source = openInput(job.input, error);
    if (!source) return error;
    const int64_t length = source->lengthFrames();
    const int channels = source->channels();
    if (length <= 0 || channels < 1) return "\"" + job.input + "\" holds no audio.";
    const int lameChannels = std::min(channels, 2);

    encode::LameEncoder lame;
    const encode::LameEncoder::Mode mode = job.channelMode == 1 || lameChannels == 1
                                               ? encode::LameEncoder::Mode::Mono
                                               : encode::LameEncoder::Mode::JointStereo;
    const int askedKbps = std::clamp(int(job.bitRate / 1000), 8, 320);
    switch (lame.open({source->rate(), lameChannels, askedKbps, mode})) {
        case encode::LameEncoder::Start::Ok:
            break;
        case encode::LameEncoder::Start::CannotStart:
            return "The MP3 encoder could not be started.";
        case encode::LameEncoder::Start::Refused:
            return "The MP3 encoder does not accept these settings.";
    }

    // Through a temporary beside the destination: a stop or a failure leaves no MP3 and keeps an
    // earlier file of that name.
    // A destination that may not be replaced (write-protected, a folder) is refused before the
    // encoding, as every save refuses it.
    if (const files::Result r = files::checkReplaceable(job.output); !r) return r.message;
    files::TemporaryFile out;
    if (const files::Result r = out.create(job.output); !r) return r.message;
    int64_t written = 0;
    auto put = [&](std::span<const uint8_t> bytes) {
        written += int64_t(bytes.size());
        return out.write(bytes.data(), bytes.size());
    };

    constexpr int kBlock = 8192;
    std::vector<int16_t> in(size_t(kBlock) * size_t(channels));
    std::vector<int16_t> pcm(size_t(kBlock) * 2);
    const engine::StereoDownmix downmix = engine::stereoDownmix(
        channels, source->speakerMask() ? source->speakerMask() : job.speakerMask);
    const auto started = std::chrono::steady_clock::now();
    int64_t done = 0;
    int lastPercent = -1;
    for (;;) {
        if (stop && stop->load()) {
            return kMp3Stopped;
        }
        const int64_t n = source->read(in.data(), kBlock);
        if (n < 0) {
            return "Reading \"" + job.input + "\" failed.";
        }
        if (n == 0) break;  // the end (a truncated file ends early)
        const int16_t* frames = in.data();
        if (channels > 2) {
            // Two channels, as the player plays them (engine::stereoDownmix).
            for (int64_t i = 0; i < n; ++i) {
                float l = 0, r = 0;
                for (int c = 0; c < channels; ++c) {
                    const float v = in[size_t(i * channels + c)];
                    l += v * downmix.left[c];
                    r += v * downmix.right[c];
                }
                pcm[size_t(2 * i)] = int16_t(std::clamp(std::lround(l), -32768L, 32767L));
                pcm[size_t(2 * i + 1)] = int16_t(std::clamp(std::lround(r), -32768L, 32767L));
            }
            frames = pcm.data();
        }
        const auto mp3 = lame.encode(frames, size_t(n));
        if (!mp3) return "The MP3 encoder failed.";
        if (const files::Result r = put(*mp3); !r) return r.message;
        done += n;
        const int percent = int(std::min<int64_t>(99, done * 100 / length));
        if (progress && percent != lastPercent) {
            lastPercent = percent;
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            progress(percent, elapsed * double(std::max<int64_t>(0, length - done)) / double(done));
        }
    }
    const auto last = lame.flush();
    if (!last) return "The MP3 encoder failed.";
    if (const files::Result r = put(*last); !r) return r.message;
    // The LAME/Xing header with the exact length goes over the first frame, kept free for it.
    const std::span<const uint8_t> tag = lame.lameTagFrame();
    if (!tag.empty() && int64_t(tag.size()) <= written) {
        if (files::Result r = out.seek(0); !r || !(r = put(tag))) return r.message;
    }
    if (stop && stop->load()) return kMp3Stopped;
    if (const files::Result r = out.commit(); !r) return r.message;
    if (note) {
        const double rate = source->rate();
        if (const int64_t missing = source->missingFrames(); missing > 0)
            *note = files::cutShortMessage(job.input, double(missing) / rate);
        else if (const int64_t undecoded = source->undecodedFrames(); undecoded > 0)
            *note = files::damagedMessage(job.input, double(undecoded) / rate);
        else if (const int64_t silenced = source->silencedFrames(); silenced > 0)
            *note = files::silencedMessage(job.input, double(silenced) / rate);
        else if (source->cutOff())
            *note = files::cutOffMessage(job.input);
        else
            note->clear();
        const auto add = [&note](const std::string& more) {
            *note = note->empty() ? more : *note + "\n" + more;
        };
        // Samples a float source holds that 16 bits cannot: clipped, or silence where they are
        // no numbers.
        if (const int64_t faulty = source->faultySamples(); faulty > 0)
            add(std::to_string(faulty) + (faulty == 1 ? " sample is" : " samples are") +
                " not a number (infinite or NaN) in \"" + job.input + "\": encoded as silence");
        if (const int64_t over = source->overSamples(); over > 0)
            add(std::to_string(over) + (over == 1 ? " sample" : " samples") + " of \"" + job.input +
                (over == 1 ? "\" lies" : "\" lie") +
                " beyond full scale (louder than 16 bits hold): clipped");
        // What MP3 could not hold as asked.
        if (channels > 2)
            add("MP3 holds two channels: the " + std::to_string(channels) +
                " channels are mixed to stereo");
        if (lame.kbps() != askedKbps || lame.outRate() != source->rate()) {
            add(files::mp3ChoiceMessage(lame.kbps(), lame.outRate(), askedKbps, source->rate()));
        }
    }
    return {};
}

// One running Encode: shared by the component, its worker thread and the waiting loop.
struct Mp3Encoder::Run {
    std::atomic<bool> stop{false};
    std::thread worker;
    QEventLoop* loop = nullptr;
    std::string result;
    std::string note;  // on success, what encodeMp3File says of the input
};

Mp3Encoder::Mp3Encoder(QObject* parent) : QObject(parent) {}

Mp3Encoder::~Mp3Encoder() {
    if (auto run = running_) {
        run->stop = true;
        if (run->worker.joinable()) run->worker.join();
        // The Encode waiting below us returns at once and touches nothing of ours.
        if (run->loop) run->loop->quit();
    }
}

void Mp3Encoder::StopEncoding() {
    if (auto run = running_) run->stop = true;
}

bool Mp3Encoder::Encode() {
    if (running_) {
        error_ = "An encoding is already running.";
        return false;
    }
    Mp3EncodeJob job;
    job.input = input_.toStdString();
    job.output = output_.toStdString();
    job.bitRate = bitRate_.value_or(128000);
    job.channelMode = channelMode_.value_or(0);
    job.speakerMask = speakerMask_;
    error_.clear();
    note_.clear();
    stopped_ = false;

    auto run = std::make_shared<Run>();
    running_ = run;

    if (!QCoreApplication::instance()) {
        // No event loop to keep running: encode here and report directly.
        run->result = encodeMp3File(
            job,
            [this](int p, double left) {
                emit EncodeTimeLeft(left);
                emit EncodeProgress(p);
            },
            &run->stop, &run->note);
    } else {
        QEventLoop loop;
        run->loop = &loop;
        QPointer<Mp3Encoder> self(this);
        // Reports go through the event queue to this object's thread; the destructor joins the
        // worker before this object goes away, so `this` is valid whenever the worker uses it.
        run->worker = std::thread([this, run, job] {
            run->result = encodeMp3File(
                job,
                [this](int p, double left) {
                    QMetaObject::invokeMethod(
                        this,
                        [this, p, left] {
                            emit EncodeTimeLeft(left);
                            emit EncodeProgress(p);
                        },
                        Qt::QueuedConnection);
                },
                &run->stop, &run->note);
            QMetaObject::invokeMethod(
                this,
                [run] {
                    if (run->loop) run->loop->quit();
                },
                Qt::QueuedConnection);
        });
        loop.exec();
        if (!self) return false;  // destroyed while encoding
        run->loop = nullptr;
        run->worker.join();
        // Reports still queued from the worker come before the last one.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    running_.reset();
    if (!run->result.empty()) {
        error_ = QString::fromStdString(run->result);
        stopped_ = run->result == kMp3Stopped;
        return false;
    }
    note_ = QString::fromStdString(run->note);
    emit EncodeTimeLeft(0.0);
    emit EncodeProgress(100);
    return true;
}

}  // namespace components
