// Track rows, times, number formats and CD-Text reading, on their own and on disc images.
#include <gtest/gtest.h>

#include "disc/basscd.h"
#include "rip/track_list.h"
#include "tests/cd/cd_image.h"
#include "tests/support/audio_fixtures.h"

namespace {

using cd::TrackListing;

TEST(CdTimes, Seconds2HMSAndLengths) {
    const std::pair<int, const char*> cases[] = {{0, "00:00"},       {59, "00:59"},
                                                 {3599, "59:59"},    {3600, "01:00:00"},
                                                 {4000, "01:06:40"}, {-1, "00:-1"}};
    for (auto [s, text] : cases) EXPECT_EQ(cd::Seconds2HMS(s), text) << s;
    // 441000 bytes are 2.5 s: halves go to the even second; 3.5 s goes up.
    EXPECT_EQ(cd::lengthSeconds(441000), 2);
    EXPECT_EQ(cd::lengthSeconds(617400), 4);
    EXPECT_EQ(cd::trackRow(1, "Track 2", 441000), "02\tTrack 2\t[00:02]");
    EXPECT_EQ(cd::trackRow(9, "A / B", 176400 * 3600), "10\tA / B\t[01:00:00]");
    EXPECT_EQ(cd::trackRow(99, "x", 176400), "100\tx\t[00:01]");
    EXPECT_EQ(cd::trackRow(3, "Singer / Song", -1), "04\tTrack 4\t[data]");
    EXPECT_EQ(cd::trackRow(3, "Singer / Song", 0), "04\tTrack 4\t[data]");
}

TEST(CdFormats, KbpsBitratesAndTenths) {
    EXPECT_EQ(cd::formatKbps(7056, ","), "7,056 Kbps");
    EXPECT_EQ(cd::formatKbps(7056, "."), "7.056 Kbps");
    EXPECT_EQ(cd::formatKbps(0, ","), " Kbps");
    EXPECT_EQ(cd::formatKbps(1234567, ","), "1,234,567 Kbps");
    EXPECT_EQ(cd::formatKbps(512, ","), "512 Kbps");
    EXPECT_EQ(cd::formatBitrateRow(128000), "128 Kbps");
    EXPECT_EQ(cd::formatBitrateRow(2500), "2 Kbps");
    EXPECT_EQ(cd::formatBitrateRow(1500), "2 Kbps");
    EXPECT_EQ(cd::formatBitrateRow(0), "0 Kbps");
    EXPECT_EQ(cd::formatBitrateRow(1411200), "1,411 Kbps");
    EXPECT_EQ(cd::formatTenths(0.43), ".4");
    EXPECT_EQ(cd::formatTenths(12.34), "12.3");
    EXPECT_EQ(cd::formatTenths(99.96), "100.0");
    EXPECT_EQ(cd::formatTenths(3.24, ","), "3,2");
}

// A block as the engine gives it: strings separated by NUL, then an empty string.
std::string block(std::initializer_list<std::string> entries) {
    std::string b;
    for (const auto& e : entries) b += e + '\0';
    return b + '\0';
}

TEST(CdText, ReadsTitlesAndPerformersByPrefix) {
    cd::CdTextTables t;
    cd::RoutineError e;
    auto b = block({"TITLE0=Album", "PERFORMER0=Band", "title3=Lower", "PERFORMER 1 =Spaced",
                    "SONGWRITER1=skipped", "TITLE1=One=Two", "MESSAGE0=x",
                    "PERFORMER2=A\x1b[31mB\tC\x7f\xc2\x9b\xc3\xa9"});
    ASSERT_TRUE(cd::parseCdText(b.c_str(), 3, t, e)) << e.description;
    ASSERT_EQ(t.titles.size(), 4u);
    EXPECT_EQ(t.titles[0], "Album");
    EXPECT_EQ(t.performers[0], "Band");
    EXPECT_EQ(t.titles[3], "Lower");
    EXPECT_EQ(t.performers[1], "Spaced");
    EXPECT_EQ(t.titles[1], "One=Two") << "everything after the first =";
    EXPECT_EQ(t.titles[2], "");
    EXPECT_EQ(t.performers[2], "A[31mBC\xc3\xa9") << "control characters dropped, letters kept";
}

TEST(CdText, BrokenBlocksFailWithTheirError) {
    const std::pair<std::string, int> cases[] = {
        {"TITLEx=abc", 13},    {"TITLE=abc", 13},           {"PERFORMER2.5=a", 13},
        {"TITLE4=too far", 9}, {"PERFORMER-1=negative", 9}, {"TITLE1 no equals", 5},
        {"PERFORMER1", 5},     {"TITLE99999999999=x", 6},
    };
    for (const auto& [entry, number] : cases) {
        cd::CdTextTables t;
        cd::RoutineError e;
        auto b = block({"TITLE0=fine", entry});
        EXPECT_FALSE(cd::parseCdText(b.c_str(), 3, t, e)) << entry;
        EXPECT_EQ(e.number, number) << entry;
        EXPECT_FALSE(e.description.empty());
    }
}

class CdListing : public ::testing::Test {
  protected:
    void SetUp() override {
        engine::cdUseDeviceDrives(false);
        engine::cdRemoveImages();
    }
    fixtures::TempDir dir;
};

TEST_F(CdListing, RowsFromCdTextWithDataTrackAndUnnamedTracks) {
    cdimage::Disc disc;
    disc.title = "Greatest Ölbums";
    disc.performer = "The Testers";
    disc.tracks = cdimage::audioTracks(10, 75);
    disc.tracks[0].title = "Opening";
    disc.tracks[0].performer = "Ann";
    disc.tracks[9].title = "Tenth";
    disc.tracks[9].performer = "Bob";
    disc.tracks[4].sectors = 75 * 62;  // 1:02
    cdimage::Track data;
    data.data = true;
    data.title = "Not audio";
    disc.tracks.push_back(data);
    int drive = engine::cdAddImage(cdimage::write(dir.file("named"), disc));
    ASSERT_GE(drive, 0);
    TrackListing list = cd::readTrackList(drive);
    ASSERT_EQ(list.outcome, TrackListing::Outcome::Listed);
    EXPECT_EQ(list.artist, "The Testers");
    EXPECT_EQ(list.album, "Greatest Ölbums");
    ASSERT_EQ(list.rows.size(), 11u);
    EXPECT_EQ(list.rows[0], "01\tAnn / Opening\t[00:01]");
    EXPECT_EQ(list.rows[1], "02\t / \t[00:01]");
    EXPECT_EQ(list.rows[4], "05\t / \t[01:02]");
    EXPECT_EQ(list.rows[8], "09\t / \t[00:01]");
    EXPECT_EQ(list.rows[9], "10\tBob / Tenth\t[00:01]");
    EXPECT_EQ(list.rows[10], "11\tTrack 11\t[data]");
}

TEST_F(CdListing, UnknownDiscWithoutCdTextAndTheStandInsFailures) {
    cdimage::Disc disc;
    disc.tracks = cdimage::audioTracks(2, 150);
    // Without text, or with only a genre (REM GENRE, as rippers write it): unknown.
    int drive = -1;
    for (const bool genre : {true, false}) {
        if (genre) disc.genre = "Rock";
        drive = engine::cdAddImage(cdimage::write(dir.file(genre ? "genre" : "plain"), disc));
        TrackListing list = cd::readTrackList(drive);
        ASSERT_EQ(list.outcome, TrackListing::Outcome::Listed);
        EXPECT_EQ(list.artist, "Unknown Artist");
        EXPECT_EQ(list.album, "Unknown Album");
        EXPECT_EQ(list.rows,
                  (std::vector<std::string>{"01\tTrack 1\t[00:02]", "02\tTrack 2\t[00:02]"}));
        disc.genre.reset();
    }

    engine::CdTestFaults f;
    f.doorOpen = true;
    engine::cdSetTestFaults(drive, f);
    EXPECT_EQ(cd::readTrackList(drive).outcome, TrackListing::Outcome::NotReady);
    f = {};
    f.failTrackCount = true;
    engine::cdSetTestFaults(drive, f);
    EXPECT_EQ(cd::readTrackList(drive).outcome, TrackListing::Outcome::TrackCountFailed);
    f = {};
    f.cdText = std::string("TITLE0=ok\0TITLEz=bad", 20);
    engine::cdSetTestFaults(drive, f);
    const TrackListing list = cd::readTrackList(drive);
    EXPECT_EQ(list.outcome, TrackListing::Outcome::CdTextFailed);
    EXPECT_EQ(list.error.number, 13);
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(cd::readTrackList(999).outcome, TrackListing::Outcome::NotReady);
}

}  // namespace
