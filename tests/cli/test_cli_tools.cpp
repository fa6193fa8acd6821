// `quorvin normalize`, `cd-list` and `cd-rip` through the executable: the subcommands are wired to
// the same code as their windows, with usable exit statuses and messages.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cd/cd_image.h"
#include "tests/cli/run_quorvin.h"

using clitest::quorvin;

TEST(QuorvinNormalize, ScalesThePeakAndRefusesBadInput) {
    fixtures::TempDir tmp;
    // A name whose dot starts no audio format's extension is taken as it is.
    const std::string in = tmp.file("in.wav"), out = tmp.file("Mr. Brown");
    fixtures::writeWav(in, fixtures::sine(440, 1.0, 44100, 2, 0.25));
    const auto ok = quorvin({"normalize", in, out, "80"}, tmp);
    ASSERT_EQ(ok.status, 0) << ok.err;
    const fixtures::Pcm pcm = fixtures::readAudio(out);
    int peak = 0;
    for (int16_t s : pcm.samples) peak = std::max(peak, std::abs(int(s)));
    EXPECT_NEAR(peak, 0.8 * 32767, 1.0);
    EXPECT_EQ(ok.err, "");
    // A near-silent file is scaled as asked, and the note says what that raises.
    fixtures::writeWav(in, fixtures::sine(440, 1.0, 44100, 2, 0.0001));
    const auto hiss = quorvin({"normalize", in, out, "80"}, tmp);
    ASSERT_EQ(hiss.status, 0) << hiss.err;
    EXPECT_NE(hiss.err.find("near silence"), std::string::npos) << hiss.err;

    const auto badPercent = quorvin({"normalize", in, tmp.file("x.wav"), "150"}, tmp);
    EXPECT_EQ(badPercent.status, 2);
    EXPECT_NE(badPercent.err.find("percentage"), std::string::npos);
    const auto notWav =
        quorvin({"normalize", tmp.file("missing.wav"), tmp.file("x.wav"), "50"}, tmp);
    EXPECT_EQ(notWav.status, 1);
    EXPECT_NE(notWav.err.find("missing.wav"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(tmp.file("x.wav")));
    EXPECT_EQ(quorvin({"normalize", in}, tmp).status, 2);
}

namespace {

std::vector<float> floatSine(double seconds, int rate, int channels, double amp = 0.25) {
    std::vector<float> v(size_t(seconds * rate) * size_t(channels));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = float(amp * std::sin(2 * M_PI * 440.0 * double(i / size_t(channels)) / rate));
    return v;
}

size_t temporariesIn(const std::filesystem::path& dir) {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        n += e.path().filename().string().ends_with(".part");
    return n;
}

}  // namespace

// Infinities and NaNs in a float file are faults, not sound: left out of the peak and the
// loudness, written as silence, and counted in a note.
class NonFiniteSamples : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(NonFiniteSamples, AreCountedAndWrittenAsSilence) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("in.wav"), out = tmp.file("out.wav");
    auto samples = floatSine(2.0, 44100, 2);
    const size_t faults[] = {1001, 20002, 50003};
    samples[faults[0]] = INFINITY;
    samples[faults[1]] = -INFINITY;
    samples[faults[2]] = NAN;
    fixtures::writeBytes(in, fixtures::floatWavBytes(samples, 2, 44100));
    std::vector<std::string> args = {GetParam()[0], in, out};
    args.insert(args.end(), GetParam().begin() + 1, GetParam().end());

    const auto r = quorvin(args, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("3 samples are not a number"), std::string::npos) << r.err;
    const fixtures::Pcm pcm = fixtures::readAudio(out);
    ASSERT_EQ(pcm.samples.size(), samples.size());
    for (size_t at : faults) EXPECT_EQ(pcm.samples[at], 0) << at;
    int peak = 0;
    for (int16_t v : pcm.samples) peak = std::max(peak, std::abs(int(v)));
    const double want = GetParam()[0] == "render"   ? 0.25 * 32768
                        : GetParam().back() == "90" ? 0.9 * 32767
                                                    : -1;
    if (want > 0) {
        EXPECT_NEAR(peak, want, 2);
    } else {
        EXPECT_LT(peak, 32000);  // no full-scale click
    }
    EXPECT_GT(fixtures::rmsDb(pcm, 0), -30.0);
}

INSTANTIATE_TEST_SUITE_P(NormalizeAndRender, NonFiniteSamples,
                         ::testing::Values(std::vector<std::string>{"normalize", "90"},
                                           std::vector<std::string>{"normalize", "--lufs", "-20"},
                                           std::vector<std::string>{"render"}));

// RF64 and BW64, the WAV forms for files over 4 GB, read wherever WAV is read; also an RF64 file
// whose recorder stopped before it wrote its sizes (all 0), which holds its audio to the end.
class WideWav : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(WideWav, IsReadByNormalizeAndRender) {
    const auto& [magic, command] = GetParam();
    fixtures::TempDir tmp;
    const std::string in = tmp.file("in.wav"), out = tmp.file("out.wav");
    const auto samples = floatSine(1.0, 48000, 2);
    auto bytes = fixtures::floatWavBytes(samples, 2, 48000, magic.substr(0, 4).c_str());
    if (magic.size() > 4) std::fill(bytes.begin() + 20, bytes.begin() + 44, 0);  // the ds64 sizes
    fixtures::writeBytes(in, bytes);
    const auto r = command == "render" ? quorvin({"render", in, out}, tmp)
                                       : quorvin({"normalize", in, out, "50"}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    const fixtures::Pcm pcm = fixtures::readAudio(out);
    EXPECT_EQ(pcm.rate, 48000);
    ASSERT_EQ(pcm.samples.size(), samples.size());
    int peak = 0;
    for (int16_t v : pcm.samples) peak = std::max(peak, std::abs(int(v)));
    EXPECT_NEAR(peak, command == "render" ? 0.25 * 32768 : 0.5 * 32767, 2);
}

INSTANTIATE_TEST_SUITE_P(Rf64AndBw64, WideWav,
                         ::testing::Combine(::testing::Values("RF64", "BW64", "RF64 unfinished"),
                                            ::testing::Values("normalize", "render")));

// What cannot be normalised is refused with the reason, and nothing is written.
TEST(QuorvinNormalize, RefusesRatesTheMeterCannotMeasureAndFilesWithoutAudio) {
    fixtures::TempDir tmp;
    const std::string out = tmp.file("out.wav");
    struct Case {
        int rate;
        double seconds;
        std::vector<std::string> target;
        std::string says;
    } cases[] = {
        {2, 100.0, {"80"}, "its sample rate, 2 Hz, is below the 100 Hz"},  // as render says it
        {100, 10.0, {"--lufs", "-16"}, "sample rate of 100 Hz"},
        {2000, 10.0, {"--lufs", "-16"}, "sample rate of 2000 Hz"},
        {6000, 5.0, {"--lufs", "-16"}, "sample rate of 6000 Hz"},
        {44100, 0.0, {"--lufs", "-16"}, "no audio"},
        {44100, 0.0, {"80"}, "no audio"},
        {200000, 0.05, {"80"}, "its sample rate, 200000 Hz, is above"},  // as render says it
    };
    for (const Case& c : cases) {
        const std::string in = tmp.file("in" + std::to_string(c.rate) + ".wav");
        fixtures::writeBytes(in,
                             fixtures::floatWavBytes(floatSine(c.seconds, c.rate, 1), 1, c.rate));
        std::vector<std::string> args = {"normalize", in, out};
        args.insert(args.end(), c.target.begin(), c.target.end());
        const auto r = quorvin(args, tmp);
        EXPECT_EQ(r.status, 1) << c.says << "\n" << r.out;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("Normalized"), std::string::npos) << r.out;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.says;
    }
    EXPECT_EQ(temporariesIn(tmp.path()), 0u);
}

// Over the file-size limit (ulimit -f) the write fails like a full disk: a message naming OUT,
// no temporary, no OUT.
class OverTheFileSizeLimit : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(OverTheFileSizeLimit, IsAWriteErrorNamingTheOutput) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("in.wav"), out = tmp.file("out" + GetParam()[0]);
    fixtures::writeWav(in, fixtures::sine(440, 10.0));
    std::string cmd = "ulimit -f 400; exec " + clitest::quote(QUORVIN_CLI);
    for (size_t i = 1; i < GetParam().size(); ++i)
        cmd += " " + clitest::quote(GetParam()[i] == "IN"    ? in
                                    : GetParam()[i] == "OUT" ? out
                                                             : GetParam()[i]);
    cmd += " 2>" + clitest::quote(tmp.file("err.txt")) + " >/dev/null";
    const int raw = std::system(cmd.c_str());
    const auto e = fixtures::readBytes(tmp.file("err.txt"));
    const std::string err(e.begin(), e.end());
    std::filesystem::remove(tmp.file("err.txt"));
    ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << WTERMSIG(raw);
    EXPECT_EQ(WEXITSTATUS(raw), 1) << err;
    EXPECT_NE(err.find(out), std::string::npos) << err;
    EXPECT_NE(err.find("too large"), std::string::npos) << err;
    EXPECT_EQ(err.find(".part"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(temporariesIn(tmp.path()), 0u);
}

// A result printed to standard output that does not arrive (standard output closed, or a file
// over the file-size limit) is a failure with a message, not a silent success; a command that
// prints nothing loses nothing to a closed standard output.
TEST(StandardOutput, ThatCannotBeWrittenIsAFailure) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("in.wav");
    fixtures::writeWav(in, fixtures::drumTrack(120, 4.0));
    const std::string bpm = clitest::quote(QUORVIN_CLI) + " bpm " + clitest::quote(in);
    const struct {
        std::string command;
        int status;
    } cases[] = {
        {"exec " + bpm + " >&-", 1},
        {"ulimit -f 0; exec " + bpm + " >" + clitest::quote(tmp.file("o.txt")), 1},
        {"exec " + clitest::quote(QUORVIN_CLI) + " --version >&-", 1},
        {"exec " + clitest::quote(QUORVIN_CLI) + " render --help >&-", 1},
        {"exec " + clitest::quote(QUORVIN_CLI) + " render " + clitest::quote(in) + " " +
             clitest::quote(tmp.file("out.wav")) + " >&-",
         0},
    };
    for (const auto& c : cases) {
        // A limit is the command's alone: its messages go through a pipe to the test.
        const std::string cmd = "(" + c.command + ") 2>&1; echo \"status $?\"";
        std::unique_ptr<FILE, int (*)(FILE*)> p(
            popen(("sh -c " + clitest::quote(cmd)).c_str(), "r"),
            [](FILE* f) { return f ? pclose(f) : -1; });
        std::string said;
        char buf[4096];
        for (size_t n; p && (n = fread(buf, 1, sizeof buf, p.get())) > 0;) said.append(buf, n);
        EXPECT_NE(said.find("status " + std::to_string(c.status)), std::string::npos)
            << c.command << ": " << said;
        EXPECT_EQ(said.find("cannot write to standard output") != std::string::npos, c.status == 1)
            << c.command << ": " << said;
    }
}

INSTANTIATE_TEST_SUITE_P(RenderAndNormalize, OverTheFileSizeLimit,
                         ::testing::Values(std::vector<std::string>{".wav", "render", "IN", "OUT"},
                                           std::vector<std::string>{".mp3", "render", "IN", "OUT"},
                                           std::vector<std::string>{".wav", "normalize", "IN",
                                                                    "OUT", "80"}));

// Room for the audio but not for the tags (a disk that fills as the tags are written): a failure
// that keeps the user's file, never a file cut short put in its place.
class TagsOverTheFileSizeLimit : public ::testing::TestWithParam<std::string> {};

TEST_P(TagsOverTheFileSizeLimit, AreAWriteErrorThatKeepsTheUsersFile) {
    fixtures::TempDir tmp;
    const std::string plain = tmp.file("plain.wav"), in = tmp.file("in.wav"),
                      out = tmp.file("out" + GetParam());
    // 12789 frames: a rendered WAV of 51200 bytes, the limit of 100 blocks exactly.
    fixtures::writeWav(plain, fixtures::sine(440, 12789.0 / 44100));
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + clitest::quote(plain) + " -metadata title=" +
                           std::string(60000, 'T') + " -c copy " + clitest::quote(in))
                              .c_str()),
              0);
    fixtures::writeBytes(out, {'k', 'e', 'e', 'p'});
    const std::string cmd = "ulimit -f 100; exec " + clitest::quote(QUORVIN_CLI) + " render " +
                            clitest::quote(in) + " " + clitest::quote(out) + " 2>" +
                            clitest::quote(tmp.file("err.txt")) + " >/dev/null";
    const int raw = std::system(cmd.c_str());
    const auto e = fixtures::readBytes(tmp.file("err.txt"));
    std::filesystem::remove(tmp.file("err.txt"));
    ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << WTERMSIG(raw);
    EXPECT_EQ(WEXITSTATUS(raw), 1) << std::string(e.begin(), e.end());
    EXPECT_EQ(fixtures::readBytes(out), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(temporariesIn(tmp.path()), 0u);
}

INSTANTIATE_TEST_SUITE_P(WavAndMp3, TagsOverTheFileSizeLimit, ::testing::Values(".wav", ".mp3"),
                         [](const auto& info) { return info.param.substr(1); });

TEST(QuorvinCd, ListsAndRipsADiscImage) {
    fixtures::TempDir tmp;
    cdimage::Disc disc;
    disc.tracks = cdimage::audioTracks(2, 150);
    disc.title = "Album";
    disc.performer = "Band";
    disc.tracks[0].title = "First";
    const std::string cue = cdimage::write(tmp.file("image"), disc);

    const auto list = quorvin({"cd-list", cue}, tmp);
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("Artist: Band"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Album: Album"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("First"), std::string::npos) << list.out;

    const std::string wav = tmp.file("track2.wav");
    const auto rip = quorvin({"cd-rip", cue, "2", wav}, tmp);
    ASSERT_EQ(rip.status, 0) << rip.err;
    EXPECT_EQ(std::filesystem::file_size(wav), 44u + 150u * 2352u);
    // A rip of two seconds of audio takes well under one: its time has a leading zero.
    EXPECT_TRUE(std::regex_search(rip.out, std::regex(" in [0-9]+\\.[0-9] s, "))) << rip.out;
    auto r = quorvin({"cd-rip", cue, "7", tmp.file("none.wav")}, tmp);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("the disc has 2 tracks, there is no track 7"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(tmp.file("none.wav")));
    // A data track is said to be one.
    cdimage::Disc data;
    data.tracks = cdimage::audioTracks(2, 75);
    data.tracks[1].data = true;
    r = quorvin({"cd-rip", cdimage::write(tmp.file("data"), data), "2", tmp.file("d.wav")}, tmp);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("track 2 is a data track, not audio"), std::string::npos) << r.err;
    // A folder that is not there, or a mistyped option: each said as it is.
    r = quorvin({"cd-rip", cue, "1", tmp.file("no-folder/x.wma")}, tmp);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
    r = quorvin({"cd-rip", cue, "1", wav, "--bitrates", "5"}, tmp);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option --bitrates"), std::string::npos) << r.err;
}

// A whole-disc rip stopped by a signal returns 130 and says whether any track is in place, as the
// folder shows.
TEST(QuorvinCd, AStoppedRipSaysWhetherATrackWasFinished) {
    namespace fs = std::filesystem;
    fixtures::TempDir tmp;
    cdimage::Disc disc;
    disc.tracks = cdimage::audioTracks(2, 6000);
    const std::string cue = cdimage::write(tmp.file("image"), disc);
    const std::string folder = tmp.file("rip"), err = tmp.file("err.txt");
    fs::create_directory(folder);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::freopen(err.c_str(), "w", stderr);
        std::freopen("/dev/null", "w", stdout);
        execl(QUORVIN_CLI, QUORVIN_CLI, "cd-rip", "--format", "flac", cue.c_str(), "all",
              folder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    auto count = [&](const std::string& ending) {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(folder))
            n += e.path().filename().string().ends_with(ending);
        return n;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (count(".part") == 0 && std::chrono::steady_clock::now() < deadline) usleep(500);
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const auto bytes = fixtures::readBytes(err);
    const std::string said(bytes.begin(), bytes.end());
    EXPECT_NE(said.find(count(".flac") > 0 ? "the finished tracks are in place"
                                           : "no track was finished"),
              std::string::npos)
        << said;
}

// cd-rip makes the check render and normalize make: a write-protected OUT, or a link to one, is
// refused before the disc is read and keeps its bytes and its mode.
class QuorvinCdRipProtected : public ::testing::TestWithParam<std::tuple<std::string, bool>> {};

TEST_P(QuorvinCdRipProtected, OutIsRefusedAndKept) {
    namespace fs = std::filesystem;
    const auto& [extension, throughLink] = GetParam();
    fixtures::TempDir tmp;
    cdimage::Disc disc;
    disc.tracks = cdimage::audioTracks(1, 75);
    const std::string cue = cdimage::write(tmp.file("image"), disc);
    const std::string kept = tmp.file("kept" + extension);
    const std::vector<uint8_t> old = {1, 2, 3};
    fixtures::writeBytes(kept, old);
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read;
    fs::permissions(kept, readOnly);
    std::string out = kept;
    if (throughLink) {
        out = tmp.file("link" + extension);
        fs::create_symlink(kept, out);
    }

    const auto r = quorvin({"cd-rip", cue, "1", out}, tmp);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(out), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("write-protected"), std::string::npos) << r.err;
    EXPECT_EQ(fixtures::readBytes(kept), old);
    EXPECT_EQ(fs::status(kept).permissions(), readOnly);
    EXPECT_EQ(fs::is_symlink(out), throughLink);
    EXPECT_EQ(clitest::filesIn(tmp.path()), throughLink ? 4u : 3u);  // image.cue, .bin, kept
}

INSTANTIATE_TEST_SUITE_P(WavWmaFileOrLink, QuorvinCdRipProtected,
                         ::testing::Combine(::testing::Values(".wav", ".wma"), ::testing::Bool()),
                         [](const auto& info) {
                             return std::get<0>(info.param).substr(1) +
                                    (std::get<1>(info.param) ? "_link" : "_file");
                         });

// --- disc images of every kind ---------------------------------------------------------------

namespace {

namespace fs = std::filesystem;

void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

void putChunk(std::vector<uint8_t>& b, const char* id, const std::vector<uint8_t>& data) {
    b.insert(b.end(), id, id + 4);
    put32(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
}

// CD-Text packs of one block giving the disc's and each track's title ("Disc", "T1", ...), with
// its three size packs, each pack with its CRC.
std::vector<uint8_t> cdTextPacks(int tracks) {
    std::string titles = std::string("Disc") + '\0';
    for (int t = 1; t <= tracks; ++t) titles += "T" + std::to_string(t) + '\0';
    std::vector<std::array<uint8_t, 16>> packs;
    for (size_t at = 0; at < titles.size(); at += 12) {
        std::array<uint8_t, 16> p{0x80, 0, uint8_t(packs.size()), 0};
        for (size_t i = 0; i < 12 && at + i < titles.size(); ++i)
            p[4 + i] = uint8_t(titles[at + i]);
        p[1] = uint8_t(std::count(titles.begin(), titles.begin() + long(at), '\0'));
        packs.push_back(p);
    }
    std::array<uint8_t, 36> size{0, 1, uint8_t(tracks), 0, uint8_t(packs.size())};
    size[4 + 15] = 3;                      // the size packs themselves
    size[20] = uint8_t(packs.size() + 2);  // the block's last pack
    size[28] = 9;                          // English
    for (int k = 0; k < 3; ++k) {
        std::array<uint8_t, 16> p{0x8f, uint8_t(k), uint8_t(packs.size()), 0};
        std::copy_n(size.begin() + 12 * k, 12, p.begin() + 4);
        packs.push_back(p);
    }
    std::vector<uint8_t> out;
    for (const auto& p : packs) {
        uint16_t crc = 0;  // CRC-16/CCITT, stored inverted
        for (uint8_t byte : p) {
            crc ^= uint16_t(byte << 8);
            for (int bit = 0; bit < 8; ++bit)
                crc = uint16_t(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
        }
        out.insert(out.end(), p.begin(), p.end());
        out.insert(out.end(), {uint8_t(~crc >> 8), uint8_t(~crc)});
    }
    return out;
}

// A Nero disc-at-once image: 150 sectors of lead-in, the tracks' audio, then the footer (a CUEX
// table, a DAOX chunk saying audio, a CDTX chunk for each CD-Text given, END!) and the NER5
// signature with the footer's offset.
std::vector<uint8_t> neroImage(const std::vector<cdimage::Track>& tracks,
                               const std::vector<std::vector<uint8_t>>& cdTexts = {}) {
    std::vector<uint8_t> b(150 * 2352);
    std::vector<uint8_t> cuex;
    auto entry = [&](uint8_t track, int32_t lsn) {
        cuex.insert(cuex.end(), {0x41, track, 0x01, 0});
        put32(cuex, uint32_t(lsn));
    };
    entry(0, -150);
    entry(1, -150);
    int32_t lsn = 0;
    for (size_t i = 0; i < tracks.size(); ++i) {
        const auto bytes = cdimage::trackBytes(tracks[i], int(i));
        b.insert(b.end(), bytes.begin(), bytes.end());
        entry(uint8_t(i + 1), lsn);
        lsn += tracks[i].sectors;
        entry(i + 1 < tracks.size() ? uint8_t(i + 2) : 0xaa, lsn);
    }
    const uint64_t footer = b.size();
    // Audio, where libcdio's releases read the disc's track type (bytes 36 and 38).
    std::vector<uint8_t> dao(std::max<size_t>(64, 22 + 42 * tracks.size()));
    dao[36] = dao[38] = 7;
    putChunk(b, "CUEX", cuex);
    putChunk(b, "DAOX", dao);
    for (const auto& packs : cdTexts) putChunk(b, "CDTX", packs);
    putChunk(b, "END!", {});
    b.insert(b.end(), {'N', 'E', 'R', '5'});
    put32(b, uint32_t(footer >> 32));
    put32(b, uint32_t(footer));
    return b;
}

std::vector<uint8_t> bytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

struct ImageCase {
    const char* name;
    std::string file;                             // the image's name in the folder
    std::function<std::vector<uint8_t>()> bytes;  // the image
    std::vector<std::pair<std::string, std::vector<uint8_t>>> beside;  // files beside it
    std::string reason;           // empty: it opens with two tracks; else a part of the refusal
    std::vector<uint8_t> track2;  // when it opens: the audio of its second track
    bool ripFails = false;        // it opens, but its second track cannot be read whole
    std::string listed;           // a part of what cd-list prints, when it opens
    // When ripFails: a part of what the rip says.
    std::string ripSays = "only in part: the image could be read up to";
};

const std::string kToc2 =
    "CD_DA\nCD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n  LANGUAGE 0 {\n    TITLE \"Album\"\n"
    "    SIZE_INFO { 0, 1, 2,\n      3}\n  }\n}\n"
    "// Track 1\nTRACK AUDIO\nNO COPY\nFILE \"data.bin\" 0 00:01:00\nSTART 00:00:10\n"
    "TRACK AUDIO\nfile \"data.bin\" 00:01:00 00:01:00\n";

std::vector<ImageCase> imageCases() {
    const auto audio = cdimage::trackBytes(cdimage::audioTracks(1, 150)[0], 0);
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> data = {{"data.bin", audio}};
    const std::vector<uint8_t> half(audio.begin() + 75 * 2352, audio.end());
    std::vector<uint8_t> withPostgap = half;
    withPostgap.resize(half.size() + 150 * 2352);
    // A cdrdao image holds its raw audio most significant byte first.
    std::vector<uint8_t> bigEndian = audio;
    for (size_t i = 0; i + 1 < bigEndian.size(); i += 2) std::swap(bigEndian[i], bigEndian[i + 1]);
    const auto neroTracks = cdimage::audioTracks(2, 75);
    const std::string cue =
        "FILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n";
    const std::string pregapCue = cue.substr(0, cue.find("    INDEX 01 00:01:00")) +
                                  "    PREGAP 00:02:00\n" +
                                  cue.substr(cue.find("    INDEX 01 00:01:00"));
    auto text = [](std::string s) { return [s] { return bytesOf(s); }; };
    // The image's audio as a WAV file: of `bits` bits, its header saying `frames` frames.
    auto wav = [&audio](int64_t frames, int bits = 16) {
        const uint32_t size = uint32_t(frames * 2 * bits / 8);
        std::vector<uint8_t> b(44);
        auto put = [&b](size_t at, uint32_t v, int n) {
            for (int i = 0; i < n; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
        };
        std::copy_n("RIFF", 4, b.begin());
        put(4, 36 + size, 4);
        std::copy_n("WAVEfmt ", 8, b.begin() + 8);
        put(16, 16, 4), put(20, 1, 2), put(22, 2, 2), put(24, 44100, 4);
        put(28, 44100 * 2 * uint32_t(bits) / 8, 4), put(32, 2 * uint32_t(bits) / 8, 2);
        put(34, uint32_t(bits), 2);
        std::copy_n("data", 4, b.begin() + 36);
        put(40, size, 4);
        for (size_t i = 0; i < audio.size() && i < size_t(frames) * 4; i += 2) {
            if (bits == 24) b.push_back(0);
            b.push_back(audio[i]), b.push_back(audio[i + 1]);
        }
        return b;
    };
    const int64_t frames = int64_t(audio.size() / 4);
    std::vector<uint8_t> endsInside(half.begin(), half.end() - 400);  // 100 frames of silence
    endsInside.resize(half.size());
    std::string utf16 = "\xFF\xFE";
    for (char ch : cue) utf16 += std::string{ch, '\0'};
    auto nero = [](std::function<void(std::vector<uint8_t>&)> change,
                   std::vector<std::vector<uint8_t>> cdTexts = {}) {
        return [change, cdTexts] {
            auto b = neroImage(cdimage::audioTracks(2, 75), cdTexts);
            change(b);
            return b;
        };
    };
    std::string hundred = "CD_DA\n";
    for (int i = 0; i < 100; ++i) hundred += "TRACK AUDIO\nFILE \"data.bin\" 0 00:00:01\n";
    return {
        // Sheets as people write them.
        {"CueWithByteOrderMark",
         "img.cue",
         text("\xEF\xBB\xBF" + cue),
         {{"img.bin", audio}},
         "",
         half},
        {"CueInLowerCase",
         "img.cue",
         text("file \"x.bin\" binary\n track 01 audio\n  index 01 00:00:00\n"
              " track 02 audio\n  index 00 00:00:70\n  index 01 00:01:00\n"),
         {{"img.bin", audio}},
         "",
         half},
        {"CuePostgapOnTheLastTrack",  // silence after its audio, in no file
         "img.cue",
         text(cue + "    POSTGAP 00:02:00\n"),
         {{"img.bin", audio}},
         "",
         withPostgap},
        // A PREGAP is silence in no file before its track, a .bin's as a WAV's: track 1 runs on
        // through it (3 s).
        {"CuePregapBeforeATrack",
         "img.cue",
         text(pregapCue),
         {{"img.bin", audio}},
         "",
         half,
         false,
         "01\tTrack 1\t[00:03]"},
        {"CueWavPregapBeforeATrack",
         "img.cue",
         text("FILE \"x.wav\" WAVE" + pregapCue.substr(pregapCue.find('\n'))),
         {{"x.wav", wav(frames)}},
         "",
         half,
         false,
         "01\tTrack 1\t[00:03]"},
        {"CueAndBinInCapitals", "IMG.CUE", text(cue), {{"IMG.BIN", audio}}, "", half},
        {"CueBinEndingInsideASector",  // the sector cut short is left out, and that is said
         "img.cue",
         text(cue),
         {{"img.bin",
           [&] {
               auto b = audio;
               b.resize(b.size() + 40);
               return b;
           }()}},
         "",
         {},
         true,
         "",
         "track 2 is cut short"},
        {"CueWithAWrongCatalog",
         "img.cue",
         text("CATALOG 12AB\n" + cue),
         {{"img.bin", audio}},
         "",
         half},
        {"CueWithACatalogInATrack",
         "img.cue",
         text(cue.substr(0, cue.find("    INDEX")) + "    CATALOG 1234567890123\n" +
              cue.substr(cue.find("    INDEX"))),
         {{"img.bin", audio}},
         "",
         half},
        {"CueInUtf16", "img.cue", text(utf16), {{"img.bin", audio}}, "", half},
        {"CueOfUtf8BehindAUtf16Mark",
         "img.cue",
         text("\xFF\xFE" + cue),
         {{"img.bin", audio}},
         "",
         half},
        // Sheets of an audio file: named in another case or as BINARY, ending inside a sector
        // (the sector filled with silence), cut short, finer than CD audio.
        {"CueWavInAnotherCase",
         "img.cue",
         text("FILE \"X.WAV\" WAVE" + cue.substr(cue.find('\n'))),
         {{"x.wav", wav(frames)}},
         "",
         half},
        {"CueWavCalledBinary", "img.cue", text(cue), {{"x.bin", wav(frames)}}, "", half},
        {"CueWavEndingInsideASector",
         "img.cue",
         text("FILE \"x.wav\" WAVE" + cue.substr(cue.find('\n'))),
         {{"x.wav", wav(frames - 100)}},
         "",
         endsInside},
        {"CueWavCutShort",
         "img.cue",
         text("FILE \"x.wav\" WAVE" + cue.substr(cue.find('\n'))),
         {{"x.wav",
           [&] {
               auto b = wav(frames);
               b.resize(b.size() - 4000);
               return b;
           }()}},
         "",
         {},
         true},
        {"CueWav24Bit",
         "img.cue",
         text("FILE \"x.wav\" WAVE" + cue.substr(cue.find('\n'))),
         {{"x.wav", wav(frames, 24)}},
         "finer than 16 bits",
         {}},
        {"CueInCapitalsBinNot", "Img.CUE", text(cue), {{"Img.bin", audio}}, "", half},
        {"CueTracksNotFromOne",
         "img.cue",
         text("FILE \"x.bin\" BINARY\n TRACK 99 AUDIO\n INDEX 01 00:00:00\n TRACK 02 AUDIO\n"
              " INDEX 01 00:01:00\n"),
         {{"img.bin", audio}},
         "TRACK 99",
         {}},
        // cdrdao tables of contents.
        {"Toc", "img.toc", text(kToc2), {{"data.bin", bigEndian}}, "", half},
        {"TocNamingAWaveFile",
         "img.toc",
         text("TRACK AUDIO\nFILE \"take.WAV\" 0\n"),
         {{"take.WAV", audio}},
         "WAVE file",
         {}},
        {"TocFileOutsideByPath",
         "img.toc",
         text("CD_DA\nTRACK AUDIO\nFILE \"/etc/passwd\" 0\n"),
         data,
         "not a plain name",
         {}},
        {"TocFileOutsideUpwards",
         "img.toc",
         text("TRACK AUDIO\nAUDIOFILE \"../../../etc/hostname\" 0\n"),
         data,
         "not a plain name",
         {}},
        {"TocDataFileOutside",
         "img.toc",
         text("TRACK AUDIO\nDATAFILE \"/etc/passwd\"\n"),
         data,
         "DATAFILE",
         {}},
        {"TocLinkOutOfTheFolder",
         "img.toc",
         text("TRACK AUDIO\nFILE \"link.bin\" 0\n"),
         data,
         "not a file in the image's folder",
         {}},
        {"TocMissingFile",
         "img.toc",
         text("TRACK AUDIO\nFILE \"none.bin\" 0\n"),
         data,
         "not a file",
         {}},
        {"TocEmptyFile",
         "img.toc",
         text("TRACK AUDIO\nFILE \"e.bin\" 0\n"),
         {{"e.bin", std::vector<uint8_t>{}}},
         "\"e.bin\" is empty",
         {}},
        {"TocTwoFiles",
         "img.toc",
         text("TRACK AUDIO\nFILE \"data.bin\" 0 00:01:00\nTRACK AUDIO\nFILE \"img.toc\" 0\n"),
         data,
         "same file",
         {}},
        {"TocIsrcBeforeTrack",
         "img.toc",
         text("ISRC \"ABCDE1234567\"\nTRACK AUDIO\n"),
         data,
         "before the first TRACK",
         {}},
        {"TocHundredTracks", "img.toc", text(hundred), data, "more than 99", {}},
        {"TocPastTheFile",
         "img.toc",
         text("TRACK AUDIO\nFILE \"data.bin\" 0 00:01:00\nTRACK AUDIO\n"
              "FILE \"data.bin\" 00:01:00 00:03:00\n"),
         data,
         "past the end",
         {}},
        {"TocGapBetweenTracks",
         "img.toc",
         text("TRACK AUDIO\nFILE \"data.bin\" 0 00:00:50\nTRACK AUDIO\n"
              "FILE \"data.bin\" 00:01:00\n"),
         data,
         "does not start where",
         {}},
        // Nero images.
        {"Nero", "img.nrg", nero([](auto&) {}), {}, "", cdimage::trackBytes(neroTracks[1], 1)},
        {"NeroWithCdText",
         "img.nrg",
         nero([](auto&) {}, {cdTextPacks(2)}),
         {},
         "",
         cdimage::trackBytes(neroTracks[1], 1),
         false,
         "/ T2\t"},
        {"NeroWithDamagedCdText",  // the packs cut short of their size packs
         "img.nrg",
         nero([](auto&) {}, {[] {
                  auto p = cdTextPacks(2);
                  p.resize(18);
                  return p;
              }()}),
         {},
         "CD-Text that cannot be read",
         {}},
        {"NeroWithTwoCdTexts",
         "img.nrg",
         nero([](auto&) {}, {cdTextPacks(2), cdTextPacks(2)}),
         {},
         "a second CD-Text",
         {}},
        {"NeroZeroFooterOffset",
         "z.nrg",
         text(std::string(8000, '\0') + std::string("NER5\0\0\0\0\0\0\0\x64", 12)),
         {},
         "larger than 4096",
         {}},
        {"NeroOffsetPastTheEnd",
         "img.nrg",
         nero([](auto& b) { b[b.size() - 1] = 0xff, b[b.size() - 5] = 0x7f; }),
         {},
         "outside",
         {}},
        {"NeroNoSignature", "img.nrg", text(std::string(5000, 'x')), {}, "signature", {}},
        {"NeroChunkPastTheFooter",
         "img.nrg",
         nero([](auto& b) { b[150 * 2352 + 2 * 2352 * 75 + 5] = 0x10; }),
         {},
         "runs past",
         {}},
        {"NeroNoTracks",
         "img.nrg",
         nero([](auto& b) {
             std::vector<uint8_t> f;
             putChunk(f, "END!", {});
             const uint64_t at = b.size() - 12;
             b.insert(b.end() - 12, f.begin(), f.end());
             b[b.size() - 1] = uint8_t(at), b[b.size() - 2] = uint8_t(at >> 8),
                          b[b.size() - 3] = uint8_t(at >> 16);
         }),
         {},
         "no track table",
         {}},
    };
}

void PrintTo(const ImageCase& c, std::ostream* os) {
    *os << c.name;
}

class QuorvinImages : public ::testing::TestWithParam<ImageCase> {};

// Every kind of image opens when it is sound and is refused with its reason when it is not:
// never a crash, never a file outside the image's folder read as audio.
TEST_P(QuorvinImages, OpenOrAreRefusedWithTheReason) {
    const ImageCase& c = GetParam();
    fixtures::TempDir tmp;
    const std::string image = tmp.file(c.file);
    fixtures::writeBytes(image, c.bytes());
    for (const auto& [name, bytes] : c.beside) fixtures::writeBytes(tmp.file(name), bytes);
    fs::create_symlink("/etc/hostname", tmp.file("link.bin"));
    const auto list = quorvin({"cd-list", image}, tmp);
    if (c.reason.empty()) {
        ASSERT_EQ(list.status, 0) << list.err;
        EXPECT_NE(list.out.find("\n02\t"), std::string::npos) << list.out;
        EXPECT_EQ(list.out.find("\n03\t"), std::string::npos) << list.out;
        EXPECT_NE(list.out.find(c.listed), std::string::npos) << list.out;
        const std::string wav = tmp.file("out.wav");
        const auto rip = quorvin({"cd-rip", image, "2", wav}, tmp);
        if (c.ripFails) {
            EXPECT_EQ(rip.status, 1);
            EXPECT_NE(rip.err.find(c.ripSays), std::string::npos) << rip.err;
            return;
        }
        ASSERT_EQ(rip.status, 0) << rip.err;
        const auto got = fixtures::readBytes(wav);
        ASSERT_EQ(got.size(), 44u + c.track2.size());
        EXPECT_TRUE(std::equal(c.track2.begin(), c.track2.end(), got.begin() + 44));
    } else {
        EXPECT_EQ(list.status, 1) << list.out;
        EXPECT_NE(list.err.find(c.reason), std::string::npos) << list.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, QuorvinImages, ::testing::ValuesIn(imageCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Nero images whose footer chunks are random bytes: each one is read or refused, none ends
// the program.
TEST(QuorvinImagesRandom, NeroFootersOfRandomChunksNeverCrash) {
    fixtures::TempDir tmp;
    std::mt19937 rng(7);
    const char* ids[] = {"CUEX", "CUES", "DAOX", "DAOI", "ETNF", "ETN2",
                         "SINF", "MTYP", "CDTX", "END!", "NER5", "XXXX"};
    for (int n = 0; n < 60; ++n) {
        std::vector<uint8_t> b(2352 * 4, 0);
        const uint64_t footer = b.size();
        const int chunks = 1 + int(rng() % 4);
        for (int k = 0; k < chunks; ++k) {
            std::vector<uint8_t> data(rng() % 64);
            for (auto& x : data) x = uint8_t(rng() % 4 == 0 ? rng() : 0);
            putChunk(b, ids[rng() % std::size(ids)], data);
            if (rng() % 3 == 0) b[b.size() - data.size() - 1] = uint8_t(rng());  // its length
        }
        b.insert(b.end(), {'N', 'E', 'R', '5'});
        put32(b, 0);
        put32(b, uint32_t(footer));
        const std::string image = tmp.file("r" + std::to_string(n) + ".nrg");
        fixtures::writeBytes(image, b);
        const auto list = quorvin({"cd-list", image}, tmp);
        EXPECT_TRUE(list.status == 0 || list.status == 1) << n << ": " << list.err;
    }
}

}  // namespace
