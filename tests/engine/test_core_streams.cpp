// File streams: lengths, positions and seeks in bytes, decoding, bad files, the DSP chain.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <sndfile.h>

#include "engine/bass.h"
#include "engine/decode/conformer.h"
#include "engine/engine_ext.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/channel_reader.h"

namespace {

using fixtures::Pcm;

Pcm readAll(DWORD handle, DWORD block = 20000) {
    return fixtures::readChannel(handle, block);
}

// A ramp that makes every frame's position readable from its value.
Pcm ramp(int64_t frames, int channels = 2, int rate = 44100) {
    Pcm p;
    p.rate = rate;
    p.channels = channels;
    for (int64_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) p.samples.push_back(int16_t((i * 7 + c * 1000) % 30000));
    return p;
}

class Streams : public ::testing::Test {
  protected:
    void TearDown() override { BASS_Free(); }
    fixtures::TempDir dir;
};

TEST_F(Streams, WavLengthPositionSeekAndDataAreExactInBytes) {
    const Pcm src = ramp(44100 + 123);
    const std::string path = dir.file("ramp.wav");
    fixtures::writeWav(path, src);
    // Decoding needs no output.
    const HSTREAM h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_ChannelGetLength(h), QWORD((44100 + 123) * 4));
    EXPECT_FLOAT_EQ(BASS_ChannelBytes2Seconds(h, 176400), 1.0f);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 0.5f), QWORD(88200));
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    EXPECT_EQ(info.flags & BASS_SAMPLE_8BITS, 0u);
    DWORD freq = 0, vol = 0;
    int pan = 1;
    ASSERT_TRUE(BASS_ChannelGetAttributes(h, &freq, &vol, &pan));
    EXPECT_EQ(freq, 44100u);
    EXPECT_EQ(vol, 100u);
    EXPECT_EQ(pan, 0);

    int16_t buf[1000];
    EXPECT_EQ(BASS_ChannelGetData(h, buf, 2000), 2000);
    EXPECT_EQ(BASS_ChannelGetPosition(h), QWORD(2000));
    EXPECT_EQ(0, std::memcmp(buf, src.samples.data(), 2000));

    ASSERT_TRUE(BASS_ChannelSetPosition(h, 40000));
    EXPECT_EQ(BASS_ChannelGetPosition(h), QWORD(40000));
    EXPECT_EQ(BASS_ChannelGetData(h, buf, 2000), 2000);
    EXPECT_EQ(0, std::memcmp(buf, src.samples.data() + 20000, 2000));
    EXPECT_FALSE(BASS_ChannelSetPosition(h, BASS_ChannelGetLength(h) + 4));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);

    // The whole file, then the end.
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 0));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    const Pcm all = readAll(h, 20000 - 4 * 7 + 2);  // not a whole number of frames
    EXPECT_EQ(all.samples, src.samples);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_LT(BASS_ChannelGetData(h, buf, 2000), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    EXPECT_TRUE(BASS_StreamFree(h));
    EXPECT_EQ(BASS_ChannelGetLength(h), QWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(Streams, OtherWavFormatsDeliverSixteenBitAtTheFilesRateAndChannels) {
    struct Case {
        int subtype, rate, channels;
    } cases[] = {{0x0005 /*PCM_U8*/, 22050, 1},
                 {0x0005 /*PCM_U8*/, 8000, 2},
                 {0x0003 /*PCM_24*/, 48000, 2},
                 {0x0006 /*FLOAT*/, 44100, 1}};
    for (const Case& c : cases) {
        const Pcm src = fixtures::sine(440, 0.5, c.rate, c.channels, 0.5);
        const std::string path = dir.file("fmt" + std::to_string(c.rate) + ".wav");
        fixtures::writeWav(path, src, 0x010000 | c.subtype);
        const HSTREAM h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        ASSERT_NE(h, 0u) << c.subtype;
        BASS_CHANNELINFO info{};
        BASS_ChannelGetInfo(h, &info);
        EXPECT_EQ(int(info.freq), c.rate);
        EXPECT_EQ(int(info.chans), c.channels);
        EXPECT_EQ(info.flags & BASS_SAMPLE_8BITS, 0u) << "data is always 16-bit";
        const Pcm got = readAll(h);
        ASSERT_EQ(got.samples.size(), src.samples.size());
        EXPECT_NEAR(fixtures::toneLevelDb(got, 0, 440), fixtures::toneLevelDb(src, 0, 440), 0.3)
            << c.subtype;
    }
}

TEST_F(Streams, Mp3LengthIsExactToTheSampleWithAndWithoutTag) {
    // Each file is opened twice (the second open takes the first one's scan), then written again
    // shorter: the scan kept for the old file must not serve the new one.
    const Pcm longer = fixtures::sine(1000, 3.0, 44100, 2, 0.5);
    const Pcm shorter = fixtures::sine(1000, 2.0, 44100, 2, 0.5);
    for (bool tag : {true, false}) {
        for (int vbr : {-1, 4}) {
            const std::string path =
                dir.file(std::string("t") + (tag ? "1" : "0") + std::to_string(vbr) + ".mp3");
            for (const Pcm* src : {&longer, &longer, &shorter}) {
                if (src != &longer || !std::filesystem::exists(path))
                    fixtures::writeMp3(path, *src, 128, vbr, tag);
                const HSTREAM h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
                ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
                const QWORD len = BASS_ChannelGetLength(h);
                if (tag) {
                    EXPECT_EQ(len, QWORD(src->samples.size() * 2)) << "vbr " << vbr;
                }
                const Pcm got = readAll(h, 4410 * 4 + 2);
                EXPECT_EQ(QWORD(got.samples.size() * 2), len) << "tag " << tag << " vbr " << vbr;
                // A seek lands on the sample: read 1000 frames from 1 s, against a full decode.
                ASSERT_TRUE(BASS_ChannelSetPosition(h, 176400));
                std::vector<int16_t> part(2000);
                ASSERT_EQ(BASS_ChannelGetData(h, part.data(), 4000), 4000);
                EXPECT_TRUE(std::equal(part.begin(), part.end(), got.samples.begin() + 88200))
                    << "tag " << tag << " vbr " << vbr;
                BASS_StreamFree(h);
            }
        }
    }
}

// A seek lands on the sample in every compressed format, up to the last page or frame (where an
// Ogg Vorbis stream's end is trimmed).
TEST_F(Streams, SeeksInCompressedFilesLandOnTheSampleToTheEnd) {
    const Pcm src = fixtures::sine(440, 2.0, 48000, 2, 0.5);  // a rate Opus takes
    for (const int format : {SF_FORMAT_OGG | SF_FORMAT_VORBIS, SF_FORMAT_OGG | SF_FORMAT_OPUS,
                             SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0}) {
        const std::string path = dir.file("seek" + std::to_string(format));
        if (format)
            fixtures::writeSound(path, src, format);
        else
            fixtures::writeMp3(path, src, 128, -1, true);
        const HSTREAM h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
        const Pcm got = readAll(h);
        const int64_t frames = got.frames(), rate = 48000;
        for (const int64_t at : {rate / 2, frames - rate * 3 / 10, frames - rate / 20}) {
            ASSERT_TRUE(BASS_ChannelSetPosition(h, QWORD(at) * 4)) << format;
            std::vector<int16_t> part(400);
            ASSERT_EQ(BASS_ChannelGetData(h, part.data(), 800), 800u);
            EXPECT_TRUE(std::equal(part.begin(), part.end(), got.samples.begin() + at * 2))
                << "format " << std::hex << format << std::dec << " at " << at;
        }
        BASS_StreamFree(h);
    }
}

// Two files joined end to end, the second often in another format: MP3s, or the chained streams of
// an Ogg file (which a recorded radio stream is). The whole plays in the first one's format, at the
// right pitch and for the right time.
struct JoinedFormats {
    int rate1, chans1, rate2, chans2;
    bool lameTags = false;  // each part with its LAME/Xing header (its gapless delay and padding)
    int sndfileFormat = 0;  // Ogg Vorbis or Opus written by libsndfile; 0 for MP3
    int junk = 0;           // bytes of damage between the parts (a broken download, a bad join)
    int secondFormat = 0;   // the second part's, when it differs (Vorbis then Opus, or back)
    bool twice = false;     // the first file twice: an Ogg stream's serial comes again
};
class JoinedFiles : public Streams, public ::testing::WithParamInterface<JoinedFormats> {};

TEST_P(JoinedFiles, PlayInTheFirstPartsFormatAtTheRightPitchAndLength) {
    const JoinedFormats f = GetParam();
    const std::string a = dir.file("a"), b = dir.file("b"), joined = dir.file("ab");
    for (const auto& [path, rate, chans] :
         {std::tuple{a, f.rate1, f.chans1}, {b, f.rate2, f.chans2}}) {
        const Pcm part = fixtures::sine(440, 1.0, rate, chans, 0.5);
        if (f.sndfileFormat)
            fixtures::writeSound(path, part,
                                 path == b && f.secondFormat ? f.secondFormat : f.sndfileFormat);
        else
            fixtures::writeMp3(path, part, 128, -1, f.lameTags);
    }
    auto bytes = fixtures::readBytes(a);
    const auto tail = fixtures::readBytes(f.twice ? a : b);
    for (int i = 0; i < f.junk; ++i) bytes.push_back(uint8_t(i * 37 + 11));
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    fixtures::writeBytes(joined, bytes);

    const HSTREAM h = BASS_StreamCreateFile(0, joined.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
    EXPECT_EQ(int(info.freq), f.rate1);
    EXPECT_EQ(int(info.chans), f.chans1);
    const QWORD len = BASS_ChannelGetLength(h);
    const Pcm got = readAll(h);
    EXPECT_EQ(QWORD(got.samples.size() * 2), len);
    EXPECT_EQ(engine::undecodedFrames(h), 0);  // nothing taken for damage
    // Each part carries its encoder's delay and padding (a few thousand frames: 0.12 s in all with
    // a 22.05 kHz part).
    EXPECT_NEAR(double(got.frames()) / f.rate1, 2.0, 0.15);
    Pcm second = got;
    second.rate = f.rate1;
    second.samples.assign(got.samples.begin() + int64_t(1.3 * f.rate1) * f.chans1,
                          got.samples.begin() + int64_t(1.8 * f.rate1) * f.chans1);
    EXPECT_NEAR(fixtures::dominantFrequency(second, 0), 440.0, 4.0);
    EXPECT_GT(fixtures::rmsDb(second, 0), -12.0);
    // The first part starts as it does alone.
    const HSTREAM alone = BASS_StreamCreateFile(0, a.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(alone, 0u);
    const Pcm first = readAll(alone);
    const auto start = std::min<size_t>(first.samples.size(), size_t(f.rate1 / 2) * f.chans1);
    EXPECT_TRUE(
        std::equal(first.samples.begin(), first.samples.begin() + start, got.samples.begin()));
    // A seek lands where a full decode has the same frames. (Where a stream is read alone, its
    // Opus decoder starts a seek past its first 80 ms afresh a little before: close, not equal.)
    const double seekAt =
        f.twice && f.sndfileFormat == (SF_FORMAT_OGG | SF_FORMAT_OPUS) ? 1.05 : 1.5;
    ASSERT_TRUE(BASS_ChannelSetPosition(h, QWORD(seekAt * f.rate1) * 2 * f.chans1));
    std::vector<int16_t> part(size_t(100 * f.chans1));
    ASSERT_EQ(BASS_ChannelGetData(h, part.data(), DWORD(part.size() * 2)), DWORD(part.size() * 2));
    EXPECT_TRUE(std::equal(part.begin(), part.end(),
                           got.samples.begin() + int64_t(seekAt * f.rate1) * f.chans1));
}

// A part of a joined stream with other channels than the stream's sounds from the same speakers
// (each count in its usual places): a 5.1 part in a quad stream keeps its back pair and puts its
// centre in the front pair at -3 dB, its LFE left out; a quad part in a 5.1 stream keeps its back
// pair in the back; mono sounds from the centre.
TEST(JoinedParts, WithOtherChannelsSoundFromTheirSpeakers) {
    const float h = std::sqrt(0.5f);
    const struct {
        int in, out;
        std::vector<float> want;
    } cases[] = {{6, 4, {0.1f + 0.3f * h, 0.2f + 0.3f * h, 0.5f, 0.6f}},
                 {4, 6, {0.1f, 0.2f, 0, 0, 0.3f, 0.4f}},
                 {1, 6, {0, 0, 0.1f, 0, 0, 0}}};
    for (const auto& c : cases) {
        engine::FormatConformer conformer(48000, c.out);
        std::vector<float> part(size_t(c.in));
        for (int i = 0; i < c.in; ++i) part[size_t(i)] = 0.1f * float(i + 1);
        ASSERT_TRUE(conformer.push(part.data(), 1, 48000, c.in));
        std::vector<int16_t> got(size_t(c.out));
        ASSERT_EQ(conformer.take(got.data(), 1), 1u);
        for (int o = 0; o < c.out; ++o)
            EXPECT_NEAR(got[size_t(o)] / 32768.0, c.want[size_t(o)], 1e-4)
                << c.in << " into " << c.out << ", channel " << o;
    }
}

// Three hundred short files of one writer joined (every stream with the same serial) play whole
// with few file handles to spare (the streams' decoders are opened one at a time), and play on
// when the file is deleted under them.
TEST_F(Streams, ManyJoinedStreamsOfOneSerialPlayWhole) {
    const std::string one = dir.file("one"), many = dir.file("many");
    fixtures::writeSound(one, fixtures::sine(440, 0.05, 44100, 1, 0.5),
                         SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    const auto bytes = fixtures::readBytes(one);
    std::vector<uint8_t> joined;
    for (int i = 0; i < 300; ++i) joined.insert(joined.end(), bytes.begin(), bytes.end());
    fixtures::writeBytes(many, joined);
    const int64_t frames =
        readAll(BASS_StreamCreateFile(0, one.c_str(), 0, 0, BASS_STREAM_DECODE)).frames();
    rlimit was{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &was), 0);
    rlimit few = was;
    few.rlim_cur = 128;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
    const HSTREAM h = BASS_StreamCreateFile(0, many.c_str(), 0, 0, BASS_STREAM_DECODE);
    std::filesystem::remove(many);  // deleted while it plays: what was opened plays on
    const Pcm got = h ? readAll(h) : Pcm{};
    setrlimit(RLIMIT_NOFILE, &was);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(got.frames(), 300 * frames);
}

// An open given up half-way (a worker's job dropped) while it reads a long MP3 through keeps
// nothing of that reading: the next open of the file finds its change of format, as an open of a
// copy never given up does.
TEST_F(Streams, AnOpenGivenUpKeepsNothingForTheNext) {
    const std::string a = dir.file("long.mp3"), b = dir.file("b.mp3");
    fixtures::writeMp3(a, fixtures::sine(440, 30.0, 44100, 2, 0.3), 32);
    fixtures::writeMp3(b, fixtures::sine(440, 1.0, 22050, 1, 0.3), 32);
    auto bytes = fixtures::readBytes(a);
    const auto tail = fixtures::readBytes(b);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    fixtures::writeBytes(dir.file("joined.mp3"), bytes);
    fixtures::writeBytes(dir.file("copy.mp3"), bytes);
    const std::atomic<bool> cancel{true};
    {
        const engine::OpenCancelScope stopping(&cancel);
        engine::openFileSource(dir.file("joined.mp3"));
    }
    const auto read = [](const std::string& path) {
        const HSTREAM h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        EXPECT_NE(h, 0u) << path;
        return readAll(h);
    };
    EXPECT_EQ(read(dir.file("joined.mp3")).samples, read(dir.file("copy.mp3")).samples);
}

constexpr int kVorbis = SF_FORMAT_OGG | SF_FORMAT_VORBIS, kOpus = SF_FORMAT_OGG | SF_FORMAT_OPUS;
// The test lists show the formats (the struct's padding would make its bytes differ run to run).
void PrintTo(const JoinedFormats& f, std::ostream* os) {
    *os << (f.sndfileFormat == kVorbis ? "vorbis "
            : f.sndfileFormat == kOpus ? "opus "
                                       : "mp3 ")
        << f.rate1 << "/" << f.chans1 << " + " << f.rate2 << "/" << f.chans2
        << (f.lameTags ? " with LAME headers" : "") << (f.junk ? " with junk between" : "")
        << (f.secondFormat == kVorbis ? " then vorbis"
            : f.secondFormat == kOpus ? " then opus"
                                      : "")
        << (f.twice ? " twice" : "");
}
INSTANTIATE_TEST_SUITE_P(
    RatesAndChannels, JoinedFiles,
    ::testing::Values(JoinedFormats{44100, 1, 44100, 2}, JoinedFormats{44100, 2, 44100, 1},
                      JoinedFormats{44100, 2, 48000, 2}, JoinedFormats{48000, 1, 32000, 2},
                      // MPEG-1 (1152 samples a frame), then MPEG-2 (576).
                      JoinedFormats{44100, 2, 22050, 1, true},
                      JoinedFormats{44100, 2, 44100, 2, true},
                      JoinedFormats{44100, 2, 44100, 2, false, kVorbis},
                      JoinedFormats{44100, 2, 22050, 1, false, kVorbis},
                      JoinedFormats{44100, 2, 44100, 6, false, kVorbis},
                      JoinedFormats{44100, 2, 22050, 1, false, kVorbis, 3000},
                      JoinedFormats{48000, 2, 48000, 1, false, kOpus},
                      JoinedFormats{44100, 2, 48000, 1, false, kVorbis, 0, kOpus},
                      JoinedFormats{48000, 1, 48000, 2, false, kOpus, 0, kVorbis},
                      JoinedFormats{44100, 2, 44100, 2, false, kVorbis, 0, 0, true},
                      JoinedFormats{48000, 1, 48000, 1, false, kOpus, 0, 0, true}));

TEST_F(Streams, PathsWithSpacesAndNonAsciiLettersOpen) {
    const std::string path = dir.file("Ünïcödé naïve – ß.wav");
    fixtures::writeWav(path, fixtures::sine(440, 0.2));
    EXPECT_NE(BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    int err = -5;
    EXPECT_NE(engine::openFileSource(path, &err), nullptr);
    EXPECT_EQ(err, BASS_OK);
}

TEST_F(Streams, BadFilesGiveZeroAndAnErrorCode) {
    const Pcm tone = fixtures::sine(440, 1.0);
    fixtures::writeWav(dir.file("good.wav"), tone);
    fixtures::writeMp3(dir.file("good.mp3"), tone);
    const auto wav = fixtures::readBytes(dir.file("good.wav"));
    const auto mp3 = fixtures::readBytes(dir.file("good.mp3"));
    fixtures::writeBytes(dir.file("empty.wav"), {});
    fixtures::writeBytes(dir.file("empty.mp3"), {});
    fixtures::writeBytes(dir.file("header-only.wav"),
                         std::vector<uint8_t>(wav.begin(), wav.begin() + 30));
    std::vector<uint8_t> text(5000);
    for (size_t i = 0; i < text.size(); ++i) text[i] = uint8_t("not audio at all "[i % 17]);
    fixtures::writeBytes(dir.file("text.mp3"), text);
    fixtures::writeBytes(dir.file("text.wav"), text);
    std::vector<uint8_t> junk(20000);
    uint32_t x = 12345;
    for (auto& b : junk) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    fixtures::writeBytes(dir.file("junk.mp3"), junk);
    // Raw near-silence (16-bit samples of -1, 0 and 1): its bytes FF FF 01 00 are no MPEG frames.
    std::vector<uint8_t> quiet;
    for (int i = 0; i < 200000; ++i) {
        const int16_t v = int16_t((x = x * 1103515245u + 12345u) >> 30) - 1;
        quiet.push_back(uint8_t(v));
        quiet.push_back(uint8_t(uint16_t(v) >> 8));
    }
    fixtures::writeBytes(dir.file("quiet.raw"), quiet);

    struct Case {
        const char* name;
        int error;
    } cases[] = {{"missing.wav", BASS_ERROR_FILEOPEN}, {"empty.wav", BASS_ERROR_FORMAT},
                 {"empty.mp3", BASS_ERROR_FORMAT},     {"header-only.wav", BASS_ERROR_FORMAT},
                 {"text.mp3", BASS_ERROR_FORMAT},      {"text.wav", BASS_ERROR_FORMAT},
                 {"junk.mp3", BASS_ERROR_FORMAT},      {"quiet.raw", BASS_ERROR_FORMAT}};
    for (const Case& c : cases) {
        EXPECT_EQ(BASS_StreamCreateFile(0, dir.file(c.name).c_str(), 0, 0, BASS_STREAM_DECODE), 0u)
            << c.name;
        EXPECT_EQ(BASS_ErrorGetCode(), c.error) << c.name;
    }
    EXPECT_EQ(BASS_MusicLoad(0, dir.file("good.wav").c_str(), 0, 0, 0x220000, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);

    // Truncated files open and deliver what they hold, and the length matches what is read.
    fixtures::writeBytes(dir.file("cut.wav"),
                         std::vector<uint8_t>(wav.begin(), wav.begin() + wav.size() / 2 + 1));
    fixtures::writeBytes(dir.file("cut.mp3"),
                         std::vector<uint8_t>(mp3.begin(), mp3.begin() + mp3.size() / 2 + 7));
    fixtures::writeSound(dir.file("good.flac"), tone, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const auto flac = fixtures::readBytes(dir.file("good.flac"));
    fixtures::writeBytes(dir.file("cut.flac"),
                         std::vector<uint8_t>(flac.begin(), flac.begin() + flac.size() * 6 / 10));
    for (const char* name : {"cut.wav", "cut.mp3", "cut.flac"}) {
        const HSTREAM h =
            BASS_StreamCreateFile(0, dir.file(name).c_str(), 0, 0, BASS_STREAM_DECODE);
        if (!h) {
            EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT) << name;
            continue;
        }
        const QWORD len = BASS_ChannelGetLength(h);
        // A seek past where the audio ends may be refused, but the stream reads on from where it
        // was (a failed FLAC seek left its decoder reading nothing more).
        BASS_ChannelSetPosition(h, len - 4);
        ASSERT_TRUE(BASS_ChannelSetPosition(h, 0)) << name;
        const Pcm got = readAll(h);
        EXPECT_GT(got.samples.size(), 0u) << name;
        EXPECT_LE(QWORD(got.samples.size() * 2), len) << name;
        EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED) << name;
    }

    // Junk before the first frame, as far in as the decoder looks for it: the MP3 behind it.
    std::vector<uint8_t> late(junk.begin(), junk.begin() + 10000);
    late.insert(late.end(), mp3.begin(), mp3.end());
    fixtures::writeBytes(dir.file("late.mp3"), late);
    const HSTREAM h =
        BASS_StreamCreateFile(0, dir.file("late.mp3").c_str(), 0, 0, BASS_STREAM_DECODE);
    EXPECT_EQ(BASS_ChannelGetLength(h), QWORD(tone.samples.size() * 2));
}

// DSP procedures record the order they run in and mark the audio.
struct Trace {
    std::vector<int> order;
};
template <int Id>
void tracer(HDSP, DWORD, void* buffer, DWORD length, void* user) {
    static_cast<Trace*>(user)->order.push_back(Id);
    auto* s = static_cast<int16_t*>(buffer);
    for (DWORD i = 0; i < length / 2; ++i) s[i] = int16_t(s[i] * 10 + Id);
}

TEST_F(Streams, DspProceduresRunByPriorityThenInTheOrderSet) {
    const std::string path = dir.file("zero.wav");
    Pcm silence;
    silence.samples.assign(2000, 0);
    fixtures::writeWav(path, silence);
    const HSTREAM h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    Trace t;
    BASS_ChannelSetDSP(h, tracer<1>, &t, 0);
    const HDSP two = BASS_ChannelSetDSP(h, tracer<2>, &t, 5);
    BASS_ChannelSetDSP(h, tracer<3>, &t, 0);
    BASS_ChannelSetDSP(h, tracer<4>, &t, -2);
    int16_t buf[40];
    ASSERT_EQ(BASS_ChannelGetData(h, buf, sizeof buf), int(sizeof buf));
    EXPECT_EQ(t.order, (std::vector<int>{2, 1, 3, 4}));
    EXPECT_EQ(buf[0], ((2 * 10 + 1) * 10 + 3) * 10 + 4) << "each sees the previous one's output";
    t.order.clear();
    EXPECT_TRUE(BASS_ChannelRemoveDSP(h, two));
    EXPECT_FALSE(BASS_ChannelRemoveDSP(h, two));
    BASS_ChannelGetData(h, buf, sizeof buf);
    EXPECT_EQ(t.order, (std::vector<int>{1, 3, 4}));
}

TEST_F(Streams, FileSourceAndDecodeChannelsNeedNoOutputAndSourcesSurviveFree) {
    const std::string path = dir.file("tone.mp3");
    fixtures::writeMp3(path, fixtures::sine(440, 1.0));
    int err = 0;
    auto src = engine::openFileSource(path, &err);
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(src->lengthFrames(), 44100);
    const HSTREAM h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u);
    std::vector<DWORD> freed;
    static std::vector<DWORD>* sink = nullptr;
    sink = &freed;
    engine::addChannelFreeListener([](DWORD handle) {
        if (sink) sink->push_back(handle);
    });
    BASS_Free();
    sink = nullptr;
    EXPECT_EQ(freed, std::vector<DWORD>{h});
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    std::vector<int16_t> buf(44100 * 2);
    EXPECT_EQ(src->read(buf.data(), 44100), 44100);
    EXPECT_EQ(src->read(buf.data(), 10), 0);
    // A playable stream needs the output.
    EXPECT_EQ(BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

}  // namespace
