#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include <ebur128.h>
#include <sndfile.h>

#include "components/normaliser_component.h"
#include "tests/support/audio_fixtures.h"

using fixtures::Pcm;

namespace {

int peakOf(const Pcm& p) {
    int peak = 0;
    for (int16_t s : p.samples) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

struct NormaliseRun {
    std::string error;
    std::vector<double> reports;
    bool allOnOwnerThread = true;
};

NormaliseRun normalize(const std::string& src, const std::string& dst, const std::string& percent) {
    NormaliserComponent c;
    NormaliseRun r;
    QObject::connect(&c, &NormaliserComponent::progress, [&](double p) {
        r.reports.push_back(p);
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            r.allOnOwnerThread = false;
    });
    r.error = c.Normalize(src, dst, percent);
    return r;
}

}  // namespace

TEST(Normaliser, PeakReachesThePercentageAndFormatIsKept) {
    fixtures::TempDir dir;
    struct Case {
        Pcm pcm;
        const char* percent;
        double expected;
    };
    const Case cases[] = {
        {fixtures::sine(440, 1.5, 44100, 2, 0.25), "90", 0.90 * 32767},
        {fixtures::sine(1000, 0.7, 48000, 1, 0.8), "50", 0.50 * 32767},  // attenuates too
        {fixtures::noise(0.5, 22050, 2, 0.1), "100", 32767},
        {fixtures::sine(300, 0.3, 44100, 2, 0.3), " 75.5 % ", 0.755 * 32767},
        {fixtures::sine(300, 0.3, 44100, 2, 0.3), "62,5", 0.625 * 32767},  // a decimal comma
    };
    for (const auto& c : cases) {
        const std::string src = dir.file("src.wav"), dst = dir.file("dst.wav");
        fixtures::writeWav(src, c.pcm);
        const NormaliseRun r = normalize(src, dst, c.percent);
        ASSERT_EQ(r.error, "") << c.percent;
        const Pcm out = fixtures::readAudio(dst);
        EXPECT_EQ(out.rate, c.pcm.rate);
        EXPECT_EQ(out.channels, c.pcm.channels);
        EXPECT_EQ(out.frames(), c.pcm.frames());
        EXPECT_NEAR(peakOf(out), c.expected, 1.0) << c.percent;
        EXPECT_EQ(std::filesystem::file_size(dst), 44 + c.pcm.samples.size() * 2);
        // The shape is kept: a scaled copy, not a clipped one.
        const double scale = double(peakOf(out)) / peakOf(c.pcm);
        for (size_t i = 0; i < c.pcm.samples.size(); i += 997)
            EXPECT_NEAR(out.samples[i], c.pcm.samples[i] * scale, 1.0);
    }
}

TEST(Normaliser, TheSourcesTagsGoWithTheResult) {
    fixtures::TempDir dir;
    SF_INFO info{0, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* f = sf_open(dir.file("src.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_set_string(f, SF_STR_TITLE, "A Title");
    sf_set_string(f, SF_STR_ARTIST, "An Artist");
    const Pcm tone = fixtures::sine(440, 1.0, 44100, 2, 0.25);
    sf_write_short(f, tone.samples.data(), sf_count_t(tone.samples.size()));
    sf_close(f);
    ASSERT_EQ(normalize(dir.file("src.wav"), dir.file("dst.wav"), "80").error, "");
    const auto probe = fixtures::capture(
        "ffprobe",
        "-v error -show_entries format_tags=title,artist -of csv=p=0 " + dir.file("dst.wav"));
    ASSERT_TRUE(probe.has_value());
    EXPECT_NE(probe->find("A Title"), std::string::npos) << *probe;
    EXPECT_NE(probe->find("An Artist"), std::string::npos) << *probe;
}

TEST(Normaliser, ProgressRunsToExactlyHundredOnTheOwnerThreadWhileEventsFlow) {
    fixtures::TempDir dir;
    const std::string src = dir.file("src.wav");
    fixtures::writeWav(src, fixtures::sine(220, 20.0, 44100, 2, 0.2));
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);
    const NormaliseRun r = normalize(src, dir.file("out.wav"), "80");
    timer.stop();
    ASSERT_EQ(r.error, "");
    ASSERT_FALSE(r.reports.empty());
    EXPECT_TRUE(r.allOnOwnerThread);
    EXPECT_TRUE(std::is_sorted(r.reports.begin(), r.reports.end()));
    EXPECT_EQ(r.reports.back(), 100.0);
    EXPECT_EQ(std::count(r.reports.begin(), r.reports.end(), 100.0), 1);
    EXPECT_GT(ticks, 0) << "the caller's event loop must keep running";
}

TEST(Normaliser, SilenceStaysSilentAndSourceCanBeItsOwnDestination) {
    fixtures::TempDir dir;
    const std::string silent = dir.file("silent.wav");
    fixtures::writeWav(silent, fixtures::sine(440, 0.5, 44100, 2, 0.0));
    ASSERT_EQ(normalize(silent, dir.file("out.wav"), "90").error, "");
    EXPECT_EQ(peakOf(fixtures::readAudio(dir.file("out.wav"))), 0);

    const std::string same = dir.file("same.wav");
    const Pcm quiet = fixtures::sine(440, 2.0, 44100, 2, 0.1);
    fixtures::writeWav(same, quiet);
    ASSERT_EQ(normalize(same, same, "100").error, "");
    const Pcm out = fixtures::readAudio(same);
    EXPECT_EQ(out.frames(), quiet.frames());
    EXPECT_NEAR(peakOf(out), 32767, 1);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST(Normaliser, RefusesBadInputAndWritesNothing) {
    fixtures::TempDir dir;
    const std::string good = dir.file("good.wav");
    fixtures::writeWav(good, fixtures::sine(440, 0.5));
    const std::string empty = dir.file("empty.wav");
    fixtures::writeBytes(empty, {});
    const std::string text = dir.file("text.wav");
    fixtures::writeBytes(text, {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'});
    const std::string truncated = dir.file("truncated.wav");
    auto bytes = fixtures::readBytes(good);
    bytes.resize(30);
    fixtures::writeBytes(truncated, bytes);
    const std::string mp3 = dir.file("song.wav");  // an MP3 with a .wav name
    fixtures::writeMp3(mp3, fixtures::sine(440, 0.5));

    const std::string existing = dir.file("existing.wav");
    fixtures::writeBytes(existing, {1, 2, 3});
    for (const std::string& src : {empty, text, truncated, mp3, dir.file("missing.wav")}) {
        const NormaliseRun r = normalize(src, existing, "90");
        EXPECT_NE(r.error.find(src), std::string::npos) << r.error;
        EXPECT_TRUE(r.reports.empty());
        EXPECT_EQ(fixtures::readBytes(existing), (std::vector<uint8_t>{1, 2, 3}));
    }
    for (const char* percent : {"abc", "0", "0.5", "101", "", "50x", "nan"}) {
        const NormaliseRun r = normalize(good, existing, percent);
        EXPECT_NE(r.error, "") << percent;
        EXPECT_EQ(fixtures::readBytes(existing), (std::vector<uint8_t>{1, 2, 3}));
    }
    const NormaliseRun r = normalize(good, dir.file("no/such/folder/out.wav"), "90");
    EXPECT_NE(r.error.find("no/such/folder/out.wav"), std::string::npos) << r.error;

    // A result larger than a WAV can hold (a 2 GB source at 24 bits; sparse, so nothing is read):
    // refused before the work, and said as it is.
    const std::string huge = dir.file("huge.wav");
    bytes = fixtures::readBytes(good);
    bytes.resize(44);
    const uint32_t data = 0x7FFFFFF0u;
    for (int i = 0; i < 4; ++i) {
        bytes[size_t(40 + i)] = uint8_t(data >> (8 * i));
        bytes[size_t(4 + i)] = uint8_t((data + 36) >> (8 * i));
    }
    fixtures::writeBytes(huge, bytes);
    std::filesystem::resize_file(huge, 44 + uintmax_t(data));
    NormaliseOptions deep;
    deep.percent = 90;
    deep.bits = 24;
    const std::string bigOut = dir.file("big.wav");
    const NormaliseResult big = NormaliserComponent::normalise(huge, bigOut, deep, {});
    EXPECT_NE(big.error.find("more than a WAV file can"), std::string::npos) << big.error;
    EXPECT_FALSE(std::filesystem::exists(bigOut));

    if (geteuid() != 0) {  // root writes anywhere
        const std::string ro = dir.file("ro");
        std::filesystem::create_directory(ro);
        chmod(ro.c_str(), 0555);
        EXPECT_NE(normalize(good, ro + "/out.wav", "90").error, "");
        EXPECT_TRUE(std::filesystem::is_empty(ro));
    }
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}

namespace {

// Writes `frames` frames of `channels` channels from `sample(frame, channel)` (-1..1) as a WAV
// of the given libsndfile subtype.
template <typename F>
void writeWave(const std::string& path, int subtype, int channels, int64_t frames, F sample) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | subtype;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<double> frame(static_cast<size_t>(channels), 0.0);
    for (int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) frame[size_t(c)] = sample(i, c);
        sf_writef_double(f, frame.data(), 1);
    }
    sf_close(f);
}

struct Loudness {
    double lufs = 0, truePeakDb = 0;
};

Loudness measure(const std::string& path) {
    const Pcm p = fixtures::readAudio(path);
    ebur128_state* st = ebur128_init(unsigned(p.channels), unsigned(p.rate),
                                     EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_short(st, p.samples.data(), size_t(p.frames()));
    Loudness l;
    ebur128_loudness_global(st, &l.lufs);
    double tp = 0;
    for (int c = 0; c < p.channels; ++c) {
        double v = 0;
        ebur128_true_peak(st, unsigned(c), &v);
        tp = std::max(tp, v);
    }
    l.truePeakDb = 20 * std::log10(tp);
    ebur128_destroy(&st);
    return l;
}

}  // namespace

TEST(Normaliser, LoudnessTargetIsReachedUnderTheTruePeakCeiling) {
    fixtures::TempDir dir;
    // Speech-like: syllables of a voiced tone with pauses; music: the drum track; a plain sine.
    Pcm speech = fixtures::sine(180, 6.0, 44100, 1, 0.3);
    for (int64_t i = 0; i < speech.frames(); ++i) {
        const double t = double(i) / 44100;
        const double envelope = std::max(0.0, std::sin(2 * M_PI * 2.5 * t)) * (int(t) % 3 != 2);
        speech.samples[size_t(i)] = int16_t(speech.samples[size_t(i)] * envelope);
    }
    // A quiet note dying away: blocks under the absolute gate that the gain lifts over it.
    Pcm fade = fixtures::sine(220, 6.0, 44100, 1, 0.02);
    for (int64_t i = 0; i < fade.frames(); ++i)
        fade.samples[size_t(i)] =
            int16_t(fade.samples[size_t(i)] * std::pow(1.0 - double(i) / double(fade.frames()), 3));
    const std::pair<const char*, Pcm> sources[] = {
        {"speech", speech},
        {"fade", fade},
        {"music", fixtures::drumTrack(120, 6.0, 4)},
        {"sine", fixtures::sine(997, 6.0, 44100, 2, 0.05)}};
    for (const auto& [name, pcm] : sources) {
        const std::string src = dir.file(std::string(name) + ".wav"), dst = dir.file("out.wav");
        fixtures::writeWav(src, pcm);
        for (double target : {-23.0, -16.0}) {
            NormaliseOptions o;
            o.target = NormaliseOptions::Target::Loudness;
            o.lufs = target;
            std::vector<double> reports;
            const NormaliseResult r = NormaliserComponent::normalise(
                src, dst, o, [&](double p) { reports.push_back(p); });
            ASSERT_EQ(r.error, "") << name;
            // The measuring of the scaled samples moves the bar on too: the first half reports
            // more than the blocks (16384 frames) of one reading.
            EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end())) << name;
            EXPECT_GT(
                std::count_if(reports.begin(), reports.end(), [](double p) { return p < 50; }),
                2 * (pcm.frames() / 16384))
                << name;
            const Loudness got = measure(dst);
            EXPECT_LE(got.truePeakDb, -1.0 + 0.05) << name;
            EXPECT_NEAR(got.lufs, r.lufs, 0.1) << name << " at " << target;
            if (r.note.empty())
                EXPECT_NEAR(got.lufs, target, 0.1) << name << " at " << target;
            else  // the ceiling lowered the gain: quieter than asked, never louder
                EXPECT_LT(got.lufs, target) << name << ": " << r.note;
        }
    }
    // A target the ceiling cannot allow: the gain is lowered and the note says so. Clipped noise
    // peaks between its samples by more than a 4x meter sees: read by sox at 16x.
    Pcm clipped = fixtures::noise(4.0, 44100, 2, 1.0);
    for (int16_t& v : clipped.samples) v = int16_t(std::clamp(v * 3, -32767, 32767));
    fixtures::writeWav(dir.file("clipped.wav"), clipped);
    // Clicks of one sample at 96 kHz: the peak between the samples is never under theirs.
    Pcm clicks = fixtures::sine(1000, 3.0, 96000, 1, 0.0);
    for (size_t i = 0; i < clicks.samples.size(); i += 9600) clicks.samples[i] = 16384;
    fixtures::writeWav(dir.file("clicks.wav"), clicks);
    // A float source past full scale (+6 dBFS) too short to measure: its level is left, but it
    // must not clip.
    {
        SF_INFO info{0, 44100, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
        SNDFILE* f = sf_open(dir.file("hot.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::vector<float> v(13230);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = float(2 * std::sin(2 * M_PI * 440 * i / 44100));
        sf_write_float(f, v.data(), sf_count_t(v.size()));
        sf_close(f);
    }
    for (const char* name : {"music", "clipped", "clicks", "hot"}) {
        NormaliseOptions loud;
        loud.target = NormaliseOptions::Target::Loudness;
        loud.lufs = -3;
        const NormaliseResult r = NormaliserComponent::normalise(
            dir.file(std::string(name) + ".wav"), dir.file("out.wav"), loud, {});
        ASSERT_EQ(r.error, "") << name;
        EXPECT_NE(r.note.find("-1 dBTP"), std::string::npos) << r.note;
        EXPECT_LE(measure(dir.file("out.wav")).truePeakDb, -0.95) << name;
        const auto sox = fixtures::capture("sox", dir.file("out.wav") + " -n rate -v 705600 stats");
        double peakDb = 0;
        if (sox && sox->find("Pk lev dB") != std::string::npos &&
            std::sscanf(sox->c_str() + sox->find("Pk lev dB") + 9, "%lf", &peakDb) == 1)
            EXPECT_LE(peakDb, -1.0) << name;
    }
}

namespace {

// The bytes of a 16-bit 48 kHz WAV of two seconds: a 997 Hz tone at a tenth of full scale in the
// channels whose bits are set in `sounding`, silence in the others; under an extensible header
// whose channel mask is `mask`, or a plain header when `mask` is 0.
std::vector<uint8_t> layoutWav(int channels, uint32_t mask, uint32_t sounding) {
    const uint32_t rate = 48000, frames = 2 * rate, dataBytes = frames * uint32_t(channels) * 2;
    const uint32_t fmtBytes = mask ? 40 : 16;
    std::vector<uint8_t> b;
    const auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
    };
    const auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
    tag("RIFF");
    put(4 + 8 + fmtBytes + 8 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    put(fmtBytes, 4);
    put(mask ? 0xFFFE : 1, 2);
    put(uint32_t(channels), 2);
    put(rate, 4);
    put(rate * uint32_t(channels) * 2, 4);
    put(uint32_t(channels) * 2, 2);
    put(16, 2);
    if (mask) {
        put(22, 2);  // the extension's size
        put(16, 2);  // valid bits
        put(mask, 4);
        const uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71};
        b.insert(b.end(), pcm, pcm + 16);
    }
    tag("data");
    put(dataBytes, 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v =
            uint16_t(int16_t(std::lround(3276.7 * std::sin(2 * M_PI * 997.0 * i / rate))));
        for (int c = 0; c < channels; ++c) put((sounding >> c & 1) ? v : 0, 2);
    }
    return b;
}

}  // namespace

// Each channel weighs in the loudness where its file puts it: the LFE not at all (an LFE alone
// as any sound), side and back channels as surrounds (1.41), a channel past the mask once;
// without a mask, up to six channels in WAVE's usual places for their count, more than six once
// each. The same tone in channels of
// weights summing to W takes the gain of that tone in a mono file less 10 log W.
TEST(Normaliser, LoudnessWeighsEachChannelByWhereItGoes) {
    fixtures::TempDir dir;
    NormaliseOptions o;
    o.target = NormaliseOptions::Target::Loudness;
    o.lufs = -30;
    const auto gainOf = [&](const std::vector<uint8_t>& wav) {
        fixtures::writeBytes(dir.file("src.wav"), wav);
        const NormaliseResult r =
            NormaliserComponent::normalise(dir.file("src.wav"), dir.file("out.wav"), o, {});
        EXPECT_EQ(r.error, "");
        EXPECT_EQ(r.note, "");
        return r.gainDb;
    };
    const double mono = gainOf(layoutWav(1, 0, 1));
    const struct {
        const char* name;
        int channels;
        uint32_t mask, sounding;
        double weights;
    } cases[] = {
        {"2.1", 3, 0x00B, 0b111, 2},
        {"an LFE alone", 1, 0x008, 1, 1},
        {"3.1", 4, 0x00F, 0b1111, 3},
        {"7.1", 8, 0x63F, 0xFF, 3 + 4 * 1.41},
        {"7.1, sides only", 8, 0x63F, 0b11000000, 2 * 1.41},
        {"16 channels, the 9th past a 7.1 mask", 16, 0x63F, 1u << 8, 1},
        {"5.1 without a mask", 6, 0, 0b111111, 3 + 2 * 1.41},
        {"7 channels without a mask: 6.1, as played", 7, 0, 0x7F, 3 + 3 * 1.41},
        {"8 channels without a mask: 7.1, as played", 8, 0, 0xFF, 3 + 4 * 1.41},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(gainOf(layoutWav(c.channels, c.mask, c.sounding)),
                    mono - 10 * std::log10(c.weights), 0.05)
            << c.name;
}

TEST(Normaliser, FinerSourcesAreScaledDitheredOrKeptAt24Bits) {
    fixtures::TempDir dir;
    // Half a second of a full-scale tone, then a -100 dBFS sine: to 16 bits the quiet part lies
    // below one step and only dither keeps it.
    const std::string quiet = dir.file("quiet.wav"), out = dir.file("out.wav");
    writeWave(quiet, SF_FORMAT_FLOAT, 1, 88200, [](int64_t i, int) {
        const double a = i < 22050 ? 0.999 : 1e-5;
        return a * std::sin(2 * M_PI * 441.0 * double(i) / 44100);
    });
    ASSERT_EQ(normalize(quiet, out, "100").error, "");
    const Pcm got = fixtures::readAudio(out);
    ASSERT_EQ(got.frames(), 88200);
    EXPECT_NEAR(peakOf(got), 32767, 2);  // read at full scale, not truncated to -1, 0, 1
    int nonZero = 0, largest = 0;
    for (int64_t i = 44100; i < got.frames(); ++i) {
        nonZero += got.samples[size_t(i)] != 0;
        largest = std::max(largest, std::abs(int(got.samples[size_t(i)])));
    }
    EXPECT_GT(nonZero, 44100 / 4);
    EXPECT_LT(largest, 2);
    // Its digital silence is not dithered into noise; the result says nothing was scaled.
    const std::string silent = dir.file("silent.wav");
    writeWave(silent, SF_FORMAT_FLOAT, 2, 22050, [](int64_t, int) { return 0.0; });
    NormaliseOptions same;
    same.percent = 90;
    const NormaliseResult kept = NormaliserComponent::normalise(silent, out, same, {});
    ASSERT_EQ(kept.error, "");
    EXPECT_TRUE(kept.leftAsItIs);
    EXPECT_EQ(peakOf(fixtures::readAudio(out)), 0);

    // A 24-bit source written as 24 bits keeps its fine steps.
    const std::string deep = dir.file("deep.wav");
    writeWave(deep, SF_FORMAT_PCM_24, 2, 44100,
              [](int64_t i, int c) { return (c + 1) * 0.2 * std::sin(double(i) / 9.0); });
    NormaliseOptions o;
    o.percent = 50;
    o.bits = 24;
    ASSERT_EQ(NormaliserComponent::normalise(deep, out, o, {}).error, "");
    const auto bytes = fixtures::readBytes(out);
    EXPECT_EQ(fixtures::le16(bytes, 34), 24);
    EXPECT_EQ(bytes.size(), 44u + 44100u * 6u);
    // Its peak is half the largest 24-bit step, to a step's rounding.
    int peak = 0;
    for (size_t i = 44; i + 3 <= bytes.size(); i += 3) {
        const uint32_t word =
            uint32_t(bytes[i]) << 8 | uint32_t(bytes[i + 1]) << 16 | uint32_t(bytes[i + 2]) << 24;
        peak = std::max(peak, std::abs(int32_t(word) >> 8));
    }
    EXPECT_NEAR(peak, 0.5 * 8388607, 1);
}

TEST(Normaliser, ADestinationThatCannotBeReplacedGivesTheTrueReason) {
    fixtures::TempDir dir;
    const std::string good = dir.file("good.wav");
    fixtures::writeWav(good, fixtures::sine(440, 0.5));
    // A folder where the file should go: the rename fails and says why.
    const std::string folder = dir.file("out.wav");
    std::filesystem::create_directories(folder + "/inside");
    const NormaliseRun r = normalize(good, folder, "90");
    EXPECT_NE(r.error.find(folder), std::string::npos) << r.error;
    EXPECT_EQ(r.error.find("Success"), std::string::npos) << r.error;
    EXPECT_TRUE(std::filesystem::is_directory(folder + "/inside"));

    // A write-protected file is refused and kept.
    const std::string kept = dir.file("kept.wav");
    fixtures::writeBytes(kept, {1, 2, 3});
    chmod(kept.c_str(), 0444);
    EXPECT_NE(normalize(good, kept, "90").error.find("write-protected"), std::string::npos);
    EXPECT_EQ(fixtures::readBytes(kept), (std::vector<uint8_t>{1, 2, 3}));
    // No temporary file is left beside them.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}
