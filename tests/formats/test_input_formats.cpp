// Every input format the program reads, through every path a user takes (Play, Process at tempo 0
// and with effects, normalise, encode to MP3), against an independent decode by ffmpeg.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "tests/cli/run_quorvin.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/channel_reader.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Pcm;

struct Input {
    std::string name;
    int rate = 44100, channels = 2;
    int format = 0;        // libsndfile major | subtype, for WAV
    std::string lameMode;  // for MP3: "s" stereo, "j" joint stereo, "m" mono
    // For Wave64: the codec ffmpeg writes it with (under the extensible header), else libsndfile.
    std::string ffmpegCodec;
    bool mp3() const { return !lameMode.empty() || ffmpegCodec == "libmp3lame"; }
};
// The test lists show an input by its name.
void PrintTo(const Input& in, std::ostream* os) {
    *os << in.name;
}

std::string sh(const std::string& s) {
    return clitest::quote(s);
}

bool runs(const std::string& cmd) {
    return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0;
}

// A different signal in each channel (tones and noise at fine levels), written at the file's own
// depth from doubles, so the lowest bits of 24- and 32-bit formats carry audio.
std::vector<double> signal(int rate, int channels, double seconds) {
    const int64_t frames = int64_t(seconds * rate);
    std::vector<double> v(size_t(frames * channels));
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> noise(-0.05, 0.05);
    for (int64_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            v[size_t(i * channels + c)] =
                0.6 * std::sin(2 * M_PI * (440.0 + 220.0 * c) * double(i) / rate) + noise(rng);
    return v;
}

void writeSndfile(const std::string& path, int format, int rate, int channels,
                  const std::vector<double>& v) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_double(f, v.data(), sf_count_t(v.size() / size_t(channels)));
    sf_close(f);
}

int ffprobeInt(const std::string& path, const std::string& field) {
    const std::string cmd = "ffprobe -v error -select_streams a:0 -show_entries stream=" + field +
                            " -of default=nw=1:nk=1 " + sh(path);
    FILE* p = popen(cmd.c_str(), "r");
    int v = -1;
    if (p && std::fscanf(p, "%d", &v) != 1) v = -1;
    if (p) pclose(p);
    return v;
}

// ffmpeg's decode of `path` as 16-bit at its own rate and channels (or as asked).
Pcm ffmpegDecode(const std::string& path, const fixtures::TempDir& dir, int channels,
                 int rate = 0) {
    const std::string raw = dir.file("ref.raw");
    std::string cmd = "ffmpeg -nostdin -v error -y -i " + sh(path);
    if (rate) cmd += " -af aresample=resampler=soxr -ar " + std::to_string(rate);
    // Asked for the channels it has, ffmpeg could still move them to its own layout for the count.
    if (channels != ffprobeInt(path, "channels")) cmd += " -ac " + std::to_string(channels);
    cmd += " -f s16le -c:a pcm_s16le " + sh(raw);
    EXPECT_TRUE(runs(cmd)) << cmd;
    const auto bytes = fixtures::readBytes(raw);
    Pcm p{rate, channels, std::vector<int16_t>(bytes.size() / 2)};
    std::copy_n(bytes.data(), p.samples.size() * 2, reinterpret_cast<uint8_t*>(p.samples.data()));
    return p;
}

// Largest sample difference, after checking that both hold the same frames.
// Sets the input rate in an Ogg Opus file's head to 0, with its page's checksum to match.
void clearOpusInputRate(std::vector<uint8_t>& file) {
    const std::string_view s(reinterpret_cast<const char*>(file.data()), file.size());
    const size_t head = s.find("OpusHead"), page = s.rfind("OggS", head);
    ASSERT_NE(head, std::string_view::npos);
    std::fill_n(file.begin() + long(head + 12), 4, 0);
    const size_t segments = file[page + 26];
    size_t end = page + 27 + segments;
    for (size_t i = 0; i < segments; ++i) end += file[page + 27 + i];
    std::fill_n(file.begin() + long(page + 22), 4, 0);
    uint32_t crc = 0;
    for (size_t i = page; i < end; ++i) {
        crc ^= uint32_t(file[i]) << 24;
        for (int b = 0; b < 8; ++b) crc = crc & 0x80000000u ? crc << 1 ^ 0x04c11db7u : crc << 1;
    }
    for (int b = 0; b < 4; ++b) file[page + 22 + size_t(b)] = uint8_t(crc >> 8 * b);
}

int maxDiff(const Pcm& a, const Pcm& b) {
    EXPECT_EQ(a.channels, b.channels);
    EXPECT_EQ(a.samples.size(), b.samples.size());
    int d = 0;
    for (size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); ++i)
        d = std::max(d, std::abs(int(a.samples[i]) - int(b.samples[i])));
    return d;
}

// Normalised correlation of `a` shifted by `lag` frames against `b`.
double correlation(const Pcm& a, const Pcm& b, int lag = 0) {
    double ab = 0, aa = 0, bb = 0;
    const int64_t shift = int64_t(lag) * a.channels;
    for (int64_t i = std::max<int64_t>(0, -shift);
         i < int64_t(std::min(a.samples.size(), b.samples.size())) &&
         i + shift < int64_t(a.samples.size());
         ++i) {
        const double x = a.samples[size_t(i + shift)], y = b.samples[size_t(i)];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The best correlation within a few frames: resamplers differ in their delay by a frame or two.
double nearCorrelation(const Pcm& a, const Pcm& b) {
    double best = -1;
    for (int lag = -4; lag <= 4; ++lag) best = std::max(best, correlation(a, b, lag));
    return best;
}

constexpr double kSeconds = 0.5;

class InputFormats : public ::testing::TestWithParam<Input> {
  protected:
    void SetUp() override {
        const Input& in = GetParam();
        const auto v = signal(in.rate, in.mp3() ? 2 : in.channels, kSeconds);
        if (!in.lameMode.empty()) {
            const std::string wav = dir.file("lame-in.wav");
            writeSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, in.rate, 2, v);
            source = dir.file("in.mp3");
            // LAME would lower the rate of a low bitrate: each version's own bitrate and rate.
            const std::string kbps = in.rate > 24000 ? "128" : in.rate > 12000 ? "64" : "32";
            ASSERT_TRUE(runs("lame --quiet -m " + in.lameMode + " -b " + kbps + " --resample " +
                             std::to_string(in.rate / 1000.0) + " " + sh(wav) + " " + sh(source)));
        } else if (!in.ffmpegCodec.empty()) {
            const std::string wav = dir.file("ffmpeg-in.wav");
            writeSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, in.rate, in.channels, v);
            const bool mpeg = in.ffmpegCodec == "libmp3lame" || in.ffmpegCodec == "mp2";
            source = dir.file(mpeg ? "in.wav" : "in.w64");
            ASSERT_TRUE(runs("ffmpeg -nostdin -v error -y -i " + sh(wav) + " -c:a " +
                             in.ffmpegCodec + " " + sh(source)));
        } else {
            source = dir.file("in.wav");
            writeSndfile(source, in.format, in.rate, in.channels, v);
        }
        ref = ffmpegDecode(source, dir, in.channels);
        ref.rate = in.rate;
        ASSERT_GT(ref.frames(), in.rate / 4);
    }

    fixtures::TempDir dir;
    std::string source;
    Pcm ref;  // the independent decode
};

TEST_P(InputFormats, PlayDeliversTheDecodedAudio) {
    engine::setOutputKind(engine::OutputKind::NullManual);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    const DWORD dec = BASS_StreamCreateFile(0, source.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(dec, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_ChannelGetLength(dec), QWORD(ref.samples.size() * 2));
    const DWORD play = BASS_FX_TempoCreate(dec, BASS_FX_FREESOURCE);  // as the main window plays
    ASSERT_TRUE(BASS_ChannelPlay(play, 0));
    // The output runs at 44100 Hz stereo: the reference resampled and spread to two channels, or
    // mixed down to two as FFmpeg mixes them.
    const int64_t frames = ref.frames() * 44100 / ref.rate;
    std::vector<float> out(size_t(frames + 4096) * 2);
    engine::nullOutputRead(out.data(), frames + 4096);
    EXPECT_EQ(BASS_ChannelIsActive(play), BASS_ACTIVE_STOPPED);
    BASS_Free();
    engine::setOutputKind(engine::OutputKind::Device);

    Pcm heard{44100, 2, std::vector<int16_t>(out.size())};
    for (size_t i = 0; i < out.size(); ++i)
        heard.samples[i] = int16_t(std::lrintf(std::clamp(out[i] * 32768.0f, -32768.f, 32767.f)));
    // A mono file sounds the same in both output channels.
    const int chans = std::min(ref.channels, 2);
    const Pcm decoded = ref.rate == 44100 && ref.channels <= 2
                            ? ref
                            : ffmpegDecode(source, dir, chans, ref.rate == 44100 ? 0 : 44100);
    Pcm want{44100, 2, {}};
    for (int64_t i = 0; i < decoded.frames(); ++i)
        for (int c = 0; c < 2; ++c)
            want.samples.push_back(decoded.samples[size_t(i * chans + c % chans)]);
    const Pcm tail{
        44100,
        2,
        {heard.samples.begin() + int64_t(want.samples.size()) + 1024, heard.samples.end()}};
    heard.samples.resize(want.samples.size());
    if (ref.rate == 44100 && !GetParam().mp3()) {
        EXPECT_LE(maxDiff(heard, want), 1);
    } else {  // through another resampler or MP3 decoder: the same audio, to the end
        EXPECT_GT(nearCorrelation(heard, want), 0.99);
        const Pcm wantEnd{44100, 2, {want.samples.end() - 2048, want.samples.end()}};
        const Pcm heardEnd{44100, 2, {heard.samples.end() - 2048, heard.samples.end()}};
        EXPECT_NEAR(fixtures::rmsDb(heardEnd, 0), fixtures::rmsDb(wantEnd, 0), 1.0) << "the end";
    }
    for (int c = 0; c < 2; ++c)
        EXPECT_NEAR(fixtures::rmsDb(heard, c), fixtures::rmsDb(want, c), 0.2) << "level";
    EXPECT_LT(fixtures::rmsDb(tail, 0), -90.0) << "sound after the end";
}

TEST_P(InputFormats, ProcessAtTempoZeroGivesTheDecodedAudioAndWithEffectsItsSound) {
    const std::string out = dir.file("out.wav");
    auto r = clitest::quorvin({"render", source, out}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Pcm got = fixtures::readAudio(out);
    EXPECT_EQ(got.rate, ref.rate);
    if (GetParam().mp3())  // another MP3 decoder: the same audio to rounding of its own
        EXPECT_GT(correlation(got, ref), 0.999);
    else
        EXPECT_LE(maxDiff(got, ref), 1);

    const std::string fx = dir.file("fx.wav");
    r = clitest::quorvin({"render", source, fx, "--tempo", "25", "--eq", "3,0,0,0,0,0,-3"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    got = fixtures::readAudio(fx);
    EXPECT_EQ(got.channels, ref.channels);
    EXPECT_EQ(got.rate, ref.rate);
    EXPECT_NEAR(double(got.frames()), double(ref.frames()) / 1.25, ref.frames() * 0.01);
    EXPECT_NEAR(fixtures::toneLevelDb(got, 0, 440), fixtures::toneLevelDb(ref, 0, 440), 2.0);
}

// The normaliser and the MP3 encoder take WAV files.
class WavInputFormats : public InputFormats {};

TEST_P(WavInputFormats, NormaliseScalesTheDecodedAudio) {
    const std::string out = dir.file("norm.wav");
    const auto r = clitest::quorvin({"normalize", source, out, "50"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const Pcm got = fixtures::readAudio(out);
    ASSERT_EQ(got.channels, ref.channels);
    ASSERT_EQ(got.samples.size(), ref.samples.size());
    int peak = 0;
    for (int16_t s : ref.samples) peak = std::max(peak, std::abs(int(s)));
    const double scale = 0.5 * 32767.0 / peak;
    double worst = 0;
    for (size_t i = 0; i < got.samples.size(); ++i)
        worst = std::max(worst, std::abs(got.samples[i] - ref.samples[i] * scale));
    // One sample step of the source and the rounding. A source finer than 16 bits is dithered
    // (triangular, one step either way) on its way to 16 bits, and its peak, which sets the gain,
    // lies up to half a step from the 16-bit reference's.
    const int subtype = GetParam().format & SF_FORMAT_SUBMASK;
    const bool dithered = subtype == SF_FORMAT_PCM_24 || subtype == SF_FORMAT_PCM_32 ||
                          subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
    EXPECT_LE(worst, (dithered ? 2.0 : 0.5) + scale);
}

TEST_P(WavInputFormats, EncodingToMp3KeepsLengthChannelsAndSound) {
    const std::string out = dir.file("enc.mp3");
    const auto r = clitest::quorvin({"render", source, out}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    // More channels than two are mixed down as the player plays them, and as FFmpeg mixes them,
    // and the render says so.
    const int chans = std::min(ref.channels, 2);
    EXPECT_EQ(r.err.find("mixed to stereo") != std::string::npos, ref.channels > 2) << r.err;
    EXPECT_EQ(ffprobeInt(out, "channels"), chans);
    const int rate = ffprobeInt(out, "sample_rate");
    const Pcm got = ffmpegDecode(out, dir, chans, ref.rate);
    EXPECT_NEAR(double(got.frames()) / ref.rate, kSeconds, 0.01) << "at " << rate << " Hz";
    EXPECT_GT(correlation(got, chans == ref.channels ? ref : ffmpegDecode(source, dir, chans)),
              0.95);
}

// The WAV files the normaliser and the MP3 encoder take, and with `beyondWav` every other kind.
std::vector<Input> inputs(bool beyondWav) {
    std::vector<Input> v;
    const struct {
        const char* name;
        int subtype;
    } subtypes[] = {{"u8", SF_FORMAT_PCM_U8},  {"s16", SF_FORMAT_PCM_16},
                    {"s24", SF_FORMAT_PCM_24}, {"s32", SF_FORMAT_PCM_32},
                    {"f32", SF_FORMAT_FLOAT},  {"f64", SF_FORMAT_DOUBLE}};
    const struct {
        const char* name;
        int rate, channels;
    } layouts[] = {{"mono22k", 22050, 1}, {"stereo44k", 44100, 2}, {"stereo96k", 96000, 2}};
    for (const auto& s : subtypes) {
        for (const auto& l : layouts)
            v.push_back({std::string(s.name) + "_" + l.name, l.rate, l.channels,
                         SF_FORMAT_WAV | s.subtype, "", ""});
        v.push_back({std::string(s.name) + "_extensible_stereo48k", 48000, 2,
                     SF_FORMAT_WAVEX | s.subtype, "", ""});
    }
    v.push_back({"s16_mono11k", 11025, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "", ""});
    v.push_back({"s16_surround51_44k", 44100, 6, SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, "", ""});
    v.push_back({"f32_surround71_48k", 48000, 8, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, "", ""});
    if (!beyondWav) return v;
    // Wave64, which the normaliser does not take.
    v.push_back({"w64_s16_stereo44k", 44100, 2, SF_FORMAT_W64 | SF_FORMAT_PCM_16, "", ""});
    for (const char* codec : {"pcm_s24le", "pcm_f32le", "pcm_f64le"}) {
        const int subtype = codec[4] == 's'   ? SF_FORMAT_PCM_24
                            : codec[5] == '3' ? SF_FORMAT_FLOAT
                                              : SF_FORMAT_DOUBLE;
        v.push_back({std::string("w64_extensible_") + (codec + 4) + "_surround51_48k", 48000, 6,
                     SF_FORMAT_W64 | subtype, "", codec});
    }
    // MP3 in a WAV, whose header gives only an estimate of its length.
    v.push_back({"wav_mp3_stereo44k", 44100, 2, 0, "", "libmp3lame"});
    v.push_back({"wav_mp2_stereo44k", 44100, 2, 0, "", "mp2"});  // as broadcast WAV files hold it
    // MPEG-1, 2 and 2.5 layer III, by the rate given to LAME.
    const struct {
        const char* name;
        int rate;
    } versions[] = {{"mpeg1", 44100}, {"mpeg2", 22050}, {"mpeg25", 11025}};
    const struct {
        const char* name;
        const char* mode;
        int channels;
    } modes[] = {{"stereo", "s", 2}, {"joint", "j", 2}, {"mono", "m", 1}};
    for (const auto& ver : versions)
        for (const auto& m : modes)
            v.push_back({std::string("mp3_") + ver.name + "_" + m.name, ver.rate, m.channels, 0,
                         m.mode, ""});
    return v;
}

const auto kName = [](const auto& info) { return info.param.name; };
INSTANTIATE_TEST_SUITE_P(All, InputFormats, ::testing::ValuesIn(inputs(true)), kName);
INSTANTIATE_TEST_SUITE_P(All, WavInputFormats, ::testing::ValuesIn(inputs(false)), kName);

// Files whose header gives no length: a FLAC written to a pipe (its sample count left 0), an Ogg
// file cut short (its last page lost, as by a broken download) and a WAV file whose recorder was
// stopped before it wrote its sizes (both left 0) or sox wrote to a pipe; and a WAV file with two
// data chunks. The length
// is what they hold, as ffmpeg decodes them, and the BPM command, which sizes its buffers by it,
// works.
TEST(InputsWithoutLength, AreMeasuredAndDecodedToTheirEnd) {
    fixtures::TempDir dir;
    const std::string wav = dir.file("in.wav"), flac = dir.file("piped.flac");
    const std::string ogg = dir.file("whole.ogg"), cut = dir.file("cut.ogg");
    writeSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, signal(44100, 2, 2.0));
    ASSERT_TRUE(
        runs("sh -c " + sh("ffmpeg -nostdin -v error -i " + sh(wav) + " -f flac - > " + sh(flac))));
    writeSndfile(ogg, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, signal(44100, 2, 2.0));
    auto bytes = fixtures::readBytes(ogg);
    bytes.resize(bytes.size() * 6 / 10);
    fixtures::writeBytes(cut, bytes);
    const std::string unclosed = dir.file("unclosed.wav");
    bytes = fixtures::readBytes(wav);
    const auto data = std::search(bytes.begin(), bytes.end(), "data", "data" + 4) - bytes.begin();
    for (const std::ptrdiff_t sizeAt : {std::ptrdiff_t(4), data + 4})
        std::fill_n(bytes.begin() + sizeAt, 4, 0);
    fixtures::writeBytes(unclosed, bytes);
    // More data chunks: the first is played, as sox plays it (ffmpeg plays the last).
    const std::string twoData = dir.file("three-data.wav");
    bytes = fixtures::readBytes(wav);
    const std::vector<uint8_t> later = {'d', 'a', 't', 'a', 0, 0x10, 0, 0};
    for (int i = 0; i < 2; ++i) {
        bytes.insert(bytes.end(), later.begin(), later.end());
        bytes.resize(bytes.size() + 0x1000, uint8_t(0x55 + i));
    }
    const uint32_t riff = uint32_t(bytes.size() - 8);
    for (int i = 0; i < 4; ++i) bytes[size_t(4 + i)] = uint8_t(riff >> (8 * i));
    fixtures::writeBytes(twoData, bytes);
    // A FLAC whose header counts half the samples its frames hold (ffmpeg and flac read them all).
    const std::string shortCount = dir.file("short-count.flac");
    writeSndfile(shortCount, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, signal(44100, 2, 2.0));
    bytes = fixtures::readBytes(shortCount);
    bytes[21] &= 0xf0;
    for (int i = 0; i < 4; ++i) bytes[size_t(22 + i)] = uint8_t(44100u >> (24 - 8 * i));
    fixtures::writeBytes(shortCount, bytes);
    // A WAV whose header says 24 bits where its frames hold 32-bit samples: read by the frames'
    // size, as the file was before its header was damaged.
    const std::string whole32 = dir.file("32.wav"), misbits = dir.file("24-in-32.wav");
    writeSndfile(whole32, SF_FORMAT_WAV | SF_FORMAT_PCM_32, 44100, 2, signal(44100, 2, 2.0));
    bytes = fixtures::readBytes(whole32);
    const auto fmt = std::search(bytes.begin(), bytes.end(), "fmt ", "fmt " + 4) - bytes.begin();
    bytes[size_t(fmt + 22)] = 24;
    fixtures::writeBytes(misbits, bytes);
    // And one whose frame size was written as the bits / 8 alone, its byte rate right: read by
    // its bits, as ffmpeg and sox read it.
    const std::string wrongAlign = dir.file("align-2.wav");
    bytes = fixtures::readBytes(wav);
    bytes[size_t(std::search(bytes.begin(), bytes.end(), "fmt ", "fmt " + 4) - bytes.begin() +
                 20)] = 2;
    fixtures::writeBytes(wrongAlign, bytes);
    // The same with a byte rate that agrees with that frame size.
    const std::string wrongRate = dir.file("align-2-rate.wav");
    const auto at = size_t(fmt + 16);
    for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = char((44100 * 2) >> (8 * i));
    fixtures::writeBytes(wrongRate, bytes);
    // 16-bit frames whose header says 24 bits: read by the frames.
    const std::string narrow = dir.file("16-said-24.wav");
    bytes = fixtures::readBytes(wav);
    bytes[size_t(fmt + 22)] = 24;
    fixtures::writeBytes(narrow, bytes);
    // An MP3 whose first frame is a VBRI header (no LAME tag): that frame holds no audio.
    const std::string vbri = dir.file("vbri.mp3");
    ASSERT_TRUE(runs("ffmpeg -nostdin -v error -i " + sh(wav) +
                     " -c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 0 " + sh(vbri)));
    bytes = fixtures::readBytes(vbri);
    std::vector<uint8_t> header(417);  // one frame of 128 kbit/s at 44.1 kHz, without padding
    std::copy_n(bytes.begin(), 4, header.begin());
    header[2] &= 0xfd;
    std::copy_n("VBRI\0\1", 6, header.begin() + 36);
    for (int i = 0; i < 4; ++i) {
        header[size_t(46 + i)] = uint8_t((bytes.size() + 417) >> (24 - 8 * i));
        header[size_t(50 + i)] = uint8_t((bytes.size() / 417 + 1) >> (24 - 8 * i));
    }
    bytes.insert(bytes.begin(), header.begin(), header.end());
    fixtures::writeBytes(vbri, bytes);
    // An Opus stream recorded from the middle of a broadcast: its first page's position is 10 s on.
    const std::string late = dir.file("late.opus");
    ASSERT_TRUE(runs("ffmpeg -nostdin -v error -i " + sh(wav) +
                     " -c:a libopus -output_ts_offset 10 " + sh(late)));
    // An Opus stream whose header gives no input rate (0, "not given"): Opus decodes at 48 kHz.
    const std::string norate = dir.file("norate.opus");
    ASSERT_TRUE(runs("ffmpeg -nostdin -v error -i " + sh(wav) + " -c:a libopus " + sh(norate)));
    bytes = fixtures::readBytes(norate);
    clearOpusInputRate(bytes);
    fixtures::writeBytes(norate, bytes);
    // A WAV that sox wrote to a pipe: the sizes it could not go back to write are its placeholder.
    const std::string soxPiped = dir.file("sox-piped.wav");
    ASSERT_TRUE(
        runs("sh -c " + sh("sox " + sh(wav) + " -t wav - 2>/dev/null | cat > " + sh(soxPiped))));
    for (const std::string& path : {flac, cut, unclosed, twoData, shortCount, misbits, wrongAlign,
                                    wrongRate, narrow, vbri, late, norate, soxPiped}) {
        const Pcm ref = ffmpegDecode(path == twoData   ? wav
                                     : path == misbits ? whole32
                                     : path == narrow  ? wav
                                                       : path,
                                     dir, 2);
        const DWORD h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        ASSERT_NE(h, 0u) << path;
        EXPECT_EQ(BASS_ChannelGetLength(h), QWORD(ref.samples.size() * 2)) << path;
        if (path == soxPiped) EXPECT_EQ(engine::missingFrames(h), 0);  // nothing said missing
        const Pcm got = fixtures::readChannel(h, 20000);
        EXPECT_GT(correlation(got, ref), 0.999) << path;
        EXPECT_EQ(got.samples.size(), ref.samples.size()) << path;
        BASS_StreamFree(h);
        const auto r = clitest::quorvin({"bpm", path}, dir);
        EXPECT_EQ(r.status, 0) << path << ": " << r.err;
    }
    // Measured once per file: the same name written again is measured again.
    writeSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, signal(44100, 2, 1.0));
    ASSERT_TRUE(runs("sh -c " +
                     sh("ffmpeg -nostdin -v error -y -i " + sh(wav) + " -f flac - > " + sh(flac))));
    const DWORD again = BASS_StreamCreateFile(0, flac.c_str(), 0, 0, BASS_STREAM_DECODE);
    EXPECT_EQ(BASS_ChannelGetLength(again), QWORD(44100 * 4));
    BASS_StreamFree(again);
}

// A FLAC file with damaged frames inside it (bytes lost, a bit flipped): libsndfile stops at the
// first, as if the file ended there. Every frame that decodes plays, in its place; the damaged
// ones are silence, and counted; a seek into the damage, found yet or not, or past it lands in
// place.
struct FlacDamage {
    double level;  // of the signal
    bool piped;    // written to a pipe: no length in its header
};
void PrintTo(const FlacDamage& d, std::ostream* os) {
    *os << "level " << d.level << (d.piped ? ", piped" : "");
}
class DamagedFlac : public ::testing::TestWithParam<FlacDamage> {};

TEST_P(DamagedFlac, PlaysEveryFrameThatDecodesInItsPlace) {
    fixtures::TempDir dir;
    const std::string whole = dir.file("whole.flac"), damaged = dir.file("damaged.flac");
    std::vector<double> v = signal(44100, 2, 4.0);
    for (double& x : v) x *= GetParam().level;
    writeSndfile(whole, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, v);
    std::string source = whole;
    if (GetParam().piped) {
        source = dir.file("piped.flac");
        ASSERT_TRUE(runs("sh -c " + sh("ffmpeg -nostdin -v error -i " + sh(whole) +
                                       " -f flac - > " + sh(source))));
    }
    auto bytes = fixtures::readBytes(source);
    std::fill_n(bytes.begin() + long(bytes.size() * 3 / 10), 40, 0);
    bytes[bytes.size() * 6 / 10] ^= 0x10;
    fixtures::writeBytes(damaged, bytes);
    const Pcm ref = ffmpegDecode(whole, dir, 2);
    const auto open = [&] {
        return BASS_StreamCreateFile(0, damaged.c_str(), 0, 0, BASS_STREAM_DECODE);
    };
    // Where `got`, read from frame `from`, differs from the whole file: silent, in runs of two
    // blocks (of 4096 or, from ffmpeg, 4608 frames) at most, as `flac -F` silences them (libFLAC
    // finds the damage only in the frame after). Returns the runs (first frame, frame after).
    const auto silences = [&](const Pcm& got, int64_t from) {
        std::vector<std::pair<int64_t, int64_t>> runs;
        for (int64_t i = 0; i < got.frames(); ++i) {
            const size_t at = size_t(i) * 2, there = size_t(from + i) * 2;
            if (got.samples[at] == ref.samples[there] &&
                got.samples[at + 1] == ref.samples[there + 1])
                continue;
            EXPECT_TRUE(got.samples[at] == 0 && got.samples[at + 1] == 0) << from + i;
            // (Apart by a few frames: where the whole file's samples are 0 too.)
            if (runs.empty() || runs.back().second + 16 < from + i) runs.emplace_back(from + i, 0);
            runs.back().second = from + i + 1;
        }
        for (const auto& [first, end] : runs) EXPECT_LE(end - first, 2 * 4608) << first;
        return runs;
    };
    const HSTREAM h = open();
    ASSERT_NE(h, 0u);
    const Pcm got = fixtures::readChannel(h);
    ASSERT_EQ(got.samples.size(), ref.samples.size());
    const auto runs = silences(got, 0);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(engine::silencedFrames(h),
              runs[0].second - runs[0].first + runs[1].second - runs[1].first);
    EXPECT_EQ(engine::undecodedFrames(h), 0);
    // Back into the first damage, found; into the second, not found yet on a new stream; past it.
    const HSTREAM fresh = open();
    for (const auto& [handle, frame] : {std::pair{h, (runs[0].first + runs[0].second) / 2},
                                        std::pair{fresh, (runs[1].first + runs[1].second) / 2},
                                        std::pair{fresh, runs[1].second + 44100}}) {
        ASSERT_TRUE(BASS_ChannelSetPosition(handle, QWORD(frame) * 4)) << frame;
        std::vector<int16_t> part(size_t(8192 * 2));
        ASSERT_EQ(BASS_ChannelGetData(handle, part.data(), DWORD(part.size() * 2)),
                  DWORD(part.size() * 2));
        const auto met = silences(Pcm{44100, 2, part}, frame);
        EXPECT_LE(met.size(), 1u);
    }
    BASS_StreamFree(h);
    BASS_StreamFree(fresh);
}

// Loud, quiet (small frames, which libsndfile's reader decoded on past the damage with the frames
// after it moved early), and written to a pipe (measured by decoding it: refused once damaged).
INSTANTIATE_TEST_SUITE_P(LoudQuietPiped, DamagedFlac,
                         ::testing::Values(FlacDamage{1.0, false}, FlacDamage{0.005, false},
                                           FlacDamage{1.0, true}));

// FLAC, Ogg Vorbis, Opus, a chain of Ogg streams, MPEG layer II and a free-format MP3 (no bit rate
// in its headers) that a tagger wrote an ID3v2 tag before: they decode as the files behind the tag
// do (libmpg123 finds frames in an Opus file's bytes), and those untagged open too.
TEST(InputsAfterAnId3Tag, DecodeAsTheFileBehindIt) {
    fixtures::TempDir dir;
    const auto v = signal(48000, 2, 1.0);
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 8, 0};  // 1024 bytes of body
    tag.resize(10 + 1024);
    std::copy_n("TIT2\0\0\0\5\0\0\0Song", 15, tag.begin() + 10);
    const std::string chain = dir.file("chain.ogg");
    const struct {
        const char* name;
        int format;
    } kinds[] = {{"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                 {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                 {"a.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
                 {"b.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}};
    for (const auto& k : kinds) writeSndfile(dir.file(k.name), k.format, 48000, 2, v);
    auto joined = fixtures::readBytes(dir.file("a.ogg"));
    const auto tail = fixtures::readBytes(dir.file("b.ogg"));
    joined.insert(joined.end(), tail.begin(), tail.end());
    fixtures::writeBytes(chain, joined);
    const std::string wav = dir.file("a.wav"), mp2 = dir.file("a.mp2"), free = dir.file("free.mp3");
    writeSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, v);
    ASSERT_TRUE(runs("ffmpeg -nostdin -v error -y -i " + sh(wav) + " -c:a mp2 " + sh(mp2)));
    ASSERT_TRUE(runs("lame --quiet --freeformat -b 400 " + sh(wav) + " " + sh(free)));
    for (const std::string& plain :
         {dir.file("a.flac"), dir.file("a.ogg"), dir.file("a.opus"), chain, mp2, free}) {
        auto bytes = fixtures::readBytes(plain);
        bytes.insert(bytes.begin(), tag.begin(), tag.end());
        const std::string tagged = plain + ".tagged";
        fixtures::writeBytes(tagged, bytes);
        const DWORD a = BASS_StreamCreateFile(0, plain.c_str(), 0, 0, BASS_STREAM_DECODE);
        const DWORD b = BASS_StreamCreateFile(0, tagged.c_str(), 0, 0, BASS_STREAM_DECODE);
        ASSERT_NE(a, 0u) << plain;
        ASSERT_NE(b, 0u) << tagged;
        EXPECT_EQ(BASS_ChannelGetLength(b), BASS_ChannelGetLength(a)) << plain;
        EXPECT_TRUE(fixtures::readChannel(b, 20000).samples ==
                    fixtures::readChannel(a, 20000).samples)
            << plain;
        BASS_StreamFree(a);
        BASS_StreamFree(b);
    }
}

// Inputs the program does not take: refused with a message, and no output file appears.
TEST(UnsupportedInputs, AreRefusedEverywhereWithoutAFile) {
    fixtures::TempDir dir;
    writeSndfile(dir.file("384k.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 384000, 2,
                 signal(384000, 2, 0.1));
    writeSndfile(dir.file("20ch.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 44100, 20,
                 signal(44100, 20, 0.1));
    fixtures::writeBytes(dir.file("fake.wav"), std::vector<uint8_t>(4000, 'x'));
    for (const char* name : {"384k.wav", "20ch.wav", "fake.wav"}) {
        const std::string in = dir.file(name);
        engine::setOutputKind(engine::OutputKind::NullManual);
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
        EXPECT_EQ(BASS_StreamCreateFile(0, in.c_str(), 0, 0, 0), 0u) << name;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT) << name;
        BASS_Free();
        engine::setOutputKind(engine::OutputKind::Device);
        const std::vector<std::vector<std::string>> commands = {
            {"render", in, dir.file("out.wav")},
            {"render", in, dir.file("out.wav"), "--tempo", "10"},
            {"render", in, dir.file("out.mp3")},
            {"normalize", in, dir.file("out.wav"), "50"}};
        for (const auto& args : commands) {
            const auto r = clitest::quorvin(args, dir);
            EXPECT_NE(r.status, 0) << name << " " << args[0];
            EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
            EXPECT_FALSE(fs::exists(args[2])) << name << " " << args[0];
        }
    }
}

}  // namespace
