// quorvin bpm and quorvin key on generated music.
#include <cstdio>

#include <gtest/gtest.h>

#include "tests/cli/run_quorvin.h"
#include "tests/engine/test_key_music.h"

using clitest::quorvin;

TEST(QuorvinBpm, PrintsBothValues) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("beat.wav");
    fixtures::writeWav(in, fixtures::drumTrack(128, 40.0, 3));
    const auto r = quorvin({"bpm", in}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    double first = 0, whole = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "bpm 0-30 s: %lf\nbpm whole file: %lf\n", &first, &whole),
              2)
        << r.out;
    EXPECT_NEAR(first, 128, 128 * 0.04);
    EXPECT_NEAR(whole, 128, 128 * 0.04);

    const auto bad = quorvin({"bpm", tmp.file("nothing.mp3")}, tmp);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("nothing.mp3"), std::string::npos) << bad.err;
    EXPECT_EQ(quorvin({"bpm"}, tmp).status, 2);
}

TEST(QuorvinKey, PrintsKeyAndTuning) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("song.wav");
    fixtures::writeWav(in, keytest::keyTrack({9, true, true, 0}, 12, 5));
    const auto r = quorvin({"key", in}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Key: A minor\nTuning: +0 cents\n");

    const auto bad = quorvin({"key", tmp.file("nothing.mp3")}, tmp);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("nothing.mp3"), std::string::npos) << bad.err;
    EXPECT_EQ(quorvin({"key"}, tmp).status, 2);
}
