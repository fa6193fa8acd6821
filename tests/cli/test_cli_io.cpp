// `quorvin render` by OUT's format, through standard input and output, with the source's tags;
// each command's --help against its man page entry; every error naming its command. Checked with
// ffmpeg, ffprobe and man.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "cli/commands.h"
#include "tests/cli/run_quorvin.h"

namespace fs = std::filesystem;
using clitest::quorvin;
using clitest::quote;

namespace {

// Runs `command` through the shell; its standard output, and its exit status in `status`.
std::string shell(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    size_t n;
    while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int raw = p ? pclose(p) : -1;
    if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

// ffprobe's "key=value" lines for `entries` of `path`, as a map (tags in any case, by lower-case
// name without the "TAG:" part).
std::map<std::string, std::string> probe(const std::string& path) {
    const std::string text = shell(
        "ffprobe -v error -show_entries format=format_name,duration:format_tags:stream="
        "codec_name,sample_rate,channels:stream_tags -of default=nw=1 " +
        quote(path));
    std::map<std::string, std::string> fields;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        if (key.rfind("TAG:", 0) == 0) key = key.substr(4);
        for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
        fields[key] = line.substr(eq + 1);
    }
    return fields;
}

// A tagged source of `seconds` of a 440 Hz tone: `name`'s extension gives its format.
std::string taggedSource(const fixtures::TempDir& tmp, const std::string& name, int rate,
                         int channels, double seconds) {
    const std::string plain = tmp.file("plain-" + name + ".wav"), path = tmp.file(name);
    fixtures::writeWav(plain, fixtures::sine(440, seconds, rate, channels));
    int status = 0;
    shell("ffmpeg -v error -y -i " + quote(plain) +
              " -metadata title='Tïtle & Co' -metadata artist='Ärtist' -metadata album=Album " +
              quote(path),
          &status);
    EXPECT_EQ(status, 0) << "ffmpeg could not make " << name;
    fs::remove(plain);
    return path;
}

}  // namespace

// A source (MP3 stereo 44.1 kHz, WAV mono 48 kHz) into each format OUT's extension names: the
// codec, the source's rate and channels (Opus at 48 kHz; MP3 as the window saves it), the length
// at +25 % tempo, and its title, artist and album as ffprobe reads them.
class RenderFormats
    : public ::testing::TestWithParam<std::tuple<std::string, std::tuple<std::string, int, int>>> {
};

TEST_P(RenderFormats, WritesTheFormatWithTheSourcesTags) {
    const auto& [extension, source] = GetParam();
    const auto& [sourceName, rate, channels] = source;
    fixtures::TempDir tmp;
    const std::string in = taggedSource(tmp, sourceName, rate, channels, 2.0);
    const std::string out = tmp.file("out" + extension);
    const auto r = quorvin({"render", in, out, "--tempo", "25"}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;

    const std::map<std::string, std::string> codecs = {{".wav", "pcm_s16le"},
                                                       {".mp3", "mp3"},
                                                       {".flac", "flac"},
                                                       {".ogg", "vorbis"},
                                                       {".opus", "opus"}};
    auto f = probe(out);
    EXPECT_EQ(f["codec_name"], codecs.at(extension));
    if (extension != ".mp3") {  // MP3 is the window's save: always stereo
        EXPECT_EQ(f["channels"], std::to_string(channels));
        EXPECT_EQ(f["sample_rate"], extension == ".opus" ? "48000" : std::to_string(rate));
    }
    EXPECT_NEAR(std::stod(f["duration"]), 2.0 / 1.25, 0.06);
    EXPECT_EQ(f["title"], "Tïtle & Co");
    EXPECT_EQ(f["artist"], "Ärtist");
    EXPECT_EQ(f["album"], "Album");
    // ffmpeg decodes it all without a complaint.
    int status = 0;
    EXPECT_EQ(shell("ffmpeg -v error -i " + quote(out) + " -f null - 2>&1", &status), "");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(clitest::filesIn(tmp.path()), 2u);  // the source and OUT: no work file left
}

// An Opus file ends with its audio: the last milliseconds (the encoder's lookahead) are the
// source's, not a fade into noise, and no silence is added after them; also where the silence
// that pushes them out fills the last page alone (eight channels of this length).
TEST(RenderToOpus, KeepsTheLastMillisecondsOfItsAudio) {
    fixtures::TempDir tmp;
    const std::string source = tmp.file("tone.wav"), out = tmp.file("tone.opus");
    for (const auto& [channels, frames] : {std::pair{1, 144000}, {8, 205800}}) {
        fixtures::Pcm pcm = fixtures::sine(440, 5.0, 48000, channels, 0.5);
        pcm.samples.resize(size_t(frames) * size_t(channels));  // 144000: 150 frames of 20 ms
        fixtures::writeWav(source, pcm);
        ASSERT_EQ(quorvin({"render", source, out}, tmp).status, 0);
        int status = 0;
        shell("ffmpeg -v error -y -i " + quote(out) + " -c:a pcm_s16le " +
                  quote(tmp.file("back.wav")),
              &status);
        ASSERT_EQ(status, 0);
        const fixtures::Pcm back = fixtures::readAudio(tmp.file("back.wav"));
        ASSERT_EQ(back.frames(), pcm.frames()) << channels;
        int worst = 0;
        // The first channel's last 5 ms (a surround file's LFE is coded band-limited).
        for (size_t i = size_t(frames - 240) * size_t(channels); i < pcm.samples.size();
             i += size_t(channels))
            worst = std::max(worst, std::abs(int(back.samples[i]) - int(pcm.samples[i])));
        EXPECT_LT(worst, 1000) << channels;  // 3 % of full scale
    }
}

// Five-point-one in Vorbis and Opus, each channel a tone of its own: what we write, ffmpeg decodes
// with each tone in its place, and what ffmpeg writes, we decode so (the streams keep their
// channels in Vorbis's order, WAV in WAVE's).
class SurroundInOgg : public ::testing::TestWithParam<std::string> {};

TEST_P(SurroundInOgg, EachChannelKeepsItsPlaceBothWays) {
    const std::string& extension = GetParam();
    fixtures::TempDir tmp;
    const std::string source = tmp.file("source.wav");
    fixtures::Pcm pcm = fixtures::sine(440, 1.0, 48000, 6);
    // The LFE (the fourth) low, as the encoders keep it.
    const auto tone = [](int channel) { return channel == 3 ? 80.0 : 300.0 + 170.0 * channel; };
    for (int64_t i = 0; i < pcm.frames(); ++i)
        for (int c = 0; c < 6; ++c)
            pcm.samples[size_t(i * 6 + c)] =
                int16_t(8000 * std::sin(2 * M_PI * tone(c) * double(i) / 48000));
    fixtures::writeWav(source, pcm);
    const auto expectTones = [&](const std::string& wav, const std::string& way) {
        const fixtures::Pcm got = fixtures::readAudio(wav);
        ASSERT_EQ(got.channels, 6) << way;
        for (int c = 0; c < 6; ++c)
            EXPECT_NEAR(fixtures::dominantFrequency(got, c), tone(c), 5.0)
                << way << ": channel " << c;
    };
    int status = 0;
    const std::string ours = tmp.file("ours" + extension), back = tmp.file("back.wav");
    ASSERT_EQ(quorvin({"render", source, ours}, tmp).status, 0);
    shell("ffmpeg -v error -y -i " + quote(ours) + " -c:a pcm_s16le " + quote(back), &status);
    ASSERT_EQ(status, 0);
    expectTones(back, "ours, decoded by ffmpeg");

    const std::string theirs = tmp.file("theirs" + extension), mine = tmp.file("mine.wav");
    shell("ffmpeg -v error -y -i " + quote(source) + " " + quote(theirs), &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(quorvin({"render", theirs, mine}, tmp).status, 0);
    expectTones(mine, "ffmpeg's, decoded by us");
}

INSTANTIATE_TEST_SUITE_P(Codecs, SurroundInOgg, ::testing::Values(".ogg", ".opus"),
                         [](const auto& info) { return info.param.substr(1); });

// A source whose file says where its channels go (2.1: the third is the LFE, which the usual
// three-channel places would take for the centre): the MP3, always stereo, mixes them as the file
// places them, the LFE left out: a WAV by its extensible header's mask, a FLAC by the mask its
// comment keeps. A FLAC rendered from either keeps the places.
class MixedToMp3 : public ::testing::TestWithParam<std::string> {};

TEST_P(MixedToMp3, MixesTheChannelsWhereTheSourcePlacesThem) {
    fixtures::TempDir tmp;
    const std::string source = tmp.file("l21" + GetParam()), out = tmp.file("out.mp3");
    int status = 0;
    shell(
        "ffmpeg -v error -f lavfi -i sine=f=300:d=2 -f lavfi -i sine=f=400:d=2 -f lavfi -i "
        "sine=f=500:d=2 -filter_complex '[0][1][2]join=inputs=3:channel_layout=2.1[a]' -map "
        "'[a]' -c:a " +
            std::string(GetParam() == ".wav" ? "pcm_s16le " : "flac ") + quote(source),
        &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(quorvin({"render", source, out}, tmp).status, 0);
    shell("ffmpeg -v error -y -i " + quote(out) + " -c:a pcm_s16le " + quote(tmp.file("back.wav")),
          &status);
    const fixtures::Pcm got = fixtures::readAudio(tmp.file("back.wav"));
    for (int c = 0; c < 2; ++c)
        EXPECT_LT(fixtures::toneLevelDb(got, c, 500),
                  fixtures::toneLevelDb(got, c, 300 + 100 * c) - 30)
            << "channel " << c;
    ASSERT_EQ(quorvin({"render", source, tmp.file("out.flac")}, tmp).status, 0);
    EXPECT_EQ(shell("ffprobe -v error -show_entries stream=channel_layout -of csv=p=0 " +
                    quote(tmp.file("out.flac"))),
              "2.1\n");
}

INSTANTIATE_TEST_SUITE_P(WavAndFlac, MixedToMp3, ::testing::Values(".wav", ".flac"),
                         [](const auto& info) { return info.param.substr(1); });

// A WAV whose RIFF INFO text is 8-bit (Windows-1252, as most Windows programs write it) keeps it,
// read as such; valid UTF-8 stays UTF-8.
// On a terminal the progress goes on through the encoding, which may take far longer than the
// render: a second bar follows the render's.
TEST(RenderProgress, FollowsTheEncodingToo) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("in.wav");
    fixtures::writeWav(in, fixtures::sine(440, 10.0));
    for (const std::string extension : {".mp3", ".flac"}) {
        const std::string said = shell("script -qc " +
                                       quote(quote(QUORVIN_CLI) + " render " + quote(in) + " " +
                                             quote(tmp.file("out" + extension))) +
                                       " /dev/null");
        std::vector<int> percents;
        for (size_t at = said.find("] "); at != std::string::npos; at = said.find("] ", at + 1))
            percents.push_back(std::atoi(said.c_str() + at + 2));
        const auto full = std::find(percents.begin(), percents.end(), 100);
        ASSERT_NE(full, percents.end()) << said;
        EXPECT_TRUE(std::any_of(full, percents.end(), [](int p) { return p < 100; }))
            << extension << ": " << said;
    }
}

TEST(RenderTags, EightBitInfoTextIsKept) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("info.wav"), out = tmp.file("out.flac");
    fixtures::writeWav(in, fixtures::sine(440, 0.5));
    std::vector<uint8_t> wav = fixtures::readBytes(in);
    const std::vector<uint8_t> list = {'L', 'I', 'S', 'T',  32,   0,    0,   0,   'I', 'N',
                                       'F', 'O', 'I', 'N',  'A',  'M',  6,   0,   0,   0,
                                       'C', 'a', 'f', 0xE9, 0x85, 0,    'I', 'A', 'R', 'T',
                                       5,   0,   0,   0,    0xC3, 0x84, 'r', 't', 0,   0};
    wav.insert(wav.begin() + 36, list.begin(), list.end());  // before the data chunk
    const uint32_t riff = uint32_t(wav.size() - 8);
    for (int i = 0; i < 4; ++i) wav[4 + size_t(i)] = uint8_t(riff >> (8 * i));
    fixtures::writeBytes(in, wav);
    // The same text in an MP3's ID3v1 tag, as Windows taggers and ffmpeg write it.
    const std::string mp3 = tmp.file("v1.mp3");
    fixtures::writeMp3(mp3, fixtures::sine(440, 0.5));
    std::vector<uint8_t> v1(128, 0);
    const std::string fields = std::string("TAG") + "Caf\xE9\x85";
    std::copy(fields.begin(), fields.end(), v1.begin());
    const std::string artist = "\xC3\x84rt";
    std::copy(artist.begin(), artist.end(), v1.begin() + 33);
    v1[127] = 255;  // no genre
    std::vector<uint8_t> tagged = fixtures::readBytes(mp3);
    tagged.insert(tagged.end(), v1.begin(), v1.end());
    fixtures::writeBytes(mp3, tagged);
    for (const std::string& source : {in, mp3}) {
        const auto r = quorvin({"render", source, out}, tmp);
        ASSERT_EQ(r.status, 0) << r.err;
        auto f = probe(out);
        EXPECT_EQ(f["title"], "Café…") << source;
        EXPECT_EQ(f["artist"], "Ärt") << source;
    }
    // An AIFF's title in its NAME chunk, as ffmpeg writes it.
    const std::string aiff = tmp.file("name.aiff");
    int status = 0;
    shell("ffmpeg -v error -y -i " + quote(in) + " -metadata title=Name " + quote(aiff), &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(quorvin({"render", aiff, out}, tmp).status, 0);
    EXPECT_EQ(probe(out)["title"], "Name");
}

// An MP3's ID3v2 tag is read in each header layout: version 2.3 and 2.4, with an extended header
// or a footer; two artists in a 2.4 frame stay two.
TEST(RenderTags, Id3v2TagsInEveryLayoutAreRead) {
    fixtures::TempDir tmp;
    const std::string plain = tmp.file("plain.mp3");
    fixtures::writeMp3(plain, fixtures::sine(440, 0.5), 128, -1, true);
    const std::vector<uint8_t> mp3 = fixtures::readBytes(plain);
    const uint8_t v23Extended[] = {0, 0, 0, 6, 0, 0, 0, 0, 0, 0};
    const uint8_t v24Extended[] = {0, 0, 0, 6, 1, 0};
    const struct {
        uint8_t version, flags;
        std::vector<uint8_t> extended;
    } layouts[] = {{3, 0, {}},
                   {3, 0x40, {std::begin(v23Extended), std::end(v23Extended)}},
                   {4, 0x40, {std::begin(v24Extended), std::end(v24Extended)}},
                   {4, 0x10, {}}};
    for (const auto& l : layouts) {
        // A long title and a short artist last (each of TagLib's faults loses one of them).
        std::vector<uint8_t> frame = {'T', 'I', 'T', '2', 0, 0, 0, 16, 0, 0, 3};
        for (const char c : std::string("A longer title!")) frame.push_back(uint8_t(c));
        const std::string artist = l.version == 4 ? std::string("Me\0You", 6) : "Me";
        const uint8_t artistHead[] = {'T', 'P', 'E', '1', 0, 0, 0, uint8_t(artist.size() + 1),
                                      0,   0,   3};
        frame.insert(frame.end(), std::begin(artistHead), std::end(artistHead));
        frame.insert(frame.end(), artist.begin(), artist.end());
        std::vector<uint8_t> body = l.extended;
        body.insert(body.end(), frame.begin(), frame.end());
        const uint8_t size = uint8_t(body.size());
        const uint8_t header[] = {'I', 'D', '3', l.version, 0, l.flags, 0, 0, 0, size};
        std::vector<uint8_t> file(std::begin(header), std::end(header));
        file.reserve(file.size() + body.size() + 10 + mp3.size());
        file.insert(file.end(), body.begin(), body.end());
        const std::string in = tmp.file("tagged.mp3"), out = tmp.file("out.wav");
        // Cut before its footer or audio (a broken download): refused, never a crash.
        fixtures::writeBytes(in, file);
        EXPECT_EQ(quorvin({"render", in, out}, tmp).status, 1) << int(l.flags);
        if (l.flags & 0x10) {
            const std::vector<uint8_t> footer = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 0, size};
            file.insert(file.end(), footer.begin(), footer.end());
        }
        // Whole, with an ID3v1 tag at the end that gives the album the ID3v2 tag lacks.
        file.insert(file.end(), mp3.begin(), mp3.end());
        std::vector<uint8_t> v1(128, 0);
        std::copy_n("TAG", 3, v1.begin());
        std::copy_n("Old album", 9, v1.begin() + 63);
        file.insert(file.end(), v1.begin(), v1.end());
        fixtures::writeBytes(in, file);
        const auto r = quorvin({"render", in, out}, tmp);
        ASSERT_EQ(r.status, 0) << r.err;
        auto tags = probe(out);
        const std::string layout = "2." + std::to_string(l.version) + " " + std::to_string(l.flags);
        EXPECT_EQ(tags["title"], "A longer title!") << layout;
        EXPECT_EQ(tags["artist"], l.version == 4 ? "Me; You" : "Me") << layout;
        EXPECT_EQ(tags["album"], "Old album") << layout;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, RenderFormats,
    ::testing::Combine(::testing::Values(".wav", ".mp3", ".flac", ".ogg", ".opus"),
                       ::testing::Values(std::make_tuple("song.mp3", 44100, 2),
                                         std::make_tuple("voice.wav", 48000, 1))),
    [](const auto& info) {
        return std::get<0>(info.param).substr(1) + "_from_" +
               std::get<0>(std::get<1>(info.param))
                   .substr(std::get<0>(std::get<1>(info.param)).find('.') + 1);
    });

// "-" for IN and OUT, in a pipe as sox and ffmpeg are used: the WAV on standard output is the
// same, byte for byte, as the one written to a file, its header giving the sizes it has, and the
// work file standard input was kept in is gone, also after a killed run.
TEST(QuorvinRenderPipes, StandardInputToStandardOutputIsTheFileRender) {
    fixtures::TempDir tmp;
    const std::string in = taggedSource(tmp, "song.mp3", 44100, 2, 2.0);
    const std::string file = tmp.file("file.wav"), piped = tmp.file("piped.wav");
    const std::string cache = tmp.file("cache");
    ASSERT_EQ(quorvin({"render", in, file, "--pitch", "2"}, tmp).status, 0);

    int status = 0;
    const std::string err =
        shell("cat " + quote(in) + " | XDG_CACHE_HOME=" + quote(cache) + " " + quote(QUORVIN_CLI) +
                  " render - - --pitch 2 2>&1 >" + quote(piped),
              &status);
    ASSERT_EQ(status, 0) << err;
    const auto bytes = fixtures::readBytes(piped);
    EXPECT_TRUE(bytes == fixtures::readBytes(file));
    ASSERT_GT(bytes.size(), 44u);
    EXPECT_EQ(fixtures::le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(probe(piped)["title"], "Tïtle & Co");
    EXPECT_EQ(clitest::filesIn(cache + "/quorvin"), 0u);

    // A reader that stops early ends the program as it ends sox, and takes no work file with it.
    shell("cat " + quote(in) + " | XDG_CACHE_HOME=" + quote(cache) + " " + quote(QUORVIN_CLI) +
          " render - - 2>/dev/null | head -c 100 >/dev/null");
    EXPECT_EQ(clitest::filesIn(cache + "/quorvin"), 0u);

    // Input that is no audio: said, naming standard input, and nothing on standard output.
    const std::string refused = shell("echo nothing | XDG_CACHE_HOME=" + quote(cache) + " " +
                                          quote(QUORVIN_CLI) + " render - - 2>&1 >" + quote(piped),
                                      &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(refused.rfind("quorvin render: ", 0), 0u) << refused;
    EXPECT_NE(refused.find("standard input"), std::string::npos) << refused;
    EXPECT_EQ(fs::file_size(piped), 0u);
    EXPECT_EQ(clitest::filesIn(cache + "/quorvin"), 0u);

    // Standard output closed by the caller: said, not written into a file that took its number.
    const std::string closed = shell("XDG_CACHE_HOME=" + quote(cache) + " " + quote(QUORVIN_CLI) +
                                         " render " + quote(in) + " - 2>&1 >&-",
                                     &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(closed.find("cannot write to standard output"), std::string::npos) << closed;

    // A run killed while it spools (SIGKILL: nothing of it runs after) leaves its own folder
    // behind; the next run removes it (a running one's folder is never touched).
    const std::string fifo = tmp.file("fifo"), work = quote(cache + "/quorvin");
    shell("mkfifo " + quote(fifo) + "; XDG_CACHE_HOME=" + quote(cache) + " " + quote(QUORVIN_CLI) +
          " render - " + quote(tmp.file("killed.wav")) + " <" + quote(fifo) +
          " 2>/dev/null & q=$!; exec 3>" + quote(fifo) + "; head -c 100000 " + quote(in) +
          " >&3; i=0; while [ $i -lt 400 ] && [ -z \"$(ls -A " + work +
          "/[0-9]*/ 2>/dev/null)\" ]; do sleep 0.05; i=$((i + 1)); done; kill -9 $q; wait $q; "
          "exec 3>&-");
    EXPECT_EQ(clitest::filesIn(cache + "/quorvin"), 2u);  // its folder, with the spool, and lock
    shell("echo nothing | XDG_CACHE_HOME=" + quote(cache) + " " + quote(QUORVIN_CLI) +
          " render - - >/dev/null 2>&1");
    EXPECT_EQ(clitest::filesIn(cache + "/quorvin"), 0u);
}

// `quorvin COMMAND --help` says, word for word, what `man quorvin` says of the command.
TEST(QuorvinHelp, EachCommandsHelpIsItsManPageEntry) {
    const std::string page =
        shell("LC_ALL=C MANWIDTH=100 MANROFFOPT=-rHY=0 man -l " +
              quote(std::string(QUORVIN_SOURCE_DIR) + "/docs/man/quorvin.1") + " 2>/dev/null");
    ASSERT_NE(page.find("COMMANDS"), std::string::npos) << "man could not show the page";
    // A request not at the start of its line is printed as text, joining two entries.
    for (const char* name : {"quorvin.1", "quorvin-audio-tools.1"}) {
        std::ifstream source(std::string(QUORVIN_SOURCE_DIR) + "/docs/man/" + name);
        int number = 0;
        for (std::string line; std::getline(source, line);) {
            ++number;
            EXPECT_TRUE(line.find(".TP") == std::string::npos || line.rfind(".TP", 0) == 0)
                << name << ":" << number << ": " << line;
        }
    }
    const auto words = [](const std::string& text) {
        std::vector<std::string> w;
        std::istringstream in(text);
        for (std::string word; in >> word;) w.push_back(word);
        return w;
    };
    fixtures::TempDir tmp;
    for (const cli::Command& c : cli::commands()) {
        // The entry: from the line naming the command up to the next entry or section.
        std::string entry;
        bool taking = false;
        std::istringstream lines(page);
        for (std::string line; std::getline(lines, line);) {
            const bool entryStart =
                line.size() > 7 && line.compare(0, 7, "       ") == 0 && line[7] != ' ';
            if (entryStart || (!line.empty() && line[0] != ' '))
                taking = entryStart && line.compare(7, std::string(c.name).size() + 1,
                                                    std::string(c.name) + " ") == 0;
            if (taking) entry += line + "\n";
        }
        ASSERT_FALSE(entry.empty()) << c.name;
        const auto r = quorvin({c.name, "--help"}, tmp);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(words(r.out), words(entry)) << c.name << ":\n" << r.out << "\nman:\n" << entry;
    }
}

// Every refusal of every command starts with "quorvin COMMAND: ". WAV stands for a sound file
// that can be read, OUT for where a command would write.
class QuorvinErrors : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(QuorvinErrors, StartWithTheCommandsName) {
    fixtures::TempDir tmp;
    std::vector<std::string> args = GetParam();
    for (std::string& a : args)
        if (a == "WAV") {
            a = tmp.file("in.wav");
            fixtures::writeWav(a, fixtures::sine(440, 0.2));
        } else if (a == "OUT") {
            a = tmp.file("out.wav");
        }
    const auto r = quorvin(args, tmp);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err.rfind("quorvin " + args[0] + ": ", 0), 0u) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, QuorvinErrors,
    ::testing::Values(std::vector<std::string>{"render", "WAV"},
                      std::vector<std::string>{"render", "WAV", "out.aiff"},
                      std::vector<std::string>{"render", "missing.wav", "out.flac"},
                      std::vector<std::string>{"render", "WAV", "out.wav", "--tempo", "x"},
                      std::vector<std::string>{"bpm"}, std::vector<std::string>{"bpm", "missing"},
                      std::vector<std::string>{"key", "missing.wav"},
                      std::vector<std::string>{"mp3-info", "missing.mp3"},
                      std::vector<std::string>{"normalize", "WAV"},
                      std::vector<std::string>{"normalize", "WAV", "out.wav", "200"},
                      std::vector<std::string>{"normalize", "WAV", "out.wav", "--lufs", "5"},
                      std::vector<std::string>{"normalize", "WAV", "out.wav", "50", "--bits", "8"},
                      std::vector<std::string>{"normalize", "WAV", "OUT", "0x10"},
                      std::vector<std::string>{"normalize", "missing.wav", "out.wav", "50"},
                      std::vector<std::string>{"cd-list", "missing.cue"},
                      std::vector<std::string>{"cd-rip", "missing.cue", "1", "out.wav"}));
