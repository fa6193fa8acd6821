// `quorvin normalize`, `cd-list` and `cd-rip` through the executable: the subcommands are wired to
// the same code as their windows, with usable exit statuses and messages.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

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
