// `quorvin mp3-info` and `quorvin render` to MP3, run as a user runs them.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "engine/engine_ext.h"
#include "mp3/mp3routines.h"
#include "tests/cli/run_quorvin.h"
#include "tests/mp3/mp3_probe.h"
#include "tests/support/audio_fixtures.h"

namespace fs = std::filesystem;

namespace {

using mp3probe::decodedFrames;
using mp3probe::firstFrameKbps;

using CliRun = clitest::Run;
using clitest::quorvin;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// An ID3v1 tag with the title "ABC", track 7 and genre 17.
std::vector<uint8_t> id3v1Tag() {
    std::vector<uint8_t> tag(128, 0);
    std::memcpy(tag.data(), "TAGABC", 6);
    tag[126] = 7;
    tag[127] = 17;
    return tag;
}

}  // namespace

TEST(QuorvinMp3Info, PrintsTheRecordOfALameFile) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("song.mp3");
    fixtures::writeMp3(in, fixtures::sine(440, 10.0, 44100, 2), 192);
    auto bytes = fixtures::readBytes(in);
    const auto tag = id3v1Tag();
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    fixtures::writeBytes(in, bytes);

    const CliRun r = quorvin({"mp3-info", in}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> expected = {
        "FileLength: " + std::to_string(bytes.size()),
        "Version: 1",
        "Layer: 3",
        "BitRate: 192",
        "FrameCount: 383",  // from the whole seconds: 10 x 44100 / 1152, rounded
        "IsConstantBitRate: -1",
        "SampleRate: 44100",
        "ChannelMode: 1",  // joint stereo
        "Copyright: 0",
        "Original: 1",
        "Duration: 10",
        "HasTag: -1",
        "Title: ABC",
        "Artist: ",
        "Album: ",
        "Year: ",
        "Comment: ",
        "Track: 7",
        "Genre: 17",
        "Result: 1",
    };
    EXPECT_EQ(lines(r.out), expected);
}

TEST(QuorvinMp3Info, NoFramesReadErrorsAndBadUsageFail) {
    fixtures::TempDir tmp;
    // Not an MP3: the record stays empty and the result is 0.
    const std::string wav = tmp.file("tone.wav");
    fixtures::writeWav(wav, fixtures::sine(440, 1.0));
    CliRun r = quorvin({"mp3-info", wav}, tmp);
    EXPECT_EQ(r.status, 1);
    ASSERT_FALSE(lines(r.out).empty());
    EXPECT_EQ(lines(r.out).back(), "Result: 0");
    EXPECT_NE(r.err.find("no MPEG audio frames"), std::string::npos) << r.err;

    // A VBR header claiming zero frames: the reader's error is printed in place of the result.
    const std::string broken = tmp.file("broken.mp3");
    fixtures::writeMp3(broken, fixtures::sine(440, 2.0), 0, 4, true);
    auto bytes = fixtures::readBytes(broken);
    ASSERT_EQ(std::memcmp(&bytes[36], "Xing", 4), 0);
    std::memset(&bytes[44], 0, 4);
    fixtures::writeBytes(broken, bytes);
    r = quorvin({"mp3-info", broken}, tmp);
    EXPECT_EQ(r.status, 1);
    ASSERT_FALSE(lines(r.out).empty());
    EXPECT_EQ(lines(r.out).back(), "Error: 11 Division by zero");

    r = quorvin({"mp3-info", tmp.file("missing.mp3")}, tmp);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("missing.mp3"), std::string::npos) << r.err;

    // Not files at all: the message gives the true reason.
    ASSERT_EQ(mkfifo(tmp.file("pipe.mp3").c_str(), 0600), 0);
    const std::pair<std::string, std::string> notFiles[] = {
        {tmp.file("pipe.mp3"), "named pipe"}, {"/dev/null", "device"}, {tmp.file(""), "folder"}};
    for (const auto& [path, says] : notFiles) {
        r = quorvin({"mp3-info", path}, tmp);
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }

    EXPECT_EQ(quorvin({"mp3-info"}, tmp).status, 2);
    EXPECT_EQ(quorvin({"mp3-info", wav, wav}, tmp).status, 2);
}

TEST(QuorvinMp3Info, ReadsAFileOverTwoGigabytes) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("long.mp3");
    fixtures::writeMp3(in, fixtures::sine(440, 2.0, 44100, 2), 128);
    const uintmax_t size = 2500000000u;  // sparse: the disk holds only the first frames
    std::filesystem::resize_file(in, size);

    const CliRun r = quorvin({"mp3-info", in}, tmp);
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    const auto got = lines(r.out);
    EXPECT_NE(std::find(got.begin(), got.end(), "FileLength: 2500000000"), got.end()) << r.out;
    // About 2.5 GB at 128 kbit/s, from the first frame on.
    EXPECT_NE(std::find(got.begin(), got.end(), "Duration: 156250"), got.end()) << r.out;
    EXPECT_EQ(got.back(), "Result: 1");
}

TEST(QuorvinRenderMp3, EncodesAtTheSourceRateOrTheOneAskedFor) {
    fixtures::TempDir tmp;
    const fixtures::Pcm music = fixtures::drumTrack(120, 5.0, 3);
    const std::string in = tmp.file("in.mp3"), out = tmp.file("out.mp3");
    fixtures::writeMp3(in, music, 192);

    // The source's own rate (whatever the case of its name); the render decodes back to the
    // source's length within a frame.
    fs::copy_file(in, tmp.file("in.Mp3"));
    CliRun r = quorvin({"render", tmp.file("in.Mp3"), out}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(firstFrameKbps(out), 192);
    fs::remove(tmp.file("in.Mp3"));
    // Or by its content, where its name does not say (standard input, a name without .mp3).
    fs::copy_file(in, tmp.file("in.bin"));
    r = quorvin({"render", tmp.file("in.bin"), out}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(firstFrameKbps(out), 192);
    fs::remove(tmp.file("in.bin"));
    r = quorvin({"render", in, out}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(firstFrameKbps(out), 192);
    EXPECT_NEAR(double(decodedFrames(out)), double(decodedFrames(in)), 1152);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(tmp.path())) ++files;
    EXPECT_EQ(files, 2u);  // no temporaries left beside the output

    // --bitrate wins; an existing output is replaced.
    r = quorvin({"render", in, out, "--bitrate", "256", "--tempo", "20"}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(firstFrameKbps(out), 256);
    EXPECT_NEAR(double(decodedFrames(out)), decodedFrames(in) / 1.2, 0.01 * decodedFrames(in));

    // Below 128 kbit/s the source's rate is raised to 128; a WAV source gives 128.
    const std::string low = tmp.file("low.mp3");
    fixtures::writeMp3(low, music, 96);
    r = quorvin({"render", low, out}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(firstFrameKbps(out), 128);
    const std::string wav = tmp.file("in.wav");
    fixtures::writeWav(wav, music);
    r = quorvin({"render", wav, tmp.file("FROM-WAV.MP3")}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(firstFrameKbps(tmp.file("FROM-WAV.MP3")), 128);
    // A rate MP3 cannot hold is raised by the encoder (1 kHz to 8 kHz), to the whole length.
    fixtures::writeWav(tmp.file("1k.wav"), fixtures::sine(50, 2.0, 1000, 1));
    r = quorvin({"render", tmp.file("1k.wav"), tmp.file("1k.mp3")}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(double(decodedFrames(tmp.file("1k.mp3"))) / 8000, 2.0, 0.2);
    EXPECT_NE(r.err.find("note: The MP3 is written at 64 kbit/s and 8000 Hz"), std::string::npos)
        << r.err;
    // A bit rate whose frames are too small for the encoder's tag (32 kbit/s at 22.05 kHz): the
    // tag is kept, so the MP3 decodes to the source's length, not the encoder's delay longer.
    fixtures::writeWav(tmp.file("22k.wav"), fixtures::sine(440, 2.0, 22050, 1));
    r = quorvin({"render", tmp.file("22k.wav"), tmp.file("22k.mp3"), "--bitrate", "32"}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(decodedFrames(tmp.file("22k.mp3")), 44100);
    // What is written as asked needs no word.
    EXPECT_EQ(quorvin({"render", wav, out, "--bitrate", "192"}, tmp).err, "");

    // PCM that happens to hold MPEG frame chains (here: a 192 kbit/s MP3's bytes as samples) is
    // still a WAV source, never searched for a rate.
    std::vector<uint8_t> pcm = fixtures::readBytes(in);
    pcm.resize(pcm.size() / 4 * 4);
    std::vector<uint8_t> file = {'R', 'I', 'F',  'F',  0,   0,   0,    0,    'W', 'A', 'V',
                                 'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                                 2,   0,   0x44, 0xac, 0,   0,   0x10, 0xb1, 2,   0,   4,
                                 0,   16,  0,    'd',  'a', 't', 'a',  0,    0,   0,   0};
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put32(4, uint32_t(pcm.size() + 36));
    put32(40, uint32_t(pcm.size()));
    file.insert(file.end(), pcm.begin(), pcm.end());
    fixtures::writeBytes(wav, file);
    r = quorvin({"render", wav, out}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(firstFrameKbps(out), 128);
}
