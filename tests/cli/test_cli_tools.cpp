// `quorvin normalize`, `cd-list` and `cd-rip` through the executable: the subcommands are wired to
// the same code as their windows, with usable exit statuses and messages.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cd/cd_image.h"
#include "tests/cli/run_quorvin.h"

using clitest::quorvin;

TEST(QuorvinNormalize, ScalesThePeakAndRefusesBadInput) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("in.wav"), out = tmp.file("out.wav");
    fixtures::writeWav(in, fixtures::sine(440, 1.0, 44100, 2, 0.25));
    const auto ok = quorvin({"normalize", in, out, "80"}, tmp);
    ASSERT_EQ(ok.status, 0) << ok.err;
    const fixtures::Pcm pcm = fixtures::readAudio(out);
    int peak = 0;
    for (int16_t s : pcm.samples) peak = std::max(peak, std::abs(int(s)));
    EXPECT_NEAR(peak, 0.8 * 32767, 1.0);

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

// RF64 and BW64, the WAV forms for files over 4 GB, read wherever WAV is read.
class WideWav : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(WideWav, IsReadByNormalizeAndRender) {
    const auto& [magic, command] = GetParam();
    fixtures::TempDir tmp;
    const std::string in = tmp.file("in.wav"), out = tmp.file("out.wav");
    const auto samples = floatSine(1.0, 48000, 2);
    fixtures::writeBytes(in, fixtures::floatWavBytes(samples, 2, 48000, magic.c_str()));
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
                         ::testing::Combine(::testing::Values("RF64", "BW64"),
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
        {2, 100.0, {"--lufs", "-16"}, "sample rate of 2 Hz"},
        {100, 10.0, {"--lufs", "-16"}, "sample rate of 100 Hz"},
        {2000, 10.0, {"--lufs", "-16"}, "sample rate of 2000 Hz"},
        {6000, 5.0, {"--lufs", "-16"}, "sample rate of 6000 Hz"},
        {44100, 0.0, {"--lufs", "-16"}, "no audio"},
        {44100, 0.0, {"80"}, "no audio"},
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

INSTANTIATE_TEST_SUITE_P(RenderAndNormalize, OverTheFileSizeLimit,
                         ::testing::Values(std::vector<std::string>{".wav", "render", "IN", "OUT"},
                                           std::vector<std::string>{".mp3", "render", "IN", "OUT"},
                                           std::vector<std::string>{".wav", "normalize", "IN",
                                                                    "OUT", "80"}));

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
    EXPECT_NE(quorvin({"cd-rip", cue, "7", tmp.file("none.wav")}, tmp).status, 0);
    EXPECT_FALSE(std::filesystem::exists(tmp.file("none.wav")));
}
