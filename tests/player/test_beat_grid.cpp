// The count-in's beat grid: found by the beat tracker in a file, and the distance to the next
// beat from any point, inside the beats found and beyond them.
#include <gtest/gtest.h>

#include "player/beat_grid.h"
#include "tests/support/audio_fixtures.h"

TEST(BeatGrid, FoundInTheFileAndGoingOnBeyondIt) {
    fixtures::TempDir tmp;
    const std::string path = tmp.file("clicks.wav");
    fixtures::writeWav(path, fixtures::clickTrack(120, 20.0, 44100, 2, 0.1));
    const player::BeatGrid grid = player::fileBeatGrid(path, nullptr, 12.0);
    ASSERT_TRUE(grid.known());
    EXPECT_NEAR(grid.period, 0.5, 0.005);
    // Between beats, on one, and past the 12 s analysed: the beat of the file is 0.1 + k / 2.
    for (const auto& [at, next] : std::vector<std::pair<double, double>>{
             {3.35, 0.25}, {6.1, 0.0}, {0.0, 0.1}, {17.42, 0.18}})
        EXPECT_NEAR(grid.toBeat(at), next, 0.010) << at;
    EXPECT_FALSE(player::fileBeatGrid(tmp.file("missing.wav"), nullptr).known());
}
