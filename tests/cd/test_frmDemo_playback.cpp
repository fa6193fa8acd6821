// The CD window playing: track to track with the wrap to the first, pause and stop, fade-out to
// the next track, volume and balance, and a read error.
#include "tests/cd/cd_window_fixture.h"

namespace {

using CdPlayback = CdWindowTest;

DWORD volumeOf(DWORD ch) {
    DWORD v = 0;
    BASS_ChannelGetAttributes(ch, nullptr, &v, nullptr);
    return v;
}
int panOf(DWORD ch) {
    int pan = 0;
    BASS_ChannelGetAttributes(ch, nullptr, nullptr, &pan);
    return pan;
}

TEST_F(CdPlayback, TracksFollowEachOtherAndTheLastWrapsToTheFirst) {
    addDisc(3, 75);
    auto& w = open();
    w.tick();
    EXPECT_EQ(text("lblTrackPosition"), "00:-1 / 00:-1") << "before any track";
    selectRow(1);
    const DWORD first = w.currentChannel();
    ASSERT_EQ(BASS_ChannelIsActive(first), BASS_ACTIVE_PLAYING);
    engine::nullOutputStep(44100 / 4);
    w.tick();
    EXPECT_EQ(text("lblTrackPosition"), "00:00 / 00:01");

    ASSERT_TRUE(processUntilSteps([&] { return w.currentChannel() != first; }, 300));
    EXPECT_EQ(list()->currentRow(), 2);
    const DWORD last = w.currentChannel();
    ASSERT_TRUE(processUntilSteps([&] { return w.currentChannel() != last; }, 300));
    EXPECT_EQ(list()->currentRow(), 0) << "the end of the last track starts the first";
    const DWORD wrapped = w.currentChannel();
    EXPECT_EQ(BASS_ChannelIsActive(wrapped), BASS_ACTIVE_PLAYING);

    button(1)->click();
    EXPECT_EQ(BASS_ChannelIsActive(wrapped), BASS_ACTIVE_PAUSED);
    button(1)->click();
    EXPECT_EQ(BASS_ChannelIsActive(wrapped), BASS_ACTIVE_PLAYING);
    button(2)->click();
    EXPECT_EQ(BASS_ChannelIsActive(wrapped), BASS_ACTIVE_STOPPED);
    button(1)->click();
    EXPECT_EQ(BASS_ChannelIsActive(wrapped), BASS_ACTIVE_STOPPED) << "a stopped stream is gone";
    button(0)->click();
    settle();
    EXPECT_NE(w.currentChannel(), wrapped);
    EXPECT_EQ(BASS_ChannelIsActive(w.currentChannel()), BASS_ACTIVE_PLAYING);
    EXPECT_TRUE(scripted->messages.empty()) << scripted->lastMessage();
}

// Another drive chosen while a track plays: the track stops, and its end starts nothing of the
// new list.
TEST_F(CdPlayback, AnotherDriveStopsTheTrackThatPlays) {
    addDisc(3, 75);
    ASSERT_GE(engine::cdAddImage(cdimage::write(discDir.file("other"), disc)), 0);
    auto& w = open();
    auto* drives = child<QComboBox>("cmbCDDrives");
    ASSERT_EQ(drives->count(), 2);
    selectRow(2);
    const DWORD playing = w.currentChannel();
    ASSERT_EQ(BASS_ChannelIsActive(playing), BASS_ACTIVE_PLAYING);
    drives->setCurrentIndex(1 - drives->currentIndex());
    EXPECT_EQ(BASS_ChannelIsActive(playing), BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(processUntilSteps([&] { return w.currentChannel() != playing; }, 200));
}

TEST_F(CdPlayback, FadeOutMovesOnAtTheSlidersVolume) {
    addDisc(2, 75 * 8);
    auto& w = open();
    child<QSlider>("SliderVolume")->setValue(-80);
    selectRow(1);
    const DWORD fading = w.currentChannel();
    EXPECT_EQ(volumeOf(fading), 80u);
    button(8)->click();
    engine::nullOutputStep(44100 * 2);
    EXPECT_LT(volumeOf(fading), 80u);
    EXPECT_EQ(w.currentChannel(), fading) << "still fading after 2 s";
    ASSERT_TRUE(processUntilSteps([&] { return w.currentChannel() != fading; }, 50));
    EXPECT_EQ(list()->currentRow(), 0) << "the last track faded into the first";
    EXPECT_EQ(volumeOf(w.currentChannel()), 80u);
    EXPECT_EQ(BASS_ChannelIsActive(fading), BASS_ACTIVE_STOPPED);
}

TEST_F(CdPlayback, VolumeAndBalanceLabelsAndANewTrackStartsCentred) {
    addDisc(2, 75 * 4);
    auto& w = open();
    selectRow(0);
    auto* volume = child<QSlider>("SliderVolume");
    const std::pair<int, const char*> labels[] = {
        {-5, "Volume : 0"}, {-45, "Volume : 4"}, {-55, "Volume : 6"}, {-100, "Volume : 10"}};
    for (auto [value, label] : labels) {
        volume->setValue(value);
        EXPECT_EQ(text("lblVolume"), label);
        EXPECT_EQ(volumeOf(w.currentChannel()), DWORD(-value));
    }
    child<QSlider>("SliderBalance")->setValue(60);
    EXPECT_EQ(text("lblBalance"), "60");
    EXPECT_EQ(panOf(w.currentChannel()), 60);
    selectRow(1);
    EXPECT_EQ(panOf(w.currentChannel()), 0) << "a new track plays centred";
    EXPECT_EQ(child<QSlider>("SliderBalance")->value(), 60);
    EXPECT_EQ(text("lblBalance"), "60");
}

TEST_F(CdPlayback, ReadErrorStopsPlaybackWithTheMessageAndEmptiesTheList) {
    int drive = addDisc(2, 75 * 4);
    auto& w = open();
    stopTimer();  // its tick would fill the emptied list again at once
    selectRow(0);
    const DWORD ch = w.currentChannel();
    engine::CdTestFaults f;
    f.failReadsFromSector = 30;
    engine::cdSetTestFaults(drive, f);
    ASSERT_TRUE(processUntilSteps([&] { return !scripted->messages.empty(); }, 300));
    EXPECT_EQ(scripted->messages[0].text,
              "There was an error playing back and Audio CD stream. Most probable cause is the CD "
              "drive was opened.");
    EXPECT_EQ(scripted->messages[0].title, "Error");
    EXPECT_EQ(scripted->messages[0].icon, platform::Icon::Critical);
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(BASS_ChannelIsActive(ch), BASS_ACTIVE_STOPPED);
    engine::cdSetTestFaults(drive, {});
    w.tick();
    EXPECT_EQ(list()->count(), 2) << "the timer fills the list again";
}

// A read that fails at the very start of a track (and one that fails on the second track after
// the first has played through) is reported once, and playback does not move on by itself.
TEST_F(CdPlayback, ReadErrorAtTheStartOfATrackIsReportedNotSkipped) {
    int drive = addDisc(3, 20);
    auto& w = open();
    stopTimer();
    for (int64_t failFrom : {0, 20}) {
        scripted->messages.clear();
        w.tick();
        ASSERT_EQ(list()->count(), 3);
        engine::CdTestFaults f;
        f.failReadsFromSector = failFrom;
        engine::cdSetTestFaults(drive, f);
        selectRow(0);
        ASSERT_TRUE(processUntilSteps([&] { return !scripted->messages.empty(); }, 300))
            << "failing from sector " << failFrom;
        for (int i = 0; i < 20; ++i) processUntilSteps([] { return false; }, 1);
        ASSERT_EQ(scripted->messages.size(), 1u);
        EXPECT_NE(scripted->messages[0].text.find("error playing back"), std::string::npos);
        EXPECT_EQ(list()->count(), 0);
        EXPECT_NE(BASS_ChannelIsActive(w.currentChannel()), BASS_ACTIVE_PLAYING)
            << "no track plays on after the error";
        engine::cdSetTestFaults(drive, {});
    }
}

}  // namespace
