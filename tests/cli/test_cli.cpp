// The `quorvin` executable, run as a user runs it: exit status, messages, and the files it makes.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "tests/cd/cd_image.h"
#include "tests/cli/run_quorvin.h"

namespace fs = std::filesystem;
using clitest::filesIn;
using clitest::quorvin;

// --cents moves the pitch on top of --pitch: a 440 Hz tone at -2 semitones -50 cents sounds at
// 440 * 2^(-2.5/12) = 380.8 Hz, within a fifth of a cent.
TEST(QuorvinRender, CentsFineTuneThePitch) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("a440.wav"), out = tmp.file("out.wav");
    fixtures::writeWav(in, fixtures::sine(440, 4.0));
    for (const auto& [semitones, cents] :
         std::vector<std::pair<int, int>>{{-2, -50}, {0, 30}, {3, 25}, {0, -50}}) {
        const auto r = quorvin({"render", in, out, "--pitch", std::to_string(semitones), "--cents",
                                std::to_string(cents)},
                               tmp);
        ASSERT_EQ(r.status, 0) << r.err;
        const double expected = 440.0 * std::pow(2.0, (semitones + cents / 100.0) / 12.0);
        const double heard = fixtures::dominantFrequency(fixtures::readAudio(out), 0);
        EXPECT_NEAR(1200.0 * std::log2(heard / expected), 0.0, 0.2)
            << semitones << " " << cents << ": " << heard << " Hz";
    }
}

TEST(QuorvinRender, RendersLikeProcess) {
    fixtures::TempDir tmp;
    const auto music = fixtures::drumTrack(110, 6.0, 9);
    const std::string in = tmp.file("song.wav"), out = tmp.file("out.wav");
    fixtures::writeWav(in, music);

    // No changes: the source, sample for sample; nothing on stdout when it is not a terminal.
    auto r = quorvin({"render", in, out}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(fixtures::readAudio(out).samples == music.samples);
    EXPECT_EQ(filesIn(tmp.path()), 2u);  // no temporary left beside the output

    // +25 % tempo lasts 1/1.25; the existing output is replaced.
    r = quorvin({"render", in, out, "--tempo", "25"}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto fast = fixtures::readAudio(out);
    EXPECT_NEAR(double(fast.frames()), music.frames() / 1.25, music.frames() * 0.01);

    // Vocal remover with pitch and equalizer: left equals right in every frame, and the header
    // matches the file. The last of two remover options counts.
    r = quorvin({"render", in, out, "--vocal-remover=stereo", "--vocal-remover", "--pitch=-2",
                 "--eq", "10,7,3,0,-1,7,7"},
                tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto removed = fixtures::readAudio(out);
    ASSERT_GT(removed.frames(), 0);
    for (int64_t f = 0; f < removed.frames(); ++f)
        ASSERT_EQ(removed.samples[size_t(2 * f)], removed.samples[size_t(2 * f + 1)]) << f;
    const auto bytes = fixtures::readBytes(out);
    EXPECT_EQ(bytes[40] | bytes[41] << 8 | bytes[42] << 16 | uint32_t(bytes[43]) << 24,
              bytes.size() - 44);

    // An MP3 source renders as well.
    const std::string mp3 = tmp.file("song.mp3");
    fixtures::writeMp3(mp3, fixtures::drumTrack(110, 3.0));
    r = quorvin({"render", mp3, tmp.file("from mp3.WAV"), "--tempo", "-10"}, tmp);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(double(fixtures::readAudio(tmp.file("from mp3.WAV")).frames()), 3.0 * 44100 / 0.9,
                3.0 * 44100 * 0.02);
}

// A boost too strong for a loud file clips, so does a pitch change that overshoots a loud square
// wave's edges (either stretcher), and so does a float file louder than 16 bits hold, or a coded
// file whose coding took it beyond full scale: the render
// says how many samples, and what clipped them.
TEST(QuorvinRender, SaysHowManySamplesWereClippedAndByWhat) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("loud.wav"), out = tmp.file("out.wav");
    fixtures::writeWav(in, fixtures::sine(150, 2.0, 44100, 2, 0.7));
    fixtures::Pcm square = fixtures::sine(220, 2.0, 44100, 2, 0.9);
    for (int16_t& v : square.samples) v = int16_t(v >= 0 ? 29490 : -29490);
    fixtures::writeWav(tmp.file("square.wav"), square);
    std::vector<float> hot(44100 * 2);  // a float file at +6 dBFS
    for (size_t i = 0; i < hot.size(); ++i) hot[i] = 2.0f * std::sin(float(i / 2) * 0.05f);
    fixtures::writeBytes(tmp.file("hot.wav"), fixtures::floatWavBytes(hot, 2, 44100));
    // The square in Vorbis: the coding takes its edges past full scale, where they must clip
    // rather than wrap round to the other sign.
    fixtures::Pcm loudSquare = square;
    for (int16_t& v : loudSquare.samples) v = int16_t(v > 0 ? 31000 : -31000);
    fixtures::writeWav(tmp.file("square-loud.wav"), loudSquare);
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + clitest::quote(tmp.file("square-loud.wav")) +
                           " -c:a libvorbis " + clitest::quote(tmp.file("square.ogg")))
                              .c_str()),
              0);
    fixtures::writeMp3(tmp.file("square.mp3"), loudSquare);
    // Joined to one at another rate: decoded once to measure, then rendered.
    fixtures::Pcm lowSquare = fixtures::sine(220, 2.0, 22050, 2, 0.9);
    for (int16_t& v : lowSquare.samples) v = int16_t(v > 0 ? 31000 : -31000);
    fixtures::writeMp3(tmp.file("low.mp3"), lowSquare);
    auto joined = fixtures::readBytes(tmp.file("square.mp3"));
    const auto low = fixtures::readBytes(tmp.file("low.mp3"));
    joined.insert(joined.end(), low.begin(), low.end());
    fixtures::writeBytes(tmp.file("joined.mp3"), joined);
    // A loud bass square: the bass the removers keep peaks above the source once the rest goes.
    fixtures::Pcm bassSquare = fixtures::sine(40, 2.0, 44100, 2, 0.9);
    for (int16_t& v : bassSquare.samples) v = int16_t(v >= 0 ? 29490 : -29490);
    fixtures::writeWav(tmp.file("bass.wav"), bassSquare);
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"render", tmp.file("bass.wav"), out, "--vocal-remover=keep-bass"},
         " samples clipped by the vocal remover"},
        {{"render", tmp.file("bass.wav"), out, "--vocal-remover=stereo"},
         " samples clipped by the vocal remover"},
        {{"render", in, out, "--eq", "10,10,10,10,10,10,10"}, " samples clipped by the equalizer"},
        {{"render", tmp.file("square.wav"), out, "--pitch", "3"},
         " samples clipped by the change of tempo or pitch"},
        {{"render", tmp.file("square.wav"), out, "--pitch", "-5", "--quality", "high"},
         " samples clipped by the change of tempo or pitch"},
        {{"render", tmp.file("square.ogg"), out},
         " samples of \"" + tmp.file("square.ogg") + "\" lie beyond full scale"},
        {{"render", tmp.file("hot.wav"), out},
         " samples of \"" + tmp.file("hot.wav") + "\" lie beyond full scale"},
        {{"render", tmp.file("square.mp3"), out},
         " samples of \"" + tmp.file("square.mp3") + "\" lie beyond full scale"},
    };
    for (const auto& c : cases) {
        const auto r = quorvin(c.args, tmp);
        ASSERT_EQ(r.status, 0) << r.err;
        int64_t full = 0;
        for (int16_t v : fixtures::readAudio(out).samples) full += v == 32767 || v == -32768;
        ASSERT_GT(full, 0) << c.says;
        const auto at = r.err.find(c.says);
        ASSERT_NE(at, std::string::npos) << r.err;
        const auto from = r.err.find_last_not_of("0123456789", at - 1) + 1;
        EXPECT_NEAR(double(std::stoll(r.err.substr(from, at - from))), double(full), full * 0.01)
            << c.says;
    }
    // An MP3 of two parts at different rates is decoded once at the open to measure it: its
    // samples are counted as they are rendered, once (the later part's before it is resampled).
    const auto clipped = [&](const std::string& file) {
        const auto r = quorvin({"render", file, out}, tmp);
        const auto at = r.err.find(" samples of");
        return at == std::string::npos
                   ? -1.0
                   : std::stod(r.err.substr(r.err.find_last_not_of("0123456789", at - 1) + 1));
    };
    const double parts = clipped(tmp.file("square.mp3")) + clipped(tmp.file("low.mp3"));
    EXPECT_NEAR(clipped(tmp.file("joined.mp3")), parts, parts * 0.01);
    auto r = quorvin({"render", in, out, "--eq", "-3,0,0,0,0,0,0"}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("clipped"), std::string::npos) << r.err;
    // Keeping the bass of a file of 250 samples a second, whose half rate lies below the
    // crossover: all of it is bass, kept as it was, never louder.
    const fixtures::Pcm slow = fixtures::sine(30, 2.0, 250, 2, 0.3);
    fixtures::writeWav(tmp.file("slow.wav"), slow);
    r = quorvin({"render", tmp.file("slow.wav"), out, "--vocal-remover=keep-bass"}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fixtures::readAudio(out).samples, slow.samples);
    // A float file normalised to full scale, and the finer engine at a rate it calls too low:
    // nothing to say.
    for (float& v : hot) v = std::clamp(v, -1.0f, 1.0f);
    fixtures::writeBytes(tmp.file("full.wav"), fixtures::floatWavBytes(hot, 2, 4000));
    r = quorvin({"render", tmp.file("full.wav"), out}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (float& v : hot) v *= 0.5f;
    fixtures::writeBytes(tmp.file("half.wav"), fixtures::floatWavBytes(hot, 2, 4000));
    r = quorvin({"render", tmp.file("half.wav"), out, "--tempo", "-20", "--quality", "high"}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

// A WAV, an AIFF or an MP3 cut short (a broken download): what it holds is rendered or normalised,
// and the command says how much more its header (the MP3's LAME tag) gives. An Ogg file that lost a
// page on the way: what decodes is rendered, and the command says the file is damaged. The
// commands that analyse a file say the same.
TEST(QuorvinRender, SaysWhenTheSourceIsCutShortOrDamaged) {
    fixtures::TempDir tmp;
    const std::string whole = tmp.file("whole.wav"), cut = tmp.file("cut.wav");
    fixtures::writeWav(whole, fixtures::sine(440, 2.0));
    auto bytes = fixtures::readBytes(whole);
    bytes.resize(bytes.size() - 44100 * 4 * 3 / 2);  // 0.5 s of 2 s
    fixtures::writeBytes(cut, bytes);
    auto r = quorvin({"render", whole, tmp.file("a.wav")}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("cut short"), std::string::npos) << r.err;
    r = quorvin({"render", cut, tmp.file("b.wav")}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\"" + cut + "\" is cut short: its header gives 1.50 s more"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(fixtures::readAudio(tmp.file("b.wav")).frames(), 44100 / 2);
    r = quorvin({"normalize", cut, tmp.file("c.wav"), "90"}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("is cut short: its header gives 1.50 s more"), std::string::npos) << r.err;
    const std::string aiff = tmp.file("whole.aiff"), cutAiff = tmp.file("cut.aiff");
    ASSERT_EQ(std::system(("sox " + clitest::quote(whole) + " " + clitest::quote(aiff)).c_str()),
              0);
    bytes = fixtures::readBytes(aiff);
    bytes.resize(bytes.size() - 44100 * 4 * 3 / 2);
    fixtures::writeBytes(cutAiff, bytes);
    r = quorvin({"render", cutAiff, tmp.file("d.wav")}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("is cut short: its header gives 1.50 s more"), std::string::npos) << r.err;

    const std::string mp3 = tmp.file("whole.mp3"), cutMp3 = tmp.file("cut.mp3");
    fixtures::writeMp3(mp3, fixtures::sine(440, 2.0), 128, -1, true);
    r = quorvin({"render", mp3, tmp.file("m.mp3")}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("cut short"), std::string::npos) << r.err;
    bytes = fixtures::readBytes(mp3);
    bytes.resize(bytes.size() / 2);
    fixtures::writeBytes(cutMp3, bytes);
    r = quorvin({"render", cutMp3, tmp.file("n.mp3")}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\"" + cutMp3 + "\" is cut short: its header gives "), std::string::npos)
        << r.err;
    // One that lost frames on the way but holds every byte its header counts: damaged.
    bytes = fixtures::readBytes(mp3);
    std::fill_n(bytes.begin() + long(bytes.size() / 2), 1500, 0);
    fixtures::writeBytes(cutMp3, bytes);
    r = quorvin({"render", cutMp3, tmp.file("n.mp3")}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\"" + cutMp3 + "\" is damaged: its audio ends "), std::string::npos)
        << r.err;
    // The commands that analyse a file say so too.
    for (const char* command : {"bpm", "key", "chords"}) {
        r = quorvin({command, cut}, tmp);
        EXPECT_NE(r.err.find("is cut short: its header gives 1.50 s more"), std::string::npos)
            << command << r.err;
        r = quorvin({command, cutMp3}, tmp);
        EXPECT_NE(r.err.find("is damaged: its audio ends "), std::string::npos) << command << r.err;
    }
    // A disc image whose sheet names such a file does not rip as whole.
    fixtures::writeMp3(tmp.file("s.mp3"), fixtures::sine(440, 2.0, 44100, 2), 128, -1, true);
    bytes = fixtures::readBytes(tmp.file("s.mp3"));
    std::fill_n(bytes.begin() + long(bytes.size() / 2), 3000, 0);
    fixtures::writeBytes(tmp.file("s.mp3"), bytes);
    std::ofstream(tmp.file("s.cue")) << "FILE \"s.mp3\" MP3\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    r = quorvin({"cd-rip", tmp.file("s.cue"), "all", tmp.file("rip")}, tmp);
    EXPECT_NE(r.status, 0);
    EXPECT_NE((r.out + r.err).find("could be read only"), std::string::npos) << r.out << r.err;
    // A FLAC damaged inside plays on after the damage, which is silence: said, and no whole rip.
    fixtures::writeSound(tmp.file("d.flac"), fixtures::sine(440, 2.0, 44100, 2),
                         SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    bytes = fixtures::readBytes(tmp.file("d.flac"));
    std::fill_n(bytes.begin() + long(bytes.size() / 2), 40, 0);
    fixtures::writeBytes(tmp.file("d.flac"), bytes);
    r = quorvin({"render", tmp.file("d.flac"), tmp.file("d.wav")}, tmp);
    EXPECT_NE(r.err.find("\"" + tmp.file("d.flac") +
                         "\" is damaged: 0.19 s of its audio could "
                         "not be decoded and are silence"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(fixtures::readAudio(tmp.file("d.wav")).frames(), 88200);
    std::ofstream(tmp.file("d.cue")) << "FILE \"d.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    r = quorvin({"cd-rip", tmp.file("d.cue"), "all", tmp.file("rip-flac")}, tmp);
    EXPECT_NE(r.status, 0);
    EXPECT_NE((r.out + r.err).find("could be read only"), std::string::npos) << r.out << r.err;
    // What it holds starts where the whole file's audio does (its encoder's delay left out), and
    // so it does with only a few bytes missing.
    ASSERT_EQ(quorvin({"render", mp3, tmp.file("whole-mp3.wav")}, tmp).status, 0);
    const fixtures::Pcm wholeMp3 = fixtures::readAudio(tmp.file("whole-mp3.wav"));
    for (const size_t keep : {bytes.size(), fixtures::readBytes(mp3).size() - 100}) {
        auto part = fixtures::readBytes(mp3);
        part.resize(keep);
        fixtures::writeBytes(cutMp3, part);
        ASSERT_EQ(quorvin({"render", cutMp3, tmp.file("cut-mp3.wav")}, tmp).status, 0);
        const fixtures::Pcm cut = fixtures::readAudio(tmp.file("cut-mp3.wav"));
        ASSERT_GT(cut.samples.size(), 44100u);
        EXPECT_TRUE(
            std::equal(cut.samples.begin(), cut.samples.begin() + 44100, wholeMp3.samples.begin()))
            << keep << " bytes";
    }
    // A LAME tag that counts too few frames, or none: the same audio from the same start, no note.
    for (const uint8_t count : {0, 40}) {
        auto miscounted = fixtures::readBytes(mp3);
        const auto tag = std::search(miscounted.begin(), miscounted.end(), "Info", "Info" + 4);
        ASSERT_NE(tag, miscounted.end());
        std::fill(tag + 8, tag + 12, 0);
        tag[11] = count;
        fixtures::writeBytes(cutMp3, miscounted);
        r = quorvin({"render", cutMp3, tmp.file("count.wav")}, tmp);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("cut short"), std::string::npos) << r.err;
        const fixtures::Pcm got = fixtures::readAudio(tmp.file("count.wav"));
        if (count) {
            EXPECT_EQ(got.samples, wholeMp3.samples);
        }
        ASSERT_GT(got.samples.size(), 44100u);
        EXPECT_TRUE(
            std::equal(got.samples.begin(), got.samples.begin() + 44100, wholeMp3.samples.begin()));
    }

    // MP3 in a WAV with damaged bytes in its middle: decoded on past them, as the same frames are
    // in an MP3, without the decoder's own notes; and cut short, said so from the WAV's header.
    const std::string mpegWav = tmp.file("mpeg.wav");
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + clitest::quote(whole) +
                           " -c:a libmp3lame -b:a 128k " + clitest::quote(mpegWav))
                              .c_str()),
              0);
    bytes = fixtures::readBytes(mpegWav);
    for (size_t i = bytes.size() / 3; i < bytes.size() / 2; i += 7) bytes[i] ^= 0x5A;
    fixtures::writeBytes(tmp.file("damaged.wav"), bytes);
    r = quorvin({"render", tmp.file("damaged.wav"), tmp.file("d.wav")}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Note:"), std::string::npos) << r.err;
    EXPECT_GT(fixtures::readAudio(tmp.file("d.wav")).frames(), 44100 * 3 / 2);
    // A chunk after the audio is no audio.
    ASSERT_EQ(quorvin({"render", mpegWav, tmp.file("plain.wav")}, tmp).status, 0);
    bytes = fixtures::readBytes(mpegWav);
    const std::vector<uint8_t> junk = {'j', 'u', 'n', 'k', 0x20, 0x4E, 0, 0};  // 20000 bytes
    bytes.insert(bytes.end(), junk.begin(), junk.end());
    for (int i = 0; i < 20000; ++i) bytes.push_back(uint8_t((i * 7919) >> 3 ^ i));
    const uint32_t riff = uint32_t(bytes.size() - 8);
    for (int i = 0; i < 4; ++i) bytes[4 + size_t(i)] = uint8_t(riff >> (8 * i));
    fixtures::writeBytes(tmp.file("junk.wav"), bytes);
    ASSERT_EQ(quorvin({"render", tmp.file("junk.wav"), tmp.file("j.wav")}, tmp).status, 0);
    EXPECT_EQ(fixtures::readAudio(tmp.file("j.wav")).samples,
              fixtures::readAudio(tmp.file("plain.wav")).samples);
    bytes = fixtures::readBytes(mpegWav);
    bytes.resize(bytes.size() * 3 / 4);
    fixtures::writeBytes(tmp.file("cut-mpeg.wav"), bytes);
    r = quorvin({"render", tmp.file("cut-mpeg.wav"), tmp.file("e.wav")}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("is cut short: its header gives 0.5"), std::string::npos) << r.err;

    // One Ogg stream that lost a page; a chain of two (a recorded radio stream) that lost a page
    // of its second, or a page of its second's headers (which the codec's library then refuses:
    // the first is played alone).
    const std::string ogg = tmp.file("whole.ogg"), tail = tmp.file("tail.ogg");
    fixtures::writeSound(ogg, fixtures::noise(2.0), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    fixtures::writeSound(tail, fixtures::noise(2.0), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    auto chain = fixtures::readBytes(ogg);
    const size_t firstBytes = chain.size();
    const auto second = fixtures::readBytes(tail);
    chain.insert(chain.end(), second.begin(), second.end());
    fixtures::writeBytes(tmp.file("chain.ogg"), chain);
    const std::string capture = "OggS";
    auto pageFrom = [&](std::vector<uint8_t>& b, size_t from) {
        return std::search(b.begin() + std::ptrdiff_t(from), b.end(), capture.begin(),
                           capture.end());
    };
    const std::pair<std::string, size_t> cases[] = {
        {ogg, firstBytes * 3 / 4},
        {tmp.file("chain.ogg"), chain.size() * 3 / 4},
        {tmp.file("chain.ogg"), firstBytes + 4},  // the page after the second's first
        {tmp.file("chain.ogg"), firstBytes}};     // the second's first page
    for (const auto& [whole, from] : cases) {
        const std::string damaged = whole + std::to_string(from) + ".ogg";
        r = quorvin({"render", whole, tmp.file("d.wav")}, tmp);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("damaged"), std::string::npos) << r.err;
        const int64_t wholeFrames = fixtures::readAudio(tmp.file("d.wav")).frames();
        bytes = fixtures::readBytes(whole);
        const auto page = pageFrom(bytes, from);
        const auto next = pageFrom(bytes, size_t(page - bytes.begin()) + 4);
        ASSERT_NE(next, bytes.end());
        bytes.erase(page, next);
        fixtures::writeBytes(damaged, bytes);
        r = quorvin({"render", damaged, tmp.file("e.wav")}, tmp);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("\"" + damaged + "\" is damaged: its audio ends "), std::string::npos)
            << r.err;
        EXPECT_LT(fixtures::readAudio(tmp.file("e.wav")).frames(), wholeFrames);
    }
    // The first page of audio damaged in its body (libogg passes over a page whose checksum is
    // wrong): said too, also of a stream recorded from 100 s into a broadcast (at most what the
    // damaged page held, not the 100 s before the recording).
    const std::string late = tmp.file("late.ogg"), longer = tmp.file("longer.wav");
    fixtures::writeWav(longer, fixtures::noise(6.0));
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + clitest::quote(longer) +
                           " -c:a libvorbis -output_ts_offset 100 " + clitest::quote(late))
                              .c_str()),
              0);
    for (const std::string& source : {ogg, late}) {
        bytes = fixtures::readBytes(source);
        size_t audio = 0;
        for (auto at = pageFrom(bytes, 0); at != bytes.end(); at = pageFrom(bytes, audio + 4)) {
            audio = size_t(at - bytes.begin());
            if (std::any_of(at + 6, at + 14, [](uint8_t b) { return b != 0; })) break;
        }
        bytes[audio + 100] ^= 0xff;
        fixtures::writeBytes(tmp.file("first-damaged.ogg"), bytes);
        r = quorvin({"render", tmp.file("first-damaged.ogg"), tmp.file("e.wav")}, tmp);
        ASSERT_EQ(r.status, 0) << r.err;
        const size_t said = r.err.find("is damaged: its audio ends ");
        ASSERT_NE(said, std::string::npos) << r.err;
        EXPECT_LT(std::atof(r.err.c_str() + said + 27), 2.0) << r.err;
    }
    // An Ogg file (one stream or a chain, Vorbis or Opus) cut off inside a page: how much is lost
    // is not written anywhere, but that something is, is said. Not for a passage before the cut.
    const std::string opus = tmp.file("whole.opus");
    fixtures::writeSound(opus, fixtures::noise(2.0, 48000), SF_FORMAT_OGG | SF_FORMAT_OPUS);
    for (const std::string& whole : {ogg, opus, tmp.file("chain.ogg")}) {
        r = quorvin({"render", whole, tmp.file("f.wav")}, tmp);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("cut short"), std::string::npos) << r.err;
        bytes = fixtures::readBytes(whole);
        bytes.resize(bytes.size() * 3 / 4);
        const std::string cutOgg = whole + ".cut.ogg";
        fixtures::writeBytes(cutOgg, bytes);
        r = quorvin({"render", cutOgg, tmp.file("f.wav")}, tmp);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("\"" + cutOgg + "\" is cut short: it ends inside a page"),
                  std::string::npos)
            << r.err;
        r = quorvin({"render", cutOgg, tmp.file("f.wav"), "--to", "0.5"}, tmp);
        EXPECT_EQ(r.err.find("cut short"), std::string::npos) << r.err;
    }

    // A FLAC cut just after its header: nothing decodes, so nothing is written, as MP3 too.
    const std::string flac = tmp.file("whole.flac"), headerOnly = tmp.file("header.flac");
    fixtures::writeSound(flac, fixtures::sine(440, 2.0), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    bytes = fixtures::readBytes(flac);
    size_t at = 4;  // past "fLaC", over the metadata blocks to the first frame
    for (bool last = false; !last && at + 4 <= bytes.size();) {
        last = bytes[at] & 0x80;
        at += 4 + (size_t(bytes[at + 1]) << 16 | size_t(bytes[at + 2]) << 8 | bytes[at + 3]);
    }
    bytes.resize(at + 10);
    fixtures::writeBytes(headerOnly, bytes);
    for (const char* name : {"h.wav", "h.mp3"}) {
        r = quorvin({"render", headerOnly, tmp.file(name)}, tmp);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("\"" + headerOnly + "\": it holds no audio that can be decoded"),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(tmp.file(name)));
    }
}

TEST(QuorvinRender, BadInputGetsAClearMessageAndLosesNothing) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("song.wav"), out = tmp.file("keep.wav");
    fixtures::writeWav(in, fixtures::sine(440, 1.0));
    const std::vector<uint8_t> source = fixtures::readBytes(in);
    const std::vector<uint8_t> old = {1, 2, 3, 4, 5};
    fixtures::writeBytes(out, old);
    fixtures::writeBytes(tmp.file("fake.mp3"), std::vector<uint8_t>(3000, 0x41));
    fixtures::writeBytes(tmp.file("empty.wav"), {});
    fixtures::writeWav(tmp.file("20hz.wav"), fixtures::sine(5, 15.0, 20));  // a damaged rate
    fixtures::writeWav(tmp.file("nine.wav"), fixtures::sine(440, 0.5, 44100, 9));
    ASSERT_EQ(mkfifo(tmp.file("pipe.wav").c_str(), 0600), 0);

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{"render", tmp.file("missing.wav"), out}, 1, "missing.wav"},
        {{"render", tmp.file("pipe.wav"), out}, 1, "named pipe"},
        {{"render", "/dev/zero", out}, 1, "device"},
        {{"render", tmp.file("fake.mp3"), out}, 1, "fake.mp3"},
        {{"render", tmp.file("empty.wav"), out}, 1, "empty.wav\": the file is empty"},
        {{"render", tmp.file("20hz.wav"), out, "--tempo", "20"}, 1, "is below the 100 Hz"},
        {{"render", tmp.file("nine.wav"), tmp.file("x.flac")}, 1, "at most 8 channels, not 9"},
        {{"render", in, out, "--to", "0.00001"}, 1, "shorter than one sample"},
        {{"render", in, in}, 1, "input file itself"},
        {{"normalize", in, in, "50"}, 1, "input file itself"},
        {{"normalize", in, tmp.file("out.flac"), "50"}, 2, "writes a WAV file"},
        {{"normalize", in, tmp.file("out.aac"), "50"}, 2, "would name it .aac"},
        {{"normalize", in, "-", "50"}, 2, "not standard input or output"},
        {{"render", in, tmp.file("no-folder/out.wav")}, 1, "no-folder"},
        {{"render", in, tmp.path().string() + "/x.aiff"}, 2, ".flac, .ogg or .opus"},
        {{"render", in, out, "--tempo", "99"}, 2, "--tempo"},
        {{"render", in, out, "--vocal-remover="}, 2, "--vocal-remover= wants"},
        {{"render", in, out, "--tempo"}, 2, "needs a value"},
        {{"render", in, out, "--pitch", "two"}, 2, "--pitch"},
        {{"render", in, out, "--tempo", "nan"}, 2, "--tempo"},
        {{"render", in, out, "--tempo", "-inf"}, 2, "--tempo"},
        {{"render", in, out, "--pitch", "NaN"}, 2, "--pitch"},
        {{"render", in, out, "--pitch", "inf"}, 2, "--pitch"},
        {{"render", in, out, "--pitch", "8.5"}, 2, "--pitch"},
        {{"render", in, out, "--cents", "51"}, 2, "--cents"},
        {{"render", in, out, "--vocal-remover", "--remover-gain", "1.5"}, 2, "--remover-gain"},
        {{"render", in, out, "--cents", "nan"}, 2, "--cents"},
        {{"render", in, out, "--eq", "1,2,3"}, 2, "seven gains"},
        {{"render", in, out, "--eq", "1,2,3,4,5,6,11"}, 2, "seven gains"},
        {{"render", in, out, "--bitrate", "1000"}, 2, "--bitrate"},
        {{"render", in, out, "--loud"}, 2, "unknown option --loud"},
        {{"render", in}, 2, "usage"},
        {{"frobnicate"}, 2, "unknown command"},
        {{}, 2, "usage"},
    };
    for (const auto& c : cases) {
        const auto r = quorvin(c.args, tmp);
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << line << "\n" << r.err;
        EXPECT_EQ(fixtures::readBytes(out), old) << line;
    }
    EXPECT_EQ(fixtures::readBytes(in), source);
    // Only the files made above: no temporaries left anywhere.
    EXPECT_EQ(filesIn(tmp.path()), 7u);

    // MP3 output: refused clearly until an encoder is built in; nothing rendered.
    auto r = quorvin({"render", in, tmp.file("out.mp3")}, tmp);
    if (r.status != 0) {
        EXPECT_NE(r.err.find("MP3"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(tmp.file("out.mp3")));
    }

    // A destination folder that refuses new files: the message names the path, the file stays.
    const fs::path ro = tmp.path() / "ro";
    fs::create_directory(ro);
    const std::string roOut = (ro / "keep.wav").string();
    fixtures::writeBytes(roOut, old);
    fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
    if (FILE* probe = fopen((ro / "probe").string().c_str(), "wb")) {
        fclose(probe);  // permissions do not bind this user (superuser)
        fs::remove(ro / "probe");
    } else {
        r = quorvin({"render", in, roOut}, tmp);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(roOut), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("denied"), std::string::npos) << r.err;
        EXPECT_EQ(fixtures::readBytes(roOut), old);
    }
    fs::permissions(ro, fs::perms::owner_all);
}

TEST(QuorvinRender, AWriteProtectedDestinationIsRefusedAndKeepsItsMode) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("song.wav"), out = tmp.file("protected.wav");
    fixtures::writeWav(in, fixtures::sine(440, 0.5));
    const std::vector<uint8_t> old = {1, 2, 3};
    fixtures::writeBytes(out, old);
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read;
    fs::permissions(out, readOnly);

    const auto r = quorvin({"render", in, out}, tmp);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(out), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("write-protected"), std::string::npos) << r.err;
    EXPECT_EQ(fixtures::readBytes(out), old);
    EXPECT_EQ(fs::status(out).permissions(), readOnly);
    EXPECT_EQ(filesIn(tmp.path()), 2u);
}

// "--" ends the options: names that begin with "--" after it are files.
TEST(QuorvinArguments, DoubleDashEndsTheOptions) {
    fixtures::TempDir tmp;
    fixtures::writeWav(tmp.file("--in.wav"), fixtures::sine(440, 0.5));
    fixtures::writeMp3(tmp.file("--in.mp3"), fixtures::sine(440, 0.5));
    cdimage::Disc disc;
    disc.tracks = cdimage::audioTracks(1, 75);
    cdimage::write(tmp.file("--disc"), disc);
    const std::vector<std::string> commands[] = {
        {"render", "--", "--in.wav", "--out.wav"},
        {"render", "--tempo", "10", "--", "--in.wav", "--help.wav"},
        {"normalize", "--", "--in.wav", "--out.wav", "50"},
        {"mp3-info", "--", "--in.mp3"},
        {"bpm", "--", "--in.wav"},
        {"cd-list", "--", "--disc.cue"},
        {"cd-rip", "--", "--disc.cue", "1", "--track.wav"},
        {"cd-rip", "--format", "wav", "--", "--disc.cue", "all", "--rip"},
    };
    for (const auto& args : commands) {
        std::string cmd =
            "cd " + clitest::quote(tmp.path().string()) + " && " + clitest::quote(QUORVIN_CLI);
        for (const auto& a : args) cmd += " " + clitest::quote(a);
        cmd += " >/dev/null 2>&1";
        const int raw = std::system(cmd.c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << cmd;
    }
    EXPECT_TRUE(fs::exists(tmp.file("--out.wav")));
    EXPECT_TRUE(fs::exists(tmp.file("--help.wav")));
    EXPECT_TRUE(fs::exists(tmp.file("--track.wav")));
    EXPECT_TRUE(fs::is_directory(tmp.file("--rip")));
}

// A render interrupted by a signal, during the WAV render or during the MP3 step: the program
// ends as the signal ends it and leaves no temporary and no output behind.
class QuorvinInterrupted : public ::testing::TestWithParam<std::tuple<int, std::string>> {};

TEST_P(QuorvinInterrupted, LeavesNothingBehind) {
    const auto& [sig, extension] = GetParam();
    fixtures::TempDir tmp;
    const std::string in = tmp.file("long.wav"), out = tmp.file("out" + extension);
    fixtures::writeWav(in, fixtures::sine(440, 120));
    // The MP3 step has begun when a second temporary (the MP3's) exists beside the WAV one.
    const size_t tempsToWaitFor = extension == ".mp3" ? 2 : 1;
    auto temporaries = [&] {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(tmp.path()))
            n += e.path().filename().string().ends_with(".part");
        return n;
    };

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::freopen("/dev/null", "w", stderr);
        execl(QUORVIN_CLI, QUORVIN_CLI, "render", in.c_str(), out.c_str(), "--pitch", "3",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool seen = false;
    while (!(seen = temporaries() >= tempsToWaitFor) && std::chrono::steady_clock::now() < deadline)
        usleep(500);
    kill(child, sig);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(seen) << "the render never reached the step to interrupt";
    ASSERT_TRUE(WIFSIGNALED(status)) << "exited with " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_EQ(temporaries(), 0u);
    EXPECT_FALSE(fs::exists(out));
}

INSTANTIATE_TEST_SUITE_P(SignalsAndSteps, QuorvinInterrupted,
                         ::testing::Combine(::testing::Values(SIGINT, SIGTERM),
                                            ::testing::Values(".wav", ".mp3")));
