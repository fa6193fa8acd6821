#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/qt_platform.h"
#include "platform/scripted_platform.h"
#include "platform/window_thread.h"
#include "platform/work_folder.h"
#include "tests/support/audio_fixtures.h"

using namespace platform;

TEST(QtPlatform, FilterBecomesQtFormWithBothCases) {
    EXPECT_EQ(QtPlatform::qtFilter("Mp3 Files (*.mp3)|*.MP3|Wav File (*.wav)|*.WAV"),
              "Mp3 Files (*.mp3 *.MP3);;Wav File (*.wav *.WAV)");
    EXPECT_EQ(QtPlatform::qtFilter("File Wave (*.wav)|*.wav"), "File Wave (*.wav *.WAV)");
    EXPECT_EQ(QtPlatform::qtFilter("All|*.*"), "All (*.*)");
    // A name with a dot but no extension of the list gets the chosen type's; Qt adds it only to
    // names without a dot.
    const QStringList types = {"wav", "flac"};
    EXPECT_EQ(QtPlatform::withTypedExtension("/m/Mr. Brown", types, "flac"), "/m/Mr. Brown.flac");
    EXPECT_EQ(QtPlatform::withTypedExtension("/m/take.2", types, "wav"), "/m/take.2.wav");
    EXPECT_EQ(QtPlatform::withTypedExtension("/m/Song.FLAC", types, "wav"), "/m/Song.FLAC");
}

TEST(ScriptedPlatform, AnswersInOrderAndRecords) {
    auto prev = Platform::install(std::make_unique<ScriptedPlatform>());
    auto& p = static_cast<ScriptedPlatform&>(Platform::instance());
    p.openAnswers = {std::string("/tmp/a.wav"), std::nullopt};
    EXPECT_EQ(p.openFile({"t", "f", 0, "", ""}).value(), "/tmp/a.wav");
    EXPECT_FALSE(p.openFile({"t", "f", 0, "", ""}).has_value());
    EXPECT_FALSE(p.openFile({"t", "f", 0, "", ""}).has_value());  // empty queue cancels
    message("Done!", "Quorvin Audio Tools");
    EXPECT_EQ(p.lastMessage(), "Done!");
    EXPECT_EQ(p.openDialogs.size(), 3u);
    Platform::install(std::move(prev));
}

namespace {
void writeFile(const QString& path, qint64 bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(bytes, 'x'));
}
}  // namespace

// The program's end waits for the file work handed off before it (the last position, saved at
// Stop), so that nothing the user made is lost with the program.
TEST(QtPlatform, TheProgramsEndWaitsForTheFileWorkHandedOff) {
    fixtures::TempDir dir;
    const std::string saved = (dir.path() / "saved").string();
    const pid_t child = fork();
    if (child == 0) {
        platform::runInOrderOffWindowThread([saved] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a slow drive
            std::ofstream(saved) << "x";
        });
        platform::QtPlatform().exitProgram(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(std::filesystem::exists(saved));
}

// Running copies keep their own work folders; what copies that have gone left is removed, and
// nothing else in the folder (another tool's data, a running command line's spool file).
TEST(WorkFolder, RunningCopiesKeepTheirFilesAndGoneCopiesLoseTheirs) {
    fixtures::TempDir cache;
    const QString root = QString::fromStdString((cache.path() / "quorvin").string());
    QDir().mkpath(root + "/4242");              // a gone copy's folder whose lock was removed
    writeFile(root + "/newwave.wav", 1 << 20);  // the one-folder layout's work file
    writeFile(root + "/4242/TRACK.WAV", 1 << 20);
    QDir().mkpath(root + "/bpm-real");
    writeFile(root + "/bpm-real/list.tsv", 100);
    writeFile(root + "/standard-input.a1b2c3", 100);
    const QStringList others = {"bpm-real", "standard-input.a1b2c3"};
    // A copy that ended without removing its folder: its lock stays behind, stale.
    const pid_t child = fork();
    if (child == 0) {
        QLockFile lock(root + "/gone.lock");
        lock.setStaleLockTime(0);
        const bool locked = lock.tryLock(0) && QDir().mkpath(root + "/gone");
        QFile f(root + "/gone/newwave.wav");
        _exit(locked && f.open(QIODevice::WriteOnly) && f.write("x") == 1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);

    auto first = std::make_unique<platform::WorkFolder>(root, "first");
    EXPECT_EQ(first->path(), root + "/first");
    EXPECT_EQ(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"bpm-real", "first", "first.lock", "standard-input.a1b2c3"}));
    EXPECT_TRUE(QFile::exists(root + "/bpm-real/list.tsv"));
    writeFile(first->path() + "/newwave.wav", 100);
    {
        platform::WorkFolder second(root, "second");
        EXPECT_EQ(second.path(), root + "/second");
        EXPECT_TRUE(QFile::exists(root + "/first/newwave.wav"));
        writeFile(second.path() + "/newwave.wav", 100);
    }
    EXPECT_EQ(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"bpm-real", "first", "first.lock", "standard-input.a1b2c3"}));
    first.reset();
    EXPECT_EQ(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), others);
}
