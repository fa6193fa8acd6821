// The CD window: load, drive panel, buttons, the door watched by the timer, CD-Text failures,
// messages and closing.
#include "disc/cd_ext.h"
#include "rip/track_list.h"
#include "tests/cd/cd_window_fixture.h"

namespace {

using CdWindow = CdWindowTest;

TEST_F(CdWindow, LoadListsDrivesAndFillsTheTrackList) {
    int drive = addDisc(3, 75, true);
    ASSERT_EQ(drive, 0);
    auto& w = open();
    ASSERT_TRUE(w.loadSucceeded());
    EXPECT_TRUE(scripted->messages.empty()) << scripted->lastMessage();
    EXPECT_EQ(w.windowTitle(), "CD Ripping");
    auto* drives = child<QComboBox>("cmbCDDrives");
    ASSERT_EQ(drives->count(), 1);
    EXPECT_EQ(drives->itemText(0).toStdString(),
              std::string("disc.cue: ") + BASS_CD_GetDriveDescription(0));
    EXPECT_EQ(drives->currentIndex(), 0);
    EXPECT_EQ(w.currentDrive(), 0);
    EXPECT_EQ(w.lastDriveIndex(), 0);
    EXPECT_EQ(rows(), (std::vector<std::string>{"01\tSinger / Song\t[00:01]", "02\t / \t[00:01]",
                                                "03\t / \t[00:01]", "04\tTrack 4\t[data]"}));
    EXPECT_EQ(text("txtCDArtist"), "Artist");
    EXPECT_EQ(text("txtCDAlbum"), "Album");
    EXPECT_EQ(list()->selectedItems().size(), 0) << "nothing plays until a row is chosen";
    EXPECT_EQ(w.currentChannel(), 0u);
}

TEST_F(CdWindow, EveryNamedControlHasItsOwnAccessibleName) {
    addDisc();
    auto& w = open();
    QStringList seen;
    for (QWidget* c : w.findChildren<QWidget*>()) {
        if (c->objectName().isEmpty() || c->objectName().startsWith("qt_")) continue;
        const QString name = c->accessibleName();
        EXPECT_FALSE(name.isEmpty()) << c->objectName().toStdString();
        EXPECT_FALSE(seen.contains(name)) << name.toStdString();
        seen << name;
    }
    EXPECT_GE(seen.size(), 69) << "every control of the window and of Extract All";
}

TEST_F(CdWindow, ControlsStartAsDesigned) {
    addDisc(2, 75, false, false);
    auto& w = open();
    EXPECT_EQ(text("txtCDArtist"), "Unknown Artist");
    EXPECT_EQ(text("txtCDAlbum"), "Unknown Album");
    EXPECT_EQ(rows(), (std::vector<std::string>{"01\tTrack 1\t[00:01]", "02\tTrack 2\t[00:01]"}));

    const char* captions[10] = {"&Play",     "P&ause/Resume", "&Stop",  "&Lock",
                                "&Unlock",   "&Open",         "&Close", "&Extract",
                                "&Fade Out", "&Drive Info >>"};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(button(i)->text(), captions[i]);
    // Tab goes along the two rows of buttons as they are placed.
    std::vector<QWidget*> tabbed;
    for (QWidget* at = button(0); tabbed.size() < 10; at = at->nextInFocusChain())
        if (at->objectName().startsWith("cmdButton_")) tabbed.push_back(at);
    const std::vector<QWidget*> placed = {button(0), button(1), button(2), button(8), button(7),
                                          button(3), button(4), button(5), button(6), button(9)};
    EXPECT_EQ(tabbed, placed);
    EXPECT_EQ(flag(2)->text(), "Drive can read CD-R/RW media \"method 2\"");
    EXPECT_EQ(flag(10)->text(), "Drive supports \"stream is accurate\"");
    EXPECT_EQ(flag(14)->text(), "Drive is open");

    // The image's panel: CD audio readable, no door to open or lock (greyed until the first
    // tick), no speed or cache figures.
    EXPECT_EQ(flag(9)->checkState(), Qt::Checked);
    EXPECT_EQ(flag(11)->checkState(), Qt::Unchecked);
    EXPECT_EQ(flag(12)->checkState(), Qt::Unchecked);
    EXPECT_EQ(flag(13)->checkState(), Qt::PartiallyChecked);
    EXPECT_FALSE(button(3)->isEnabled());
    EXPECT_FALSE(button(5)->isEnabled());
    EXPECT_EQ(text("lblMaxReadSpeed"), " Kbps");
    EXPECT_EQ(text("lblCacheSize"), " Kbps");
    EXPECT_EQ(text("lblTrackPosition"), "");
    w.tick();
    EXPECT_EQ(flag(13)->checkState(), Qt::Unchecked);
    EXPECT_EQ(flag(14)->checkState(), Qt::Unchecked);
    EXPECT_EQ(text("lblTrackPosition"), "00:-1 / 00:-1");

    EXPECT_EQ(w.width(), w.twipsToPixels(7515));
    if (w.logicalDpiX() == 96) {
        EXPECT_EQ(w.width(), 501);
    }
    const int volume = BASS_GetVolume();
    EXPECT_EQ(child<QSlider>("SliderVolume")->value(), -volume);
    EXPECT_EQ(text("lblVolume"), QString("Volume : %1").arg(cd::roundHalfEven(volume / 10.0)));
    EXPECT_EQ(text("lblBalance"), "0");

    EXPECT_TRUE(child<QRadioButton>("optExtractMode_0")->isChecked());
    auto* options = child<QWidget>("picWMAExtractOptions");
    EXPECT_FALSE(options->isEnabled());
    child<QRadioButton>("optExtractMode_1")->click();
    EXPECT_TRUE(options->isEnabled());
    child<QRadioButton>("optExtractMode_0")->click();
    EXPECT_FALSE(options->isEnabled());
    EXPECT_TRUE(child<QCheckBox>("chkWMAFileTags")->isChecked());
    const char* tagTexts[8] = {"Title",  "Artist",    "Album Title", "Description",
                               "Rating", "Copyright", "Genre",       "Year"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(text(QString("txtWMATags_%1").arg(i)), tagTexts[i]);
    EXPECT_EQ(w.wmaTagNames().at(1), "Author");
    auto* rates = child<QComboBox>("cmbWMAEncodingBitrate");
    ASSERT_GT(rates->count(), 0);
    EXPECT_EQ(rates->currentIndex(), 0);
    int i128 = rates->findData(128000);
    ASSERT_GE(i128, 0);
    EXPECT_EQ(rates->itemText(i128), "128 Kbps");
}

TEST_F(CdWindow, ButtonsDoNothingWithoutASelectedRowAndDriveInfoToggles) {
    addDisc();
    auto& w = open();
    for (int i = 0; i < 10; ++i) button(i)->setEnabled(true);
    for (int i = 0; i < 10; ++i) button(i)->click();
    EXPECT_EQ(w.currentChannel(), 0u);
    EXPECT_EQ(w.widthTwips(), 7515);
    EXPECT_EQ(button(9)->text(), "&Drive Info >>");
    EXPECT_EQ(list()->count(), 3) << "Open did not clear the list";
    EXPECT_TRUE(scripted->messages.empty());
    EXPECT_TRUE(scripted->saveDialogs.empty());
    EXPECT_FALSE(std::filesystem::exists(w.scratchTrackFile()));

    selectRow(0);
    button(9)->click();
    EXPECT_EQ(w.widthTwips(), 11490);
    EXPECT_EQ(w.width(), w.twipsToPixels(11490));
    EXPECT_EQ(button(9)->text(), "&Drive Info <<");
    button(9)->click();
    EXPECT_EQ(w.width(), w.twipsToPixels(7515));
    EXPECT_EQ(button(9)->text(), "&Drive Info >>");
}

TEST_F(CdWindow, OpenDoorEmptiesTheListAndAClosedDoorFillsItAgain) {
    int drive = addDisc();
    auto& w = open();
    selectRow(1);
    const DWORD playing = w.currentChannel();
    ASSERT_EQ(BASS_ChannelIsActive(playing), BASS_ACTIVE_PLAYING);

    engine::CdTestFaults open;
    open.doorOpen = true;
    engine::cdSetTestFaults(drive, open);
    w.tick();
    EXPECT_EQ(flag(14)->checkState(), Qt::Checked);
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(BASS_ChannelIsActive(playing), BASS_ACTIVE_STOPPED);
    w.tick();
    EXPECT_EQ(list()->count(), 0) << "not refilled while the door is open";

    engine::cdSetTestFaults(drive, {});
    w.tick();
    EXPECT_EQ(flag(14)->checkState(), Qt::Unchecked);
    EXPECT_EQ(list()->count(), 3);
    EXPECT_TRUE(scripted->messages.empty());
}

TEST_F(CdWindow, UnreadableCdTextIsReportedOnceUntilTheDoorOpens) {
    int drive = addDisc();
    auto& w = open();
    w.findChild<QLineEdit*>("txtCDArtist")->setText("kept");
    engine::CdTestFaults broken;
    broken.cdText = std::string("TITLE0=x\0PERFORMER7=out of range", 32);  // no terminator
    engine::cdSetTestFaults(drive, broken);
    list()->clear();
    for (int i = 0; i < 20; ++i) w.tick();
    ASSERT_EQ(scripted->messages.size(), 1u);
    EXPECT_EQ(scripted->messages[0].text,
              "Error in routine : LoadTrackListFromCDTextin module : frmDemo\r\nError #9\r\n"
              "Subscript out of range");
    EXPECT_EQ(scripted->messages[0].title, "Quorvin Audio Tools 1.0");
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(text("txtCDArtist"), "kept");

    // The door opened and closed: the disc is read again (and fails again, once).
    broken.doorOpen = true;
    engine::cdSetTestFaults(drive, broken);
    w.tick();
    broken.doorOpen = false;
    engine::cdSetTestFaults(drive, broken);
    for (int i = 0; i < 5; ++i) w.tick();
    EXPECT_EQ(scripted->messages.size(), 2u);

    // Now readable: filled on the next opening of the door.
    engine::CdTestFaults open;
    open.doorOpen = true;
    engine::cdSetTestFaults(drive, open);
    w.tick();
    engine::cdSetTestFaults(drive, {});
    w.tick();
    EXPECT_EQ(list()->count(), 3);

    // The track count failing follows the same rule.
    engine::CdTestFaults noCount;
    noCount.failTrackCount = true;
    engine::cdSetTestFaults(drive, noCount);
    list()->clear();
    for (int i = 0; i < 5; ++i) w.tick();
    EXPECT_EQ(scripted->messages.size(), 3u);
    EXPECT_EQ(scripted->lastMessage(), "Error retreiving number of tracks.");
}

TEST_F(CdWindow, MessageRoutinesAndLoadTrackListFromCDText) {
    addDisc();
    auto& w = open();
    w.ReportEngineError("Something failed", 37);
    EXPECT_EQ(scripted->messages.back().text, "Something failed\r\n\r\nError Code : 37");
    EXPECT_EQ(scripted->messages.back().title, "Error");
    EXPECT_EQ(scripted->messages.back().icon, platform::Icon::Critical);
    w.ReportEngineError("Plain", -1);
    EXPECT_EQ(scripted->messages.back().text, "Plain");
    w.ReportRoutineError("frmDemo", "ExtractAudioTrack", 18, "Read failed");
    EXPECT_EQ(
        scripted->messages.back().text,
        "Error in routine : ExtractAudioTrackin module : frmDemo\r\nError #18\r\nRead failed");
    EXPECT_EQ(scripted->messages.back().icon, platform::Icon::None);

    // A broken block adds nothing and leaves the boxes; a good one fills both.
    list()->clear();
    const std::string bad = cdTextBlock({"TITLE0=New", "TITLE1 without equals"});
    w.LoadTrackListFromCDText(bad.c_str(), 3);
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(text("txtCDAlbum"), "Album");
    EXPECT_EQ(scripted->messages.back().text.rfind("Error in routine : LoadTrackListFromCDText", 0),
              0u);
    const std::string good = cdTextBlock({"title0=Lower Album", "Performer0=Them", "TITLE2=Two"});
    w.LoadTrackListFromCDText(good.c_str(), 3);
    EXPECT_EQ(text("txtCDAlbum"), "Lower Album");
    EXPECT_EQ(text("txtCDArtist"), "Them");
    EXPECT_EQ(rows()[1], "02\t / Two\t[00:01]");
}

TEST_F(CdWindow, ClosingStopsAndFreesTheEngine) {
    addDisc();
    auto& w = open();
    selectRow(0);
    const DWORD ch = w.currentChannel();
    ASSERT_EQ(BASS_ChannelIsActive(ch), BASS_ACTIVE_PLAYING);
    w.close();
    EXPECT_EQ(BASS_ChannelIsActive(ch), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_GetVolume(), -1) << "the engine is left uninitialised";
    w.tick();  // a late tick does nothing
}

// A drive plugged in joins the list at the next tick; when the selected drive is unplugged its
// playback stops and the first drive is selected again.
TEST_F(CdWindow, DriveListFollowsDrivesPluggedInAndRemoved) {
    addDisc(2, 75);
    cdimage::Disc other;
    other.tracks = cdimage::audioTracks(3, 40);
    const std::vector<std::string> plugged{cdimage::write(outDir.file("usb"), other)}, none;
    auto& w = open();
    auto* drives = child<QComboBox>("cmbCDDrives");
    ASSERT_EQ(drives->count(), 1);

    engine::cdSetTestDeviceList(&plugged);
    engine::cdRescanDrives();
    w.tick();
    ASSERT_EQ(drives->count(), 2);
    EXPECT_EQ(drives->itemText(1).toStdString().rfind("usb.cue: ", 0), 0u);
    EXPECT_EQ(w.currentDrive(), 0) << "the selection stays";
    drives->setCurrentIndex(1);
    EXPECT_EQ(list()->count(), 3);
    selectRow(0);
    EXPECT_EQ(BASS_ChannelIsActive(w.currentChannel()), BASS_ACTIVE_PLAYING);
    const DWORD playing = w.currentChannel();

    engine::cdSetTestDeviceList(&none);
    engine::cdRescanDrives();
    w.tick();
    EXPECT_EQ(drives->count(), 1);
    EXPECT_EQ(w.currentDrive(), 0);
    EXPECT_EQ(drives->currentIndex(), 0);
    EXPECT_NE(BASS_ChannelIsActive(playing), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(list()->count(), 2) << "the first drive's tracks";
    engine::cdSetTestDeviceList(nullptr);
}

// "Image...": the image chosen (here a FLAC of the disc with its cue sheet) becomes a drive and is
// selected, its tracks listed; an image that cannot be read is said with its reason, and the
// drives stay as they were.
TEST_F(CdWindow, OpenImageAddsTheImageAsADriveAndSelectsIt) {
    addDisc(2, 75);
    cdimage::Disc other;
    other.tracks = cdimage::audioTracks(3, 40);
    const std::string flac = cdimage::write(outDir.file("album"), other, cdimage::Files::OneFlac);
    fixtures::writeBytes(outDir.file("broken.cue"), {'F', 'I', 'L', 'E', '\n'});
    auto& w = open();
    auto* drives = child<QComboBox>("cmbCDDrives");
    auto* openImage = child<QPushButton>("cmdOpenImage");
    ASSERT_EQ(drives->count(), 1);

    scripted->openAnswers.push_back(flac);
    openImage->click();
    ASSERT_TRUE(processUntil([&] { return drives->count() == 2 && openImage->isEnabled(); }));
    EXPECT_EQ(drives->itemText(1).toStdString().rfind("album.cue: ", 0), 0u);
    EXPECT_EQ(w.currentDrive(), 1);
    EXPECT_EQ(rows().size(), 3u);
    EXPECT_TRUE(scripted->messages.empty()) << scripted->lastMessage();

    scripted->openAnswers.push_back(outDir.file("broken.cue"));
    openImage->click();
    ASSERT_TRUE(processUntil([&] { return !scripted->messages.empty(); }));
    EXPECT_NE(scripted->lastMessage().find("broken.cue"), std::string::npos);
    EXPECT_NE(scripted->lastMessage().find("FILE needs a name and a type"), std::string::npos)
        << scripted->lastMessage();
    EXPECT_EQ(drives->count(), 2);
    EXPECT_EQ(w.currentDrive(), 1);
    EXPECT_TRUE(openImage->isEnabled());

    // The image shown, chosen again unchanged while it plays: it plays on. Chosen again after it
    // changed on disk: its new tracks are listed.
    selectRow(0);
    const DWORD playing = w.currentChannel();
    ASSERT_EQ(BASS_ChannelIsActive(playing), BASS_ACTIVE_PLAYING);
    scripted->openAnswers.push_back(flac);
    openImage->click();
    ASSERT_TRUE(processUntil([&] { return openImage->isEnabled(); }));
    EXPECT_EQ(BASS_ChannelIsActive(playing), BASS_ACTIVE_PLAYING);
    other.tracks = cdimage::audioTracks(2, 40);
    ASSERT_EQ(cdimage::write(outDir.file("album"), other, cdimage::Files::OneFlac), flac);
    scripted->openAnswers.push_back(flac);
    openImage->click();
    ASSERT_TRUE(processUntil([&] { return rows().size() == 2u; }));
    EXPECT_EQ(drives->count(), 2);
    EXPECT_EQ(w.currentDrive(), 1);
}

}  // namespace
