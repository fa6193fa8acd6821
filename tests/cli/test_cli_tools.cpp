// `quorvin normalize`, `cd-list` and `cd-rip` through the executable: the subcommands are wired to
// the same code as their windows, with usable exit statuses and messages.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
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
