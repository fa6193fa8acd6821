// "Extract All..." in the CD window: the rip runs on a worker while the window thread goes on,
// marks tracks with skipped reads, shows AccurateRip verdicts, stops on request and remembers
// each drive's read offset.
#include <QLineEdit>
#include <QProgressBar>
#include <QSettings>
#include <QSpinBox>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cd/rip_panel.h"
#include "disc/cd_ext.h"
#include "tests/cd/cd_window_fixture.h"

namespace fs = std::filesystem;

namespace {

class RipWindow : public CdWindowTest {
  protected:
    void SetUp() override {
        CdWindowTest::SetUp();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(settingsDir.path().string()));
    }
    QPushButton* extractAll() { return child<QPushButton>("cmdExtractAll"); }
    cd::RipPanel* panel() { return child<cd::RipPanel>("ripPanel"); }
    std::vector<std::string> results() {
        std::vector<std::string> out;
        auto* l = child<QListWidget>("lstRipTracks");
        for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->text().toStdString());
        return out;
    }
    std::string folder() const { return (outDir.path() / "rip").string(); }

    fixtures::TempDir settingsDir;
};

class RipWindowFaults : public RipWindow, public ::testing::WithParamInterface<bool> {};

TEST_P(RipWindowFaults, ExtractAllRipsOnAWorkerAndMarksSkippedReads) {
    const bool skipped = GetParam();
    const int drive = addDisc(3, 40, /*withData=*/true);
    ASSERT_GE(drive, 0);
    if (skipped) engine::cdInjectReadFault(DWORD(drive), 40 + 3, false);  // track 2
    ASSERT_GE(engine::cdAddImage(cdimage::write(discDir.file("other"), disc)), 0);
    open();
    child<QSpinBox>("spnOffset")->setValue(6);
    scripted->folderAnswers.push_back(folder());
    std::vector<std::string> positions;  // what the position label showed during the rip
    QObject::connect(panel(), &cd::RipPanel::trackProgress,
                     [&] { positions.push_back(text("lblTrackPosition").toStdString()); });

    extractAll()->click();
    // The click returned while the worker reads: the button now stops the rip.
    EXPECT_TRUE(panel()->running() || !panel()->lastRip().tracks.empty());
    ASSERT_TRUE(processUntil([&] { return !panel()->running(); }));
    ASSERT_EQ(scripted->folderDialogs.size(), 1u);

    const cd::DiscRip& rip = panel()->lastRip();
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    EXPECT_EQ(rip.readOffset, 6);
    // The position display followed the rip (the tracks are 40 sectors, half a second long).
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), "00:01 / 00:01");
    EXPECT_EQ(child<QProgressBar>("prgDisc")->value(), child<QProgressBar>("prgDisc")->maximum());
    const auto rows = results();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3], "04  data track, skipped");
    EXPECT_EQ(rows[1].find("SKIPPED READS") != std::string::npos, skipped) << rows[1];
    EXPECT_EQ(rows[0].rfind("01  OK  CRC32 ", 0), 0u) << rows[0];
    for (int t = 1; t <= 3; ++t)
        EXPECT_TRUE(fs::exists(fs::path(folder()) /
                               ("0" + std::to_string(t) + " - " +
                                (t == 1 ? "Song" : "Track 0" + std::to_string(t)) + ".flac")));
    ASSERT_FALSE(scripted->messages.empty());
    const std::string said = scripted->lastMessage();
    EXPECT_EQ(said.find("NOT every track was read without skips or read errors; see track 2.") !=
                  std::string::npos,
              skipped)
        << said;
    EXPECT_EQ(said.find("Every track was read without skips.") != std::string::npos, !skipped);
    EXPECT_TRUE(extractAll()->isEnabled());
    EXPECT_TRUE(button(0)->isEnabled());
    // Another disc chosen: the results shown were this one's.
    child<QComboBox>("cmbCDDrives")->setCurrentIndex(1);
    EXPECT_TRUE(results().empty());
    EXPECT_EQ(child<QProgressBar>("prgDisc")->value(), 0);
    EXPECT_EQ(text("lblRipStatus"), "");
}

INSTANTIATE_TEST_SUITE_P(CleanOrSkipped, RipWindowFaults, ::testing::Bool());

// Without a drive, the first image opened is the disc "Extract All" rips.
TEST_F(RipWindow, TheFirstImageOpenedWithoutADriveIsRipped) {
    disc.tracks = cdimage::audioTracks(2, 40);
    const std::string cue = cdimage::write(discDir.file("only"), disc);
    open();
    scripted->openAnswers.push_back(cue);
    auto* openImage = child<QPushButton>("cmdOpenImage");
    openImage->click();
    ASSERT_TRUE(processUntil(
        [&] { return child<QComboBox>("cmbCDDrives")->count() == 1 && openImage->isEnabled(); }));
    scripted->folderAnswers.push_back(folder());
    extractAll()->click();
    ASSERT_TRUE(processUntil([&] { return !panel()->running(); }));
    EXPECT_EQ(scripted->folderDialogs.size(), 1u);
    EXPECT_EQ(panel()->lastRip().status, cd::DiscRip::Status::Done) << panel()->lastRip().message;
}

TEST_F(RipWindow, StopRightAfterTheStartLeavesNoTrackFile) {
    ASSERT_GE(addDisc(3, 300), 0);
    open();
    scripted->folderAnswers.push_back(folder());
    extractAll()->click();
    extractAll()->click();  // Stop
    ASSERT_TRUE(processUntil([&] { return !panel()->running(); }));
    EXPECT_EQ(panel()->lastRip().status, cd::DiscRip::Status::Stopped);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder())) names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"Artist - Album.log"});
    EXPECT_NE(scripted->lastMessage().rfind("Stopped. 0 tracks ripped", 0), std::string::npos);
}

// Closing the window mid-rip returns at once: the rip stops after the read under way, and the
// window closes when it has, without a message box and with no partial track left.
TEST_F(RipWindow, ClosingMidRipClosesOnceTheRipHasStopped) {
    ASSERT_GE(addDisc(3, 300), 0);
    open().show();
    scripted->folderAnswers.push_back(folder());
    extractAll()->click();
    ASSERT_TRUE(panel()->running());
    const size_t messages = scripted->messages.size();
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isEnabled());
    ASSERT_TRUE(processUntil([&] { return !window->isVisible(); }));
    EXPECT_FALSE(panel()->running());
    EXPECT_EQ(panel()->lastRip().status, cd::DiscRip::Status::Stopped);
    EXPECT_EQ(scripted->messages.size(), messages);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder())) names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"Artist - Album.log"});
}

TEST_F(RipWindow, VerdictsOfADatabaseFileAreListedAndABadFileIsRefused) {
    ASSERT_GE(addDisc(2, 20), 0);
    open();
    scripted->folderAnswers.push_back(folder());
    extractAll()->click();
    ASSERT_TRUE(processUntil([&] { return !panel()->running(); }));
    // A database file holding this disc's checksums (v2), each submitted twice.
    const cd::DiscRip& first = panel()->lastRip();
    std::string db(1, char(2));
    for (uint32_t id : {first.ids.accurateRip1, first.ids.accurateRip2, first.ids.freedb})
        db.append(reinterpret_cast<const char*>(&id), 4);
    for (const cd::TrackRip& t : first.tracks) {
        db += char(2);
        db.append(reinterpret_cast<const char*>(&t.accurateRipV2), 4);
        db.append(4, '\0');
    }
    const std::string dbPath = discDir.file("dBAR.bin");
    std::ofstream(dbPath, std::ios::binary) << db;
    child<QLineEdit>("txtAccurateRipDb")->setText(QString::fromStdString(dbPath));
    scripted->folderAnswers.push_back(folder() + "2");
    extractAll()->click();
    ASSERT_TRUE(processUntil([&] { return !panel()->running(); }));
    const auto rows = results();
    ASSERT_EQ(rows.size(), 2u);
    for (const std::string& row : rows)
        EXPECT_NE(row.find("AccurateRip: accurate (confidence 2, v2)"), std::string::npos) << row;
    EXPECT_NE(scripted->lastMessage().find("Every track is accurate in AccurateRip."),
              std::string::npos)
        << scripted->lastMessage();

    // A file cut short: refused with the reason before a folder is asked for.
    std::ofstream(dbPath, std::ios::binary | std::ios::trunc) << db.substr(0, 20);
    const size_t dialogs = scripted->folderDialogs.size();
    extractAll()->click();
    EXPECT_FALSE(panel()->running());
    EXPECT_EQ(scripted->folderDialogs.size(), dialogs);
    EXPECT_NE(scripted->lastMessage().find("cut short"), std::string::npos)
        << scripted->lastMessage();
}

TEST_F(RipWindow, ReadOffsetIsRememberedPerDrive) {
    ASSERT_GE(addDisc(1, 10), 0);
    const std::string other = cdimage::write(discDir.file("other"), disc);
    ASSERT_GE(engine::cdAddImage(other), 0);
    open();
    auto* drives = child<QComboBox>("cmbCDDrives");
    ASSERT_EQ(drives->count(), 2);
    child<QSpinBox>("spnOffset")->setValue(-472);
    drives->setCurrentIndex(1);
    EXPECT_EQ(child<QSpinBox>("spnOffset")->value(), 0);
    child<QSpinBox>("spnOffset")->setValue(667);
    window.reset();
    open();
    EXPECT_EQ(child<QSpinBox>("spnOffset")->value(), -472);
    child<QComboBox>("cmbCDDrives")->setCurrentIndex(1);
    EXPECT_EQ(child<QSpinBox>("spnOffset")->value(), 667);
}

}  // namespace
