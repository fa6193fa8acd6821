// The CD window extracting: to the scratch WAV and the save dialog, data tracks, a disc failing
// part-way, and WMA files with their tags.
#include <atomic>
#include <thread>

#include "files/fault_injection.h"
#include "platform/window_thread.h"
#include "tests/cd/cd_window_fixture.h"
#include "tests/cd/wma_probe.h"

namespace {

using fixtures::le32;

using CdWindowExtract = CdWindowTest;

const std::thread::id mainThread = std::this_thread::get_id();

// A WAV of exactly `audio` behind a header whose sizes say so.
void expectWav(const std::string& path, const std::vector<uint8_t>& audio) {
    auto b = fixtures::readBytes(path);
    ASSERT_EQ(b.size(), 44 + audio.size()) << path;
    EXPECT_EQ(le32(b, 4), audio.size() + 36);
    EXPECT_EQ(le32(b, 40), audio.size());
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), b.begin() + 44));
}

TEST_F(CdWindowExtract, WavGoesToTheScratchFileAndIsSavedUnderTheChosenName) {
    addDisc(3, 60);
    disc.tracks[0].sectors = 300;  // written again with a longer first track
    cdimage::write(discDir.file("disc"), disc);
    engine::cdRemoveImages();
    ASSERT_EQ(engine::cdAddImage(discDir.file("disc.cue")), 0);
    auto& w = open();

    const std::string first = outDir.file("first.wav");
    scripted->saveAnswers.push_back(first);
    selectRow(0);
    // The track is read and written, and then copied, off the window thread.
    const std::thread::id windowThread = std::this_thread::get_id();
    std::atomic<int> windowWrites{0};
    files::watchWrites([&] { windowWrites += std::this_thread::get_id() == windowThread; });
    button(7)->click();
    files::watchWrites({});
    EXPECT_EQ(windowWrites, 0);
    ASSERT_EQ(scripted->messages.size(), 1u) << scripted->lastMessage();
    EXPECT_EQ(scripted->messages[0].text, "WAV File Encoded.");
    EXPECT_EQ(scripted->messages[0].title, "Quorvin Audio tools");
    ASSERT_EQ(scripted->saveDialogs.size(), 1u);
    EXPECT_EQ(scripted->saveDialogs[0].title, "Save WAVE File As");
    EXPECT_EQ(scripted->saveDialogs[0].filter, "File Wave (*.wav)|*.wav");
    EXPECT_EQ(scripted->saveDialogs[0].flags, 2u);
    EXPECT_EQ(scripted->saveDialogs[0].initialName, "");
    expectWav(first, cdimage::trackBytes(disc.tracks[0], 0));
    EXPECT_FALSE(std::filesystem::exists(w.scratchTrackFile()));  // saved: the work file goes
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(scripted->busy());

    // A shorter track after the longer one; the dialog starts with the last name.
    const std::string second = outDir.file("second.wav");
    scripted->saveAnswers.push_back(second);
    selectRow(2);
    button(7)->click();
    EXPECT_EQ(scripted->saveDialogs.back().initialName, first);
    expectWav(second, cdimage::trackBytes(disc.tracks[2], 2));

    // Cancelled: nothing written, the earlier file untouched.
    const auto before = fixtures::readBytes(first);
    selectRow(1);
    button(7)->click();
    EXPECT_EQ(fixtures::readBytes(first), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outDir.path()),
                            std::filesystem::directory_iterator()),
              2);

    // Saving onto the scratch file itself is harmless; a folder that is not there is reported.
    scripted->saveAnswers.push_back(w.scratchTrackFile());
    button(7)->click();
    expectWav(w.scratchTrackFile(), cdimage::trackBytes(disc.tracks[1], 1));
    const size_t shown = scripted->messages.size();
    scripted->saveAnswers.push_back(outDir.file("missing/x.wav"));
    button(7)->click();
    ASSERT_EQ(scripted->messages.size(), shown + 2);
    EXPECT_NE(scripted->messages.back().text.find("missing"), std::string::npos)
        << scripted->lastMessage();
    EXPECT_FALSE(scripted->busy());
}

// Closing the window while a track is read: the extraction stops after the block under way, and
// the window closes once it has, with no message, no save dialog and no scratch file left.
TEST_F(CdWindowExtract, ClosingWhileATrackIsReadStopsItAndOffersNothing) {
    addDisc(1, 3000);
    auto& w = open();
    w.show();
    selectRow(0);
    std::atomic<bool> asked{false};
    files::watchWrites([&] {
        if (std::this_thread::get_id() != mainThread && !asked.exchange(true))
            platform::postToWindowThread([&] {
                w.close();
                EXPECT_TRUE(w.isVisible()) << "not before the extraction has stopped";
            });
    });
    button(7)->click();
    files::watchWrites({});
    EXPECT_TRUE(asked);
    EXPECT_TRUE(processUntil([&] { return !w.isVisible(); }));
    EXPECT_TRUE(scripted->messages.empty()) << scripted->lastMessage();
    EXPECT_TRUE(scripted->saveDialogs.empty());
    EXPECT_FALSE(std::filesystem::exists(w.scratchTrackFile()));
    EXPECT_FALSE(scripted->busy());
}

TEST_F(CdWindowExtract, DataTrackAndDiscFailingPartWay) {
    int drive = addDisc(2, 200, true);
    auto& w = open();
    selectRow(2);
    button(7)->click();
    ASSERT_EQ(scripted->messages.size(), 1u);
    EXPECT_EQ(scripted->messages[0].text, "Unable to Create CD Stream!");
    EXPECT_EQ(scripted->messages[0].title, "Quorvin Audio Tools 1.0");
    EXPECT_TRUE(scripted->saveDialogs.empty());
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(scripted->busy());

    // Reads fail from the 51st sector of track 1: the message says the track was read in part,
    // and the file offered holds exactly those sectors behind a header that says so.
    engine::CdTestFaults f;
    f.failReadsFromSector = 50;
    engine::cdSetTestFaults(drive, f);
    const std::string saved = outDir.file("part.wav");
    scripted->saveAnswers.push_back(saved);
    selectRow(0);
    button(7)->click();
    ASSERT_EQ(scripted->messages.size(), 2u);
    EXPECT_EQ(scripted->messages[1].text.rfind("Error in routine : ExtractAudioTrackin module : "
                                               "frmDemo\r\nError #",
                                               0),
              0u);
    EXPECT_NE(scripted->messages[1].text.find("only in part"), std::string::npos);
    auto whole = cdimage::trackBytes(disc.tracks[0], 0);
    expectWav(saved, std::vector<uint8_t>(whole.begin(), whole.begin() + 50 * 2352));
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(scripted->busy());
    engine::cdSetTestFaults(drive, {});
}

// WMA files go to the user's music folder (the program's own is a work folder that goes at its
// end), under a free name, and the message says where.
TEST_F(CdWindowExtract, WmaFilesCarryTheBoxTagsInTheMusicFolder) {
    addDisc(3, 150);
    auto& w = open();
    child<QRadioButton>("optExtractMode_1")->click();
    auto* rates = child<QComboBox>("cmbWMAEncodingBitrate");
    rates->setCurrentIndex(rates->findData(128000));
    selectRow(0);
    button(7)->click();
    ASSERT_EQ(scripted->messages.size(), 1u);
    const auto& done = scripted->messages[0];
    EXPECT_EQ(done.title, "WMA Encoding");
    EXPECT_EQ(done.text.rfind("WMA File Encoded. Encoding took ", 0), 0u) << done.text;
    const std::string music = scripted->musicFolder();
    const std::string track1 = music + "/TRACK1.WMA";
    EXPECT_NE(done.text.find(" seconds.\n\nSaved as \"" + track1 + "\"."), std::string::npos)
        << done.text;
    EXPECT_TRUE(scripted->saveDialogs.empty());
    auto info = wmaprobe::probe(track1);
    ASSERT_TRUE(info.opened);
    EXPECT_NEAR(info.seconds(), 2.0, 1.0);
    const std::pair<const char*, const char*> defaults[] = {{"Title", "Title"},
                                                            {"Author", "Artist"},
                                                            {"WM/AlbumTitle", "Album Title"},
                                                            {"Description", "Description"},
                                                            {"Rating", "Rating"},
                                                            {"Copyright", "Copyright"},
                                                            {"WM/Genre", "Genre"},
                                                            {"WM/Year", "Year"}};
    for (auto [name, value] : defaults) EXPECT_EQ(wmaprobe::tag(info, name), value) << name;

    // An emptied box leaves its tag out; an edited one is written.
    child<QLineEdit>("txtWMATags_1")->clear();
    child<QLineEdit>("txtWMATags_0")->setText("Ünïcode title");
    selectRow(1);
    button(7)->click();
    const std::string track2 = music + "/TRACK2.WMA";
    EXPECT_FALSE(wmaprobe::storesName(track2, "Author"));
    EXPECT_EQ(wmaprobe::tag(wmaprobe::probe(track2), "Title"), "Ünïcode title");

    // "WMA File Tags" unchecked: no tags at all.
    child<QCheckBox>("chkWMAFileTags")->setChecked(false);
    selectRow(2);
    button(7)->click();
    const std::string track3 = music + "/TRACK3.WMA";
    for (auto [name, value] : defaults) EXPECT_FALSE(wmaprobe::storesName(track3, name)) << name;
    // The same track again: the first file is kept.
    const auto first = std::filesystem::file_size(track1);
    selectRow(0);
    button(7)->click();
    EXPECT_TRUE(std::filesystem::exists(music + "/TRACK1 (2).WMA"));
    EXPECT_EQ(std::filesystem::file_size(track1), first);
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(scripted->busy());

    // No bit rate (no encoder): refused with a message, nothing written.
    const size_t shown = scripted->messages.size();
    w.ExtractAudioTrackToWMA(0, 0);
    ASSERT_EQ(scripted->messages.size(), shown + 1);
    EXPECT_NE(scripted->lastMessage().find("no WMA encoder"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(track1) > 0, true);
}

}  // namespace
