// The MP3 header reader on files LAME makes and on crafted byte sequences.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "mp3/mp3routines.h"
#include "tests/support/audio_fixtures.h"

using mp3::Mp3Error;
using mp3::Mp3FileInfo;

namespace {

// Header bytes 1..3 of the crafted frames.
struct Hdr {
    uint8_t b1, b2, b3;
    int length;  // frame length in bytes
};
constexpr Hdr k128{0xFB, 0x90, 0x00, 417};      // MPEG-1 layer III, 128 kbit/s, 44100 Hz, stereo
constexpr Hdr k160{0xFB, 0xA0, 0x00, 522};      // the same at 160 kbit/s
constexpr Hdr kSmall{0xFB, 0x14, 0x00, 96};     // MPEG-1 layer III, 32 kbit/s, 48000 Hz
constexpr Hdr k128Mono{0xFB, 0x90, 0xC0, 417};  // single channel
constexpr Hdr kLsfMono{0xF3, 0x80, 0xC0, 208};  // MPEG-2 layer III, 64 kbit/s, 22050 Hz, mono

void appendFrame(std::vector<uint8_t>& out, const Hdr& h) {
    const size_t at = out.size();
    out.resize(at + size_t(h.length), 0);
    out[at] = 0xFF;
    out[at + 1] = h.b1;
    out[at + 2] = h.b2;
    out[at + 3] = h.b3;
}

std::vector<uint8_t> frames(const Hdr& h, int count) {
    std::vector<uint8_t> out;
    for (int i = 0; i < count; ++i) appendFrame(out, h);
    return out;
}

std::vector<uint8_t> id3v1(const char* title, const char* artist, uint8_t track, uint8_t genre) {
    std::vector<uint8_t> tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(tag.data() + 3, title, std::strlen(title));
    std::memcpy(tag.data() + 33, artist, std::strlen(artist));
    std::memcpy(tag.data() + 93, "1999", 4);
    tag[126] = track;
    tag[127] = genre;
    return tag;
}

// A first frame carrying a Xing header at `offset` into the frame, then plain frames.
std::vector<uint8_t> xingFile(const Hdr& h, int offset, uint32_t frameCount, uint32_t bytes,
                              uint32_t flags) {
    std::vector<uint8_t> out = frames(h, 40);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
    };
    std::memcpy(out.data() + offset, "Xing", 4);
    put32(size_t(offset) + 4, flags);
    put32(size_t(offset) + 8, frameCount);
    put32(size_t(offset) + 12, bytes);
    return out;
}

class Mp3Reader : public ::testing::Test {
  protected:
    fixtures::TempDir dir;
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file(name);
        fixtures::writeBytes(path, bytes);
        return path;
    }
    int errorNumber(const std::string& path) {
        Mp3FileInfo info;
        try {
            mp3::ReadMp3FileInfo(path, info);
        } catch (const Mp3Error& e) {
            return e.number();
        }
        return 0;
    }
};

}  // namespace

TEST(Mp3FrameHeader, DecodesLengthsOfEveryFamilyAndRejectsInvalidFields) {
    struct Case {
        uint8_t b1, b2, b3;
        int version, layer, kbps, rate, length;
    };
    const Case cases[] = {
        {0xFB, 0x90, 0x00, 1, 3, 128, 44100, 417},  // MPEG-1 layer III
        {0xFB, 0x92, 0x40, 1, 3, 128, 44100, 418},  // with padding
        {0xFD, 0x84, 0x00, 1, 2, 128, 48000, 384},  // MPEG-1 layer II
        {0xFF, 0x80, 0x00, 1, 1, 256, 44100, 276},  // MPEG-1 layer I: (12000*256/44100)*4
        {0xF3, 0x80, 0x00, 2, 3, 64, 22050, 208},   // MPEG-2 layer III: 72000*64/22050
        {0xF3, 0x8A, 0x00, 2, 3, 64, 16000, 289},   // MPEG-2 at 16 kHz, padded
        {0xF5, 0x80, 0x00, 2, 2, 64, 22050, 417},   // MPEG-2 layer II keeps 144000
        {0xE3, 0x40, 0x00, 2, 3, 32, 11025, 208},   // quarter-rate family, 11025 Hz
        {0xE3, 0x48, 0x00, 2, 3, 32, 8000, 288},    // quarter-rate family, 8000 Hz
    };
    for (const Case& c : cases) {
        const uint8_t b[4] = {0xFF, c.b1, c.b2, c.b3};
        mp3::Mp3FrameHeader h;
        ASSERT_TRUE(mp3::DecodeFrameHeader(b, h)) << std::hex << int(c.b1) << " " << int(c.b2);
        EXPECT_EQ(h.Version, c.version);
        EXPECT_EQ(h.Layer, c.layer);
        EXPECT_EQ(h.BitRate, c.kbps);
        EXPECT_EQ(h.SampleRate, c.rate);
        EXPECT_EQ(h.FrameLength, c.length) << std::hex << int(c.b1) << " " << int(c.b2);
    }
    const uint8_t stereoCopy[4] = {0x00, 0xFA, 0x90, 0x4C};  // first byte ignored; CRC present
    mp3::Mp3FrameHeader h;
    ASSERT_TRUE(mp3::DecodeFrameHeader(stereoCopy, h));
    EXPECT_EQ(h.ProtectionBit, 0);
    EXPECT_EQ(h.ChannelMode, 1);
    EXPECT_EQ(h.Copyright, 1);
    EXPECT_EQ(h.Original, 1);

    const uint8_t rejected[][4] = {
        {0xFF, 0xF9, 0x90, 0x00},  // layer bits 00
        {0xFF, 0xFB, 0x00, 0x00},  // bit-rate index 0 (free format)
        {0xFF, 0xFB, 0xF0, 0x00},  // bit-rate index 15
        {0xFF, 0xFB, 0x9C, 0x00},  // sample-rate index 3
    };
    for (const auto& b : rejected) EXPECT_FALSE(mp3::DecodeFrameHeader(b, h));
}

TEST_F(Mp3Reader, BlankOrMissingPathsReturnZeroAndTouchNothing) {
    Mp3FileInfo info;
    info.FileLength = 77;
    EXPECT_EQ(mp3::ReadMp3FileInfo("", info), 0);
    EXPECT_EQ(mp3::ReadMp3FileInfo("   ", info), 0);
    EXPECT_EQ(mp3::ReadMp3FileInfo(dir.file("absent.mp3"), info), 0);
    EXPECT_EQ(mp3::ReadMp3FileInfo(dir.path().string(), info), 0);  // a folder
    EXPECT_EQ(info.FileLength, 77);
}

TEST_F(Mp3Reader, FilesOf4097BytesOrFewerNeverYieldAFrame) {
    std::vector<uint8_t> bytes = frames(kSmall, 43);  // 4128 bytes of valid frames
    bytes.resize(4097);
    Mp3FileInfo info;
    EXPECT_EQ(mp3::ReadMp3FileInfo(write("a.mp3", bytes), info), 0);
    EXPECT_EQ(info.FileLength, 4097);
    bytes.push_back(0);
    EXPECT_EQ(mp3::ReadMp3FileInfo(write("b.mp3", bytes), info), 1);
    EXPECT_EQ(info.SampleRate, 48000);

    // A chain that starts in the last partial stretch of the file is never searched.
    std::vector<uint8_t> late(8192 + 100, 0);
    const auto tail = frames(kSmall, 60);
    late.insert(late.end(), tail.begin(), tail.end());  // 8292 + 5760 = 14052: blocks 0..2 searched
    EXPECT_EQ(mp3::ReadMp3FileInfo(write("c.mp3", late), info), 1);
    std::vector<uint8_t> tooLate(12288 + 10, 0);
    tooLate.insert(tooLate.end(), tail.begin(), tail.begin() + 4000);  // block 12288: 16385 > 16298
    EXPECT_EQ(mp3::ReadMp3FileInfo(write("d.mp3", tooLate), info), 0);
}

TEST_F(Mp3Reader, ConstantBitRateCountsTagBytesAndRoundsHalvesToEven) {
    // 56000 bytes from the first frame to the end at 16000 bytes/s: 3.5 s -> 4 (3.49 without
    // the tag's 128 bytes), FrameCount from the rounded 4 s: 153.125 -> 153.
    std::vector<uint8_t> bytes = frames(k128, 130);  // 54210 bytes
    bytes.resize(56000 - 128, 0);
    const auto tag = id3v1("ABC", "  Some One  ", 7, 17);
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    Mp3FileInfo info;
    ASSERT_EQ(mp3::ReadMp3FileInfo(write("cbr.mp3", bytes), info), 1);
    EXPECT_EQ(info.IsConstantBitRate, -1);
    EXPECT_EQ(info.BitRate, 128);
    EXPECT_EQ(info.Duration, 4);
    EXPECT_EQ(info.FrameCount, 153);
    EXPECT_EQ(info.Version, 1);
    EXPECT_EQ(info.Layer, 3);
    EXPECT_EQ(info.HasTag, -1);
    EXPECT_EQ(info.Title, "ABC");
    EXPECT_EQ(info.Artist, "Some One");
    EXPECT_EQ(info.Year, "1999");
    EXPECT_EQ(info.Track, 7);
    EXPECT_EQ(info.Genre, 17);
    // An ID3v1.0 tag: a comment of 30 characters, whose last is no track.
    std::vector<uint8_t> v10 = bytes;
    std::memcpy(&v10[v10.size() - 128 + 97], "abcdefghijklmnopqrstuvwxyz1234", 30);
    ASSERT_EQ(mp3::ReadMp3FileInfo(write("v10.mp3", v10), info), 1);
    EXPECT_EQ(info.Comment, "abcdefghijklmnopqrstuvwxyz1234");
    EXPECT_EQ(info.Track, 0);

    // 40000 bytes after 300 bytes of lead-in: 2.5 s -> 2, FrameCount 76.5625 -> 77.
    std::vector<uint8_t> even(300, 0x20);
    const auto body = frames(k128, 90);  // 37530 bytes
    even.insert(even.end(), body.begin(), body.end());
    even.resize(300 + 40000, 0);
    ASSERT_EQ(mp3::ReadMp3FileInfo(write("even.mp3", even), info), 1);
    EXPECT_EQ(info.Duration, 2);
    EXPECT_EQ(info.FrameCount, 77);
    EXPECT_EQ(info.FileLength, 40300);
    // No tag in this file: the previous file's tag fields stay.
    EXPECT_EQ(info.HasTag, -1);
    EXPECT_EQ(info.Title, "ABC");
}

TEST_F(Mp3Reader, StrayByteIsPassedOverAndVariableRateIsWalkedFromZero) {
    // A decodable header at 0 whose chain breaks, then alternating 128/160 kbit/s frames.
    std::vector<uint8_t> bytes = {0xFF, 0xFB, 0x90, 0x00};
    bytes.resize(100, 0);
    for (int i = 0; i < 60; ++i) appendFrame(bytes, i % 2 ? k160 : k128);
    const std::string path = write("vbr.mp3", bytes);
    Mp3FileInfo info;
    info.FrameCount = 999;
    ASSERT_EQ(mp3::ReadMp3FileInfo(path, info), 1);
    EXPECT_EQ(info.IsConstantBitRate, 0);
    EXPECT_EQ(info.FrameCount, 60);
    EXPECT_EQ(info.BitRate, 144);
    EXPECT_EQ(info.Duration, 2);  // 60 * 1152 / 44100 = 1.57
    ASSERT_EQ(mp3::ReadMp3FileInfo(path, info), 1);
    EXPECT_EQ(info.FrameCount, 60);
}

TEST_F(Mp3Reader, XingHeaderIsFoundWhereVersionAndChannelModePutIt) {
    struct Case {
        Hdr h;
        int offset;
        int samplesPerFrame;
        int rate;
    };
    const Case cases[] = {
        {k128, 36, 1152, 44100}, {k128Mono, 21, 1152, 44100}, {kLsfMono, 13, 576, 22050}};
    for (const Case& c : cases) {
        // Flags 0 say no field is present: both are read all the same.
        const auto bytes = xingFile(c.h, c.offset, 4000, 1600000, 0);
        Mp3FileInfo info;
        ASSERT_EQ(mp3::ReadMp3FileInfo(write("xing.mp3", bytes), info), 1);
        const int duration = int(std::nearbyint(4000.0 * c.samplesPerFrame / c.rate));
        EXPECT_EQ(info.FrameCount, 4000) << c.offset;
        EXPECT_EQ(info.Duration, duration) << c.offset;
        EXPECT_EQ(info.BitRate, int(std::nearbyint(1600000 * 8 / 1000.0 / duration))) << c.offset;
        EXPECT_EQ(info.IsConstantBitRate, 0);
    }
}

TEST_F(Mp3Reader, ArithmeticErrorsPassToTheCaller) {
    // 2,000,000 frames of 1152 samples: 52245 s, a long file but no error.
    Mp3FileInfo info;
    ASSERT_EQ(mp3::ReadMp3FileInfo(write("long.mp3", xingFile(k128, 36, 2000000, 1000, 0)), info),
              1);
    EXPECT_EQ(info.Duration, 52245);
    // A frame count of 0 gives a Duration of 0, and the bit rate divides by it.
    EXPECT_EQ(errorNumber(write("zero.mp3", xingFile(k128, 36, 0, 1000, 0))),
              Mp3Error::DivisionByZero);
    // A frame count beyond a signed 32-bit value.
    EXPECT_EQ(errorNumber(write("huge.mp3", xingFile(k128, 36, 0x90000000u, 1000, 0))),
              Mp3Error::Overflow);
}

TEST_F(Mp3Reader, ReadsWhatLameWrites) {
    const auto tone = fixtures::sine(440, 20);
    for (int kbps : {128, 192, 320}) {
        const std::string path = dir.file("cbr" + std::to_string(kbps) + ".mp3");
        fixtures::writeMp3(path, tone, kbps);
        Mp3FileInfo info;
        ASSERT_EQ(mp3::ReadMp3FileInfo(path, info), 1);
        EXPECT_EQ(info.IsConstantBitRate, -1) << kbps;
        EXPECT_EQ(info.BitRate, kbps);
        EXPECT_EQ(info.Duration, 20);
        EXPECT_EQ(info.SampleRate, 44100);
        EXPECT_EQ(info.ChannelMode, 1);  // joint stereo
        EXPECT_EQ(info.HasTag, 0);
    }

    struct Vbr {
        fixtures::Pcm pcm;
        bool xing;
        int version, rate;
    };
    auto music = [](int rate, int channels) {
        fixtures::Pcm pcm = fixtures::drumTrack(120, 20, 3, rate);
        if (channels == 1) {
            for (size_t i = 0; i < pcm.samples.size() / 2; ++i) pcm.samples[i] = pcm.samples[2 * i];
            pcm.samples.resize(pcm.samples.size() / 2);
            pcm.channels = 1;
        }
        return pcm;
    };
    const Vbr vbrs[] = {
        {music(44100, 2), true, 1, 44100},
        {music(44100, 1), true, 1, 44100},  // Xing at 21 in a mono MPEG-1 frame
        {music(22050, 2), true, 2, 22050},
        {music(22050, 1), true, 2, 22050},  // Xing at 13
        {music(44100, 2), false, 1, 44100},
        {music(11025, 1), false, 2, 11025},
    };
    for (const Vbr& v : vbrs) {
        const std::string path = dir.file("vbr.mp3");
        fixtures::writeMp3(path, v.pcm, 0, 4, v.xing);
        const int samplesPerFrame = v.version == 1 ? 1152 : 576;
        Mp3FileInfo info;
        ASSERT_EQ(mp3::ReadMp3FileInfo(path, info), 1);
        const std::string what = std::to_string(v.rate) + "/" + std::to_string(v.pcm.channels) +
                                 (v.xing ? " Xing" : " walked");
        EXPECT_EQ(info.Version, v.version) << what;
        EXPECT_EQ(info.Layer, 3) << what;
        EXPECT_EQ(info.SampleRate, v.rate) << what;
        EXPECT_EQ(info.IsConstantBitRate, 0) << what;
        EXPECT_EQ(info.Duration, 20) << what;
        EXPECT_NEAR(info.FrameCount, 20.0 * v.rate / samplesPerFrame, 3) << what;
        const double measured = 8.0 * double(std::filesystem::file_size(path)) / 20 / 1000;
        EXPECT_NEAR(info.BitRate, measured, measured * 0.05 + 1) << what;
    }

    // MPEG-2 at constant rate: 576-sample frames of 72000 x rate / 22050 bytes.
    const std::string lsf = dir.file("lsf.mp3");
    fixtures::writeMp3(lsf, fixtures::sine(440, 20, 22050), 64);
    Mp3FileInfo info;
    ASSERT_EQ(mp3::ReadMp3FileInfo(lsf, info), 1);
    EXPECT_EQ(info.Version, 2);
    EXPECT_EQ(info.Layer, 3);
    EXPECT_EQ(info.BitRate, 64);
    EXPECT_EQ(info.SampleRate, 22050);
    EXPECT_EQ(info.Duration, 20);
    EXPECT_EQ(info.FrameCount, int(std::nearbyint(20.0 / 576 * 22050)));
}

TEST_F(Mp3Reader, EventPumpRunsDuringTheSearchAndMayReadAnotherFile) {
    std::vector<uint8_t> bytes(5000, 0xFF);  // every byte a candidate, none a chain
    const auto tail = frames(k128, 20);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    const std::string path = write("pump.mp3", bytes);
    const std::string other = write("other.mp3", frames(k160, 20));
    int pumps = 0;
    Mp3FileInfo info, inner;
    ASSERT_EQ(mp3::ReadMp3FileInfo(path, info,
                                   [&] {
                                       if (pumps++ == 10) mp3::ReadMp3FileInfo(other, inner);
                                   }),
              1);
    EXPECT_GT(pumps, 5000);
    EXPECT_EQ(info.BitRate, 128);
    EXPECT_EQ(inner.BitRate, 160);
}

namespace {

// Bytes in memory, for inputs too large to be worth writing to disk.
class Memory : public mp3::ByteSource {
  public:
    explicit Memory(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    int64_t size() const override { return int64_t(bytes_.size()); }
    size_t read(int64_t offset, uint8_t* dst, size_t n) override {
        if (offset < 0 || offset >= size()) return 0;
        n = std::min(n, bytes_.size() - size_t(offset));
        std::memcpy(dst, bytes_.data() + offset, n);
        return n;
    }

  private:
    std::vector<uint8_t> bytes_;
};

// An ID3v2.3 tag whose picture holds a chain of ten MPEG-1 layer I frame headers (288 kbit/s,
// 312 bytes apart) amid noise; `footer` adds the 10-byte footer of version 4.
std::vector<uint8_t> id3v2WithFalseChain(bool footer) {
    std::vector<uint8_t> body(8000);
    uint32_t x = 12345;
    for (auto& b : body) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
    for (int i = 0; i < 10; ++i) {
        const size_t at = 100 + size_t(i) * 312;
        body[at] = 0xFF;
        body[at + 1] = 0xFF;
        body[at + 2] = 0x90;
        body[at + 3] = 0x00;
    }
    std::vector<uint8_t> tag = {
        'I', 'D', '3', uint8_t(footer ? 4 : 3), 0, uint8_t(footer ? 0x10 : 0)};
    const uint32_t n = uint32_t(body.size());
    for (int shift : {21, 14, 7, 0}) tag.push_back(uint8_t((n >> shift) & 0x7F));
    tag.insert(tag.end(), body.begin(), body.end());
    if (footer) {
        const std::vector<uint8_t> foot = {'3', 'D', 'I', 4, 0, 0x10};
        tag.insert(tag.end(), foot.begin(), foot.end());
        tag.insert(tag.end(), tag.begin() + 6, tag.begin() + 10);
    }
    return tag;
}

}  // namespace

TEST_F(Mp3Reader, FalseFrameChainsAreNotTakenForAudio) {
    // A tagged MP3: the chain in the tag's picture is skipped with the tag.
    const std::string plain = dir.file("plain.mp3");
    fixtures::writeMp3(plain, fixtures::sine(440, 20), 128);
    const auto audio = fixtures::readBytes(plain);
    for (bool footer : {false, true}) {
        SCOPED_TRACE(footer ? "ID3v2.4 with footer" : "ID3v2.3");
        std::vector<uint8_t> file = id3v2WithFalseChain(footer);
        file.insert(file.end(), audio.begin(), audio.end());
        Mp3FileInfo info;
        ASSERT_EQ(mp3::ReadMp3FileInfo(write("tagged.mp3", file), info), 1);
        EXPECT_EQ(info.Layer, 3);
        EXPECT_EQ(info.BitRate, 128);
        EXPECT_EQ(info.SampleRate, 44100);
        EXPECT_NEAR(info.Duration, 20, 1);
    }

    // Noise holds no chain whose headers all carry the sync bits.
    std::vector<uint8_t> noise(24 << 20);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (auto& b : noise) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        b = uint8_t(x >> 32);
    }
    Memory random(std::move(noise));
    Mp3FileInfo info;
    EXPECT_EQ(mp3::ReadMp3Info(random, info), 0)
        << "layer " << int(info.Layer) << ", " << info.BitRate << " kbit/s";
}
