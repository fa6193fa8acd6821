#include "components/normaliser_component.h"

#include <QEventLoop>
#include <QMetaObject>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include <ebur128.h>
#include <sndfile.h>
#include <soxr.h>

#include "encode/formats.h"
#include "engine/decode/sound_file.h"
#include "engine/engine_ext.h"
#include "files/file_io.h"
#include "files/open_error.h"
#include "files/safe_copy.h"
#include "files/temporary_file.h"
#include "files/wave_header.h"

namespace fs = std::filesystem;

namespace {

// RIFF, RF64 or BW64 with a WAVE form.
bool looksLikeWav(const std::string& path) {
    std::ifstream f(fs::path(path), std::ios::binary);
    char head[12] = {};
    if (!f.read(head, sizeof head)) return false;
    return engine::SoundFile::isWaveMagic(head) && std::equal(head + 8, head + 12, "WAVE");
}

struct SndFile {
    engine::SoundFile file;
    SNDFILE* f;
    SF_INFO info;
    explicit SndFile(const std::string& path) : file(path), f(file.get()), info(file.info()) {}
    // Whether its samples carry more than 16 bits (float, 24 or 32-bit integers).
    bool finerThan16Bits() const {
        switch (info.format & SF_FORMAT_SUBMASK) {
            case SF_FORMAT_PCM_S8:
            case SF_FORMAT_PCM_U8:
            case SF_FORMAT_PCM_16:
            case SF_FORMAT_ULAW:
            case SF_FORMAT_ALAW:
                return false;
            default:
                return true;
        }
    }
};

// The meter's weight for a channel at WAVE's speaker bit `bit` (-1: placed nowhere WAVE names),
// as ITU-R BS.1770 weighs it: the LFE is left out, the side and back channels are surrounds
// (1.41), every other one (front, top, unknown) counts once. Only the weight matters to the
// meter (it filters every channel on its own), so the plain values stand for all the places of
// a weight.
int meterPlace(int bit) {
    switch (bit) {
        case 0:
            return EBUR128_LEFT;
        case 1:
            return EBUR128_RIGHT;
        case 2:
            return EBUR128_CENTER;
        case 3:  // low-frequency effects
            return EBUR128_UNUSED;
        case 4:  // back left
        case 8:  // back centre
        case 9:  // side left
            return EBUR128_LEFT_SURROUND;
        case 5:   // back right
        case 10:  // side right
            return EBUR128_RIGHT_SURROUND;
        default:
            return EBUR128_LEFT;
    }
}

// The meter's place for each channel of `file`; empty to keep the meter's own. A file that says
// where its channels go (an extensible header's mask) is weighed by it, a channel past the mask's
// bits once. Without that: up to six channels keep the meter's own guess, which is WAVE's usual
// layout for their count (mono, stereo, L R C, quad, 5.0, 5.1 with the LFE fourth); seven and eight
// take the layout the player gives them (6.1, 7.1, the LFE fourth); more have none, and every
// channel counts once, none left out (the meter's guess would leave out all past the sixth).
std::vector<int> meterPlaces(const engine::SoundFile& file, int channels) {
    const std::vector<int> bits = file.speakerBits();
    if (bits.size() == size_t(channels)) {
        std::vector<int> places;
        for (const int bit : bits) places.push_back(meterPlace(bit));
        // A file of LFE channels alone (an LFE stem) is measured as the sound it is.
        if (std::all_of(places.begin(), places.end(),
                        [](int place) { return place == EBUR128_UNUSED; }))
            std::fill(places.begin(), places.end(), EBUR128_LEFT);
        return places;
    }
    if (channels <= 6) return {};
    if (const uint32_t mask = engine::usualSpeakerMask(channels); mask != 0) {
        std::vector<int> places;
        for (int bit = 0; bit < 32; ++bit)
            if (mask & (1u << bit)) places.push_back(meterPlace(bit));
        return places;
    }
    return std::vector<int>(size_t(channels), EBUR128_LEFT);
}

struct Ebur128 {
    ebur128_state* st;
    Ebur128(int channels, int rate, const std::vector<int>& places, int mode = EBUR128_MODE_I)
        : st(ebur128_init(unsigned(channels), unsigned(rate), mode)) {
        if (st)
            for (size_t c = 0; c < places.size(); ++c)
                ebur128_set_channel(st, unsigned(c), places[c]);
    }
    ~Ebur128() {
        if (st) ebur128_destroy(&st);
    }
};

// The true peak: the largest value of the wave between its samples, as a converter rebuilds it,
// read from the samples resampled to about 350 kHz or more (8x at 44.1 and 48 kHz) with a linear
// phase filter. libebur128's own estimate (4x with a short filter) reads up to 0.7 dB low on
// clipped sound, and another meter would then find the ceiling passed; at 8x a tone near 20 kHz
// is read at most 0.15 dB low.
class TruePeak {
  public:
    TruePeak(int channels, int rate) : channels_(channels) {
        const double factor = std::max(2.0, std::ceil(350000.0 / rate));
        soxr_error_t err = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
        const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        soxr_ = soxr_create(double(rate), double(rate) * factor, unsigned(channels), &err, &io, &q,
                            nullptr);
        if (err) soxr_ = nullptr;
        out_.resize(size_t(8192 * channels));
    }
    ~TruePeak() {
        if (soxr_) soxr_delete(soxr_);
    }
    TruePeak(const TruePeak&) = delete;
    TruePeak& operator=(const TruePeak&) = delete;
    bool ok() const { return soxr_ != nullptr; }
    void add(const double* in, size_t frames) { run(in, frames); }
    // The peak as a fraction of full scale, once every sample has been added.
    double finish() {
        run(nullptr, 0);
        return peak_;
    }

  private:
    // `in` null: the filter's tail.
    void run(const double* in, size_t frames) {
        const size_t room = out_.size() / size_t(channels_);
        for (;;) {
            size_t used = 0, made = 0;
            if (soxr_process(soxr_, in, frames, &used, out_.data(), room, &made)) return;
            for (size_t i = 0; i < made * size_t(channels_); ++i)
                peak_ = std::max(peak_, std::abs(out_[i]));
            if (in) {
                in += used * size_t(channels_);
                frames -= used;
                if (frames == 0 && made < room) return;
            } else if (made == 0) {
                return;
            }
        }
    }

    int channels_;
    soxr_t soxr_ = nullptr;
    std::vector<double> out_;
    double peak_ = 0;
};

}  // namespace

NormaliserComponent::NormaliserComponent(QObject* parent) : QObject(parent) {}
NormaliserComponent::~NormaliserComponent() = default;

double NormaliserComponent::parsePercent(const std::string& text) {
    // A decimal point or comma, whatever the locale: a percentage has no thousands to group.
    std::string t = text;
    std::replace(t.begin(), t.end(), ',', '.');
    const char* at = t.c_str();
    while (*at == ' ' || *at == '\t') ++at;
    if (*at == '+') ++at;
    double v = 0;
    const auto [stop, ec] = std::from_chars(at, t.c_str() + t.size(), v);
    if (ec != std::errc() || stop == at) return -1;
    const char* end = stop;
    while (*end == ' ' || *end == '\t' || *end == '%') ++end;
    if (*end != '\0' || !std::isfinite(v) || v < 1.0 || v > 100.0) return -1;
    return v;
}

std::string NormaliserComponent::normalizeFile(const std::string& source,
                                               const std::string& destination, double percent,
                                               const std::function<void(double)>& report,
                                               const std::atomic<bool>* cancel) {
    NormaliseOptions options;
    options.percent = percent;
    return normalise(source, destination, options, report, cancel).error;
}

NormaliseResult NormaliserComponent::normalise(const std::string& source,
                                               const std::string& destination,
                                               const NormaliseOptions& options,
                                               const std::function<void(double)>& report,
                                               const std::atomic<bool>* cancel) {
    NormaliseResult result;
    auto failed = [&](const std::string& why) {
        result.error = why;
        return result;
    };
    const bool loudness = options.target == NormaliseOptions::Target::Loudness;
    if (!loudness && !(options.percent >= 1.0 && options.percent <= 100.0))
        return failed("The percentage must be a number from 1 to 100.");
    if (loudness && !(options.lufs >= -70.0 && options.lufs <= 0.0))
        return failed("The loudness must be a number from -70 to 0 LUFS.");
    if (options.bits != 16 && options.bits != 24)
        return failed("The bits per sample must be 16 or 24.");
    // What is not a regular file (a FIFO would block the reader) is refused before it is opened.
    if (!files::whyCannotOpen(source).empty())
        return failed(files::cannotOpenMessage(source, BASS_ERROR_FILEOPEN));
    if (!looksLikeWav(source)) return failed("\"" + source + "\" is not a readable WAV file.");
    SndFile src(source);
    if (!src.f || src.info.channels < 1 || src.info.frames < 0)
        return failed("\"" + source + "\" is not a readable WAV file.");
    if (src.info.frames == 0)
        return failed("\"" + source + "\" holds no audio: there is nothing to normalise.");
    // The same limits as everywhere in the program, said as the engine's refusal says them
    // (the rate, or the channel count).
    if (src.info.channels > engine::kMaxChannels || src.info.samplerate > engine::kMaxRate ||
        src.info.samplerate < engine::kMinRate)
        return failed(files::cannotOpenMessage(source, BASS_ERROR_FORMAT));
    // The meter's weighting filters need half the rate well above 1.7 kHz (kMinLoudnessRate).
    if (loudness && src.info.samplerate < kMinLoudnessRate)
        return failed("\"" + source + "\" has a sample rate of " +
                      std::to_string(src.info.samplerate) + " Hz: loudness can be measured from " +
                      std::to_string(kMinLoudnessRate) + " Hz up.");
    if (const files::Result r = files::checkReplaceable(destination); !r) return failed(r.message);
    // A result larger than a WAV file can hold is refused before the work, not after it.
    if (uint64_t(src.info.frames) * uint64_t(src.info.channels) * uint64_t(options.bits / 8) >
        files::kMaxWaveDataBytes)
        return failed("\"" + destination + "\" would hold more than a WAV file can (2 GiB of " +
                      "audio): nothing was written." +
                      (options.bits == 24 ? " At 16 bits it may fit." : ""));
    // The temporary beside the destination before any work: a folder that takes no new file is
    // said at once, not after the first pass. It goes on every way out but the last.
    files::TemporaryFile temporary;
    if (files::Result r = temporary.create(destination); !r || !(r = temporary.closeStream()))
        return failed(r.message);
    const std::string temp = temporary.path();
    const int channels = src.info.channels;
    const int64_t total = std::max<int64_t>(1, src.info.frames);

    constexpr int64_t kBlock = 16384;
    std::vector<double> buf(size_t(kBlock * channels));
    auto cancelled = [&] { return cancel && cancel->load(); };

    // Pass 1: the peak (as a fraction of full scale, as the samples come) and the loudness.
    const std::vector<int> places = meterPlaces(src.file, channels);
    Ebur128 meter(channels, src.info.samplerate, places);
    std::optional<TruePeak> truePeakMeter;
    if (loudness) truePeakMeter.emplace(channels, src.info.samplerate);
    if (loudness && (!meter.st || !truePeakMeter->ok()))
        return failed("There is not enough memory to measure loudness.");
    double peak = 0;
    int64_t done = 0, faulty = 0;
    const double firstPassShare = loudness ? 25.0 : 50.0;
    for (;;) {
        const sf_count_t n = sf_readf_double(src.f, buf.data(), kBlock);
        if (n <= 0) break;
        // Infinities and NaNs are faults in the file, not sound: they count as silence.
        for (int64_t i = 0; i < n * channels; ++i) {
            double& v = buf[size_t(i)];
            if (!std::isfinite(v)) {
                v = 0;
                ++faulty;
            }
            peak = std::max(peak, std::abs(v));
        }
        if (loudness) {
            ebur128_add_frames_double(meter.st, buf.data(), size_t(n));
            truePeakMeter->add(buf.data(), size_t(n));
        }
        done += n;
        // In loudness mode the first half of the bar also holds the measuring of the scaled
        // samples (below): this pass takes its first quarter.
        if (report) report(std::min(49.0, firstPassShare * double(done) / double(total)));
        if (cancelled()) return failed(kStopped);
    }
    if (sf_error(src.f) != SF_ERR_NO_ERROR)
        return failed("\"" + source + "\" could not be read to the end.");
    if (sf_seek(src.f, 0, SEEK_SET) != 0)
        return failed("\"" + source + "\" could not be read again.");

    // The output's steps: a sample of full scale (1.0) is `steps`, the largest written `maxStep`.
    const double steps = options.bits == 24 ? 8388608.0 : 32768.0;
    const double maxStep = steps - 1;
    double scale = 1.0;
    if (!loudness) {
        // The peak reaches `percent` % of the largest step the output holds. (For 16 bits the
        // same arithmetic as in 16-bit steps: peak * 32768 is exact.)
        scale = peak > 0 ? options.percent / 100.0 * maxStep / (peak * steps) : 1.0;
        if (!(peak > 0)) {
            result.note = "The source is silent: there is no peak to scale.";
            result.leftAsItIs = true;
        }
    } else {
        double measured = -HUGE_VAL;
        ebur128_loudness_global(meter.st, &measured);
        // Never under the samples themselves (the filter's band ends a little short of the
        // source's Nyquist frequency).
        const double truePeak = std::max(truePeakMeter->finish(), peak);
        // The loudness of the source at `gain`: not the measured one plus the gain where blocks
        // lie near the absolute gate (-70 LUFS, which does not move with the level), as in a fade
        // or a decaying note. Measured again on the scaled samples; NaN when stopped or unread.
        // Each measuring takes half of what is left of the bar's first half.
        double measuringFrom = firstPassShare;
        const auto loudnessAt = [&](double gain) {
            Ebur128 m(channels, src.info.samplerate, places, EBUR128_MODE_I);
            double l = NAN;
            if (!m.st || sf_seek(src.f, 0, SEEK_SET) != 0) return l;
            const double span = (50.0 - measuringFrom) / 2;
            int64_t measured = 0;
            for (sf_count_t n; (n = sf_readf_double(src.f, buf.data(), kBlock)) > 0;) {
                for (int64_t i = 0; i < n * channels; ++i) {
                    double& v = buf[size_t(i)];
                    v = std::isfinite(v) ? v * gain : 0.0;
                }
                ebur128_add_frames_double(m.st, buf.data(), size_t(n));
                measured += n;
                if (report)
                    report(std::min(49.0, measuringFrom + span * double(measured) / double(total)));
                if (cancelled()) return l;
            }
            measuringFrom += span;
            if (sf_error(src.f) == SF_ERR_NO_ERROR) ebur128_loudness_global(m.st, &l);
            return l;
        };
        if (std::isnan(measured) || measured == HUGE_VAL) {
            return failed("The loudness of \"" + source + "\" cannot be measured.");
        } else if (!std::isfinite(measured)) {
            result.note =
                total < src.info.samplerate * 2 / 5
                    ? "The source is too short to measure its loudness (under 0.4 s): its level "
                      "was left as it is."
                    : "The source is too quiet to measure its loudness: its level was left as it "
                      "is.";
            result.leftAsItIs = true;
            // Except where it would clip (a float source past full scale): down to the ceiling.
            const double ceiling = std::pow(10.0, (kTruePeakCeilingDb - 0.1) / 20.0);
            if (truePeak > ceiling) {
                scale = ceiling / truePeak;
                char text[160];
                std::snprintf(text, sizeof text,
                              " Only its peaks, past full scale, were lowered to %.0f dBTP.",
                              kTruePeakCeilingDb);
                result.note += text;
            }
        } else {
            scale = std::pow(10.0, (options.lufs - measured) / 20.0);
            double reached = loudnessAt(scale);
            for (int pass = 0;
                 pass < 4 && std::isfinite(reached) && std::abs(options.lufs - reached) >= 0.02;
                 ++pass) {
                scale *= std::pow(10.0, (options.lufs - reached) / 20.0);
                reached = loudnessAt(scale);
            }
            if (cancelled()) return failed(kStopped);
            result.lufs = std::isfinite(reached) ? reached : options.lufs;
            // A tenth of a dB below the ceiling: other meters' true-peak estimates and the
            // rounding to whole steps differ from this one's by less than that.
            const double ceiling = std::pow(10.0, (kTruePeakCeilingDb - 0.1) / 20.0);
            if (truePeak * scale > ceiling) {
                const double lowered = ceiling / truePeak / scale;
                scale *= lowered;
                reached = loudnessAt(scale);
                if (cancelled()) return failed(kStopped);
                result.lufs =
                    std::isfinite(reached) ? reached : result.lufs + 20.0 * std::log10(lowered);
                char text[200];
                std::snprintf(text, sizeof text,
                              "The gain was lowered to keep the true peak at %.0f dBTP: the "
                              "loudness is %.1f LUFS instead of %.1f.",
                              kTruePeakCeilingDb, result.lufs, options.lufs);
                result.note = text;
            }
            if (sf_seek(src.f, 0, SEEK_SET) != 0)
                return failed("\"" + source + "\" could not be read again.");
        }
    }
    result.gainDb = 20.0 * std::log10(scale);
    // Asked for, so done, but said: what is near silence (a hiss, a recorder's dither) comes out
    // as loud as music.
    if (result.gainDb >= kNearSilenceGainDb) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "The gain is %+.1f dB: the source is near silence, and its noise is raised "
                      "with it.",
                      result.gainDb);
        result.note = result.note.empty() ? text : result.note + "\n" + text;
    }
    result.faultySamples = faulty;
    if (faulty > 0) {
        const std::string said =
            std::to_string(faulty) + (faulty == 1 ? " sample is" : " samples are") +
            " not a number (infinite or NaN) in \"" + source + "\": written as silence.";
        result.note = result.note.empty() ? said : said + "\n" + result.note;
    }
    if (const int64_t missing = src.file.missingFrames(); missing > 0) {
        const std::string said =
            files::cutShortMessage(source, double(missing) / src.info.samplerate) + ".";
        result.note = result.note.empty() ? said : said + "\n" + result.note;
    }

    // Pass 2: scale into the temporary.
    auto header = files::WaveHeader::forFormat(channels, src.info.samplerate, false);
    if (options.bits == 24) {
        header.format.bitsPerSample = 24;
        header.format.blockAlign = int16_t(3 * channels);
        header.format.bytesPerSecond = 3 * channels * src.info.samplerate;
    }
    files::WaveWriter writer;
    auto discard = [&](const std::string& reason) {
        writer.finish();
        return failed(reason);  // the temporary goes with `temporary`
    };
    // The writer's messages name the temporary; the user knows the destination.
    auto writeFailed = [&] {
        return discard(files::namingDestination(writer.error(), temp, destination));
    };
    if (!writer.create(temp, header)) return writeFailed();
    // Triangular dither of one step either side, from a fixed seed so that the same source gives
    // the same file every time.
    const bool dither = options.bits == 16 && src.finerThan16Bits();
    std::minstd_rand rng(20240613u);
    std::uniform_real_distribution<double> uniform(-0.5, 0.5);
    std::vector<uint8_t> out(size_t(kBlock * channels * 3));
    done = 0;
    for (;;) {
        const sf_count_t n = sf_readf_double(src.f, buf.data(), kBlock);
        if (n <= 0) break;
        size_t bytes = 0;
        for (int64_t i = 0; i < n * channels; ++i) {
            const double in = buf[size_t(i)];
            double x = 0.0;  // a fault in the file: silence, undithered
            if (std::isfinite(in)) {
                x = in * steps * scale;
                // Digital silence stays silent: dither only what holds sound.
                const double noise = dither ? uniform(rng) + uniform(rng) : 0.0;
                if (in != 0.0) x += noise;
            }
            const long v = long(std::clamp(double(std::lround(x)), -steps, maxStep));
            out[bytes++] = uint8_t(v);
            out[bytes++] = uint8_t(v >> 8);
            if (options.bits == 24) out[bytes++] = uint8_t(v >> 16);
        }
        if (!writer.append(out.data(), bytes)) return writeFailed();
        done += n;
        if (report) report(std::min(99.0, 50.0 + 49.0 * double(done) / double(total)));
        if (cancelled()) return discard(kStopped);
    }
    if (sf_error(src.f) != SF_ERR_NO_ERROR)
        return discard("\"" + source + "\" could not be read to the end.");
    if (!writer.finish()) return writeFailed();
    // The source's title, artist and album go with the result, as with a render.
    if (!encode::tagWav(temp, encode::readTags(source)))
        return discard("Cannot write the tags of \"" + destination + "\".");
    const files::CopyResult placed = files::replaceFile(temporary.release(), destination);
    if (!placed.ok) return failed(placed.message);
    return result;
}

NormaliseResult NormaliserComponent::run(const std::string& source, const std::string& destination,
                                         const NormaliseOptions& options) {
    NormaliseResult result;
    std::atomic<bool> finished{false};
    stop_ = false;
    QEventLoop loop;
    int lastWhole = -1;
    std::thread worker([&] {
        result = normalise(
            source, destination, options,
            [&](double v) {
                // One report per whole percent is plenty for a progress bar.
                const int whole = int(v);
                if (whole == lastWhole) return;
                lastWhole = whole;
                QMetaObject::invokeMethod(
                    this, [this, v] { emit progress(v); }, Qt::QueuedConnection);
            },
            &stop_);
        finished = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    // Reports queued before the quit are delivered before the loop ends.
    while (!finished) loop.exec();
    worker.join();
    lastNote_ = result.note;
    if (result.error.empty()) emit progress(100.0);
    return result;
}

std::string NormaliserComponent::Normalize(const std::string& source,
                                           const std::string& destination,
                                           const std::string& percent, int bits) {
    const double p = parsePercent(percent);
    if (p < 0) return "The percentage must be a number from 1 to 100 (\"" + percent + "\").";
    NormaliseOptions options;
    options.percent = p;
    options.bits = bits;
    return run(source, destination, options).error;
}
