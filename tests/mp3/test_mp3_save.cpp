// Saving a render as MP3: the save step chosen by the source's name, the bit rate chosen from the
// source's header or the setup list, and the header report of `quorvin mp3-info`.
#include <gtest/gtest.h>

#include <cstring>

#include "mp3/mp3_save.h"
#include "tests/support/audio_fixtures.h"

namespace {

// 40 MPEG-1 layer III frames at 128 kbit/s whose Xing header claims 2^31 frames: more than
// the 32-bit FrameCount holds.
std::vector<uint8_t> overflowingXing() {
    std::vector<uint8_t> bytes(40 * 417, 0);
    for (size_t f = 0; f < 40; ++f) {
        const uint8_t header[4] = {0xFF, 0xFB, 0x90, 0x00};
        std::memcpy(bytes.data() + f * 417, header, 4);
    }
    const uint8_t xing[16] = {'X', 'i', 'n', 'g', 0, 0, 0, 3, 0x80, 0, 0, 0, 0, 0, 0x10, 0};
    std::memcpy(bytes.data() + 36, xing, sizeof xing);
    return bytes;
}

}  // namespace

TEST(SaveAsMp3, OnlyNamesEndingInMp3OrMP3AreSavedAsMp3) {
    EXPECT_TRUE(mp3::SavesAsMp3("C:/music/song.mp3"));
    EXPECT_TRUE(mp3::SavesAsMp3("song.MP3"));
    EXPECT_FALSE(mp3::SavesAsMp3("song.Mp3"));
    EXPECT_FALSE(mp3::SavesAsMp3("song.wav"));
    EXPECT_FALSE(mp3::SavesAsMp3("p3"));
}

TEST(SaveAsMp3, BitRateComesFromTheSourceHeaderElseFromTheSetting) {
    fixtures::TempDir dir;
    const auto tone = fixtures::sine(440, 3);
    fixtures::writeMp3(dir.file("low.MP3"), tone, 96);
    fixtures::writeMp3(dir.file("high.mp3"), tone, 192);
    fixtures::writeBytes(dir.file("junk.mp3"), std::vector<uint8_t>(10000, 0x11));
    fixtures::writeBytes(dir.file("broken.mp3"), overflowingXing());

    mp3::Mp3FileInfo record;
    EXPECT_EQ(mp3::ChooseMp3BitRate(dir.file("low.MP3"), 256000, record), 128000);
    EXPECT_EQ(mp3::ChooseMp3BitRate(dir.file("high.mp3"), 128000, record), 192000);
    const auto chosen = mp3::Mp3SetupBitRate("256");
    ASSERT_TRUE(chosen);
    EXPECT_EQ(mp3::ChooseMp3BitRate(dir.file("junk.mp3"), *chosen, record), 256000);
    EXPECT_EQ(mp3::ChooseMp3BitRate(dir.file("junk.mp3"), mp3::kDefaultMp3BitRate, record), 128000);
    EXPECT_EQ(mp3::ChooseMp3BitRate(dir.file("missing.mp3"), 64000, record), 64000);
    // A header the reader fails on does not end the save: the setting stands.
    EXPECT_EQ(mp3::ChooseMp3BitRate(dir.file("broken.mp3"), 160000, record), 160000);
}

TEST(SaveAsMp3, SetupListOffersFortyRatesAndReadsTheChosenOne) {
    const auto items = mp3::Mp3SetupItems();
    ASSERT_EQ(items.size(), 40u);
    EXPECT_EQ(items.front(), "320");
    EXPECT_EQ(items.back(), "8");
    EXPECT_EQ(items[16], "192 ");
    for (size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(mp3::Mp3SetupBitRate(items[i]), int32_t(320 - 8 * i) * 1000) << items[i];
    EXPECT_EQ(mp3::Mp3SetupBitRate("192 "), 192000);
    EXPECT_FALSE(mp3::Mp3SetupBitRate("BitRate"));
    EXPECT_FALSE(mp3::Mp3SetupBitRate(""));
}

TEST(SaveAsMp3, InfoReportListsTheRecordInOrderWithTheResult) {
    fixtures::TempDir dir;
    fixtures::writeMp3(dir.file("a.mp3"), fixtures::sine(440, 5), 160);
    int result = 0;
    const std::string report = mp3::mp3InfoReport(dir.file("a.mp3"), &result);
    EXPECT_EQ(result, 1);
    const char* order[] = {"FileLength: ",
                           "Version: 1\n",
                           "Layer: 3\n",
                           "BitRate: 160\n",
                           "FrameCount: ",
                           "IsConstantBitRate: -1\n",
                           "SampleRate: 44100\n",
                           "ChannelMode: ",
                           "Copyright: 0\n",
                           "Original: ",
                           "Duration: 5\n",
                           "HasTag: 0\n",
                           "Title: \n",
                           "Artist: ",
                           "Album: ",
                           "Year: ",
                           "Comment: ",
                           "Track: 0\n",
                           "Genre: 0\n",
                           "Result: 1\n"};
    size_t at = 0;
    for (const char* field : order) {
        const size_t found = report.find(field, at);
        ASSERT_NE(found, std::string::npos) << field << " in\n" << report;
        at = found;
    }

    fixtures::writeBytes(dir.file("broken.mp3"), overflowingXing());
    const std::string failed = mp3::mp3InfoReport(dir.file("broken.mp3"), &result);
    EXPECT_EQ(result, -1);
    EXPECT_NE(failed.find("Error: 6 Overflow\n"), std::string::npos) << failed;
    mp3::mp3InfoReport(dir.file("none.mp3"), &result);
    EXPECT_EQ(result, 0);
}
