// What a new user meets first: starting with a file named on the command line, no sound device,
// where work files go, the keyboard, Cancel for Process and the recent files.
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QXmlStreamReader>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>

#include "app/command_line.h"
#include "app/formp3.h"
#include "app/frmAbout.h"
#include "app/recent_files.h"
#include "cd/frmDemo.h"
#include "mp3/Form1.h"
#include "normaliser/Form11.h"
#include "platform/qt_platform.h"
#include "platform/settings.h"
#include "player/sound_output.h"
#include "tests/app/window_fixture.h"

namespace {

// Makes `dir` the current folder for the lifetime of the object.
class InFolder {
  public:
    explicit InFolder(const std::filesystem::path& dir) : before_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~InFolder() { std::filesystem::current_path(before_); }

  private:
    std::filesystem::path before_;
};

}  // namespace

// A file named relative to the folder the program was started in, whatever its name holds: a
// '&' is shown as it is, and a name that is not UTF-8 (Latin-1 bytes) still loads and plays.
class NamedOnTheCommandLine : public WindowTest,
                              public ::testing::WithParamInterface<std::string> {};

TEST_P(NamedOnTheCommandLine, LoadsRelativeToTheStartFolderAndShowsTheName) {
    const std::string name = GetParam();
    wav(name, fixtures::sine(440, 1.0));
    InFolder started(sources.path());
    const app::CommandLine command = app::parseCommandLine(std::vector<std::string>{
        "quorvin-audio-tools", "--null-output", "--cd-image", "disc.cue", name});
    ASSERT_TRUE(command.error.empty()) << command.error;
    ASSERT_EQ(command.cdImages.size(), 1u);
    EXPECT_EQ(command.cdImages[0], sources.file("disc.cue"));

    // Start-up leaves the current folder alone.
    app::frmWriteWave window;
    ASSERT_TRUE(window.Form_Load());
    EXPECT_EQ(std::filesystem::current_path(), sources.path());
    ASSERT_TRUE(window.openFile(command.file));
    EXPECT_TRUE(desk->messages.empty()) << desk->lastMessage();
    const QString shown = QFile::decodeName(QByteArray::fromStdString(name));
    EXPECT_EQ(window.ui().btnLoadFile->text(), QString(shown).replace('&', "&&"));
    EXPECT_EQ(window.ui().btnLoadFile->accessibleName(), shown);
    window.ui().CmdPlay->click();
    EXPECT_TRUE(desk->messages.empty()) << desk->lastMessage();
    EXPECT_EQ(BASS_ChannelIsActive(window.session().PlayChannel), BASS_ACTIVE_PLAYING);
}

INSTANTIATE_TEST_SUITE_P(Names, NamedOnTheCommandLine,
                         ::testing::Values("song.wav", "Tom & Jerry.wav", "caf\xe9.wav"));

using FirstMinutes = WindowTest;

// No device: the engine's message, then the choice; the program never ends by itself.
TEST_F(FirstMinutes, NoSoundDeviceOffersToGoOnWithoutSoundOrToTryAgain) {
    const std::string song = wav("song.wav", fixtures::sine(440, 2.0));
    load(song);
    engine::setOutputKind(engine::OutputKind::Missing);

    // Cancel: nothing plays, Play is still there.
    desk->answers = {platform::Answer::Ok, platform::Answer::Cancel};
    w->ui().CmdPlay->click();
    ASSERT_EQ(desk->messages.size(), 2u);
    EXPECT_EQ(desk->messages[0].text, "Can't initialize device\n\nError Code : 3");
    EXPECT_EQ(desk->messages[1].buttons, platform::Buttons::NoSoundDevice);
    EXPECT_TRUE(w->ui().CmdPlay->isEnabled());
    EXPECT_FALSE(w->ui().CmdStop->isEnabled());
    EXPECT_FALSE(w->ui().lblNoSound->isVisibleTo(w.get()));

    // Try again (the device is still missing), then go on without sound.
    desk->messages.clear();
    desk->answers = {platform::Answer::Ok, platform::Answer::Retry, platform::Answer::Ok,
                     platform::Answer::Ok};
    w->ui().CmdPlay->click();
    EXPECT_EQ(desk->messages.size(), 4u);
    EXPECT_EQ(BASS_ChannelIsActive(w->session().PlayChannel), BASS_ACTIVE_PLAYING);
    EXPECT_TRUE(w->ui().lblNoSound->isVisibleTo(w.get()));
    EXPECT_TRUE(player::playingWithoutSound());
    EXPECT_FALSE(desk->exitCode.has_value());
    {
        // The CD window says so too.
        cd::frmDemo cdWindow;
        const auto* note = cdWindow.findChild<QLabel*>("lblNoSound");
        ASSERT_NE(note, nullptr);
        EXPECT_TRUE(note->isVisibleTo(&cdWindow));
    }

    // From then on Play asks no more.
    desk->messages.clear();
    w->ui().CmdStop->click();
    loadAndPlay(song);
    EXPECT_TRUE(desk->messages.empty()) << desk->lastMessage();
    EXPECT_EQ(BASS_ChannelIsActive(w->session().PlayChannel), BASS_ACTIVE_PLAYING);
}

// Work files live in the user's cache folder; an earlier run's go at start, this run's at exit.
TEST_F(FirstMinutes, WorkFilesLiveInTheCacheFolderAndGoAtStartAndExit) {
    fixtures::TempDir cache;
    const QByteArray before = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache.path().string()));
    {
        const auto own =
            cache.path() / "quorvin" / std::to_string(QCoreApplication::applicationPid());
        auto desk = std::make_unique<platform::QtPlatform>();
        EXPECT_EQ(desk->programFolder(), own.string());
        EXPECT_TRUE(std::filesystem::is_directory(own));
        desk.reset();
        EXPECT_FALSE(std::filesystem::exists(own));
    }
    qputenv("XDG_CACHE_HOME", before);

    const auto folder = programDir.path();
    for (const char* stale : {"newwave.wav", "TRACK.WAV"})
        fixtures::writeBytes((folder / stale).string(), {1, 2, 3});
    app::frmWriteWave window;
    ASSERT_TRUE(window.Form_Load());
    EXPECT_FALSE(std::filesystem::exists(folder / "newwave.wav"));
    EXPECT_FALSE(std::filesystem::exists(folder / "TRACK.WAV"));

    window.openFile(wav("song.wav", fixtures::sine(440, 1.0)));
    window.ui().CmdPlay->click();
    window.ui().CmdStop->click();
    desk->saveAnswers.push_back(std::nullopt);  // not saved: the work file stays until exit
    window.ui().btnConvert->click();
    EXPECT_TRUE(std::filesystem::exists(folder / "newwave.wav"));
    window.ui().Mnuexit->trigger();
    EXPECT_EQ(desk->exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "newwave.wav"));
}

// Cancel beside the progress bar: no work file, no "Done!", no save, Process available again.
TEST_F(FirstMinutes, CancelledProcessLeavesNothing) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 20.0)));
    w->ui().CmdStop->click();
    EXPECT_FALSE(w->ui().cmdCancelProcess->isVisibleTo(w.get()));
    bool shownWhileRendering = false;
    QTimer::singleShot(0, w.get(), [&] {
        shownWhileRendering = w->ui().cmdCancelProcess->isVisibleTo(w.get());
        w->ui().cmdCancelProcess->click();
    });
    w->ui().btnConvert->click();
    EXPECT_TRUE(shownWhileRendering);
    EXPECT_TRUE(desk->messages.empty()) << desk->lastMessage();
    EXPECT_TRUE(desk->saveDialogs.empty());
    EXPECT_FALSE(std::filesystem::exists(programDir.path() / "newwave.wav"));
    EXPECT_FALSE(w->ui().cmdCancelProcess->isVisibleTo(w.get()));
    EXPECT_TRUE(w->ui().btnConvert->isEnabled());
    EXPECT_TRUE(w->ui().cvmenu->menuAction()->isEnabled());
}

// The last ten files under Tools, newest first, kept between runs, each loading as Load does.
TEST_F(FirstMinutes, RecentFilesKeepTheLastTenAndLoadLikeLoad) {
    std::vector<std::string> files;
    for (int i = 0; i < 12; ++i) {
        files.push_back(wav("f" + std::to_string(i) + ".wav", fixtures::sine(440, 0.2)));
        ASSERT_TRUE(w->openFile(files.back()));
    }
    ASSERT_TRUE(w->openFile(files[5]));  // again: moves to the top, once
    w.reset();
    w = std::make_unique<app::frmWriteWave>();
    ASSERT_TRUE(w->Form_Load());
    const QList<QAction*> items = w->ui().mnuRecent->actions();
    ASSERT_EQ(items.size(), 10);
    EXPECT_EQ(items[0]->text(), "&1  f5.wav");
    EXPECT_EQ(items[1]->text(), "&2  f11.wav");
    EXPECT_EQ(items[9]->text(), "1&0  f2.wav");

    userMove(w->ui().sldTempo[0], 20);
    items[1]->trigger();
    EXPECT_EQ(w->session().CmdFileName, files[11]);
    EXPECT_EQ(w->ui().sldTempo[0]->value(), 0);
    EXPECT_TRUE(desk->openDialogs.empty());
}

// Another running copy of the program that loaded a file meanwhile keeps it in the list.
TEST_F(FirstMinutes, RecentFilesOfAnotherCopyStay) {
    ASSERT_TRUE(w->openFile(wav("mine.wav", fixtures::sine(440, 0.2))));
    QVariantList stored = platform::settings().value("recent/files").toList();
    stored.prepend(QByteArray::fromStdString(sources.file("theirs.wav")));
    platform::settings().setValue("recent/files", stored);  // as the other copy writes it
    ASSERT_TRUE(w->openFile(wav("next.wav", fixtures::sine(440, 0.2))));
    const QList<QAction*> items = w->ui().mnuRecent->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "&1  next.wav");
    EXPECT_EQ(items[1]->text(), "&2  theirs.wav");
    EXPECT_EQ(items[2]->text(), "&3  mine.wav");
}

// A loaded file goes to the desktop's recent list too; everything else in the list stays, and a
// list that is not an XBEL list is left as it is.
struct RecentListCase {
    const char* name;
    std::string before;  // the list's bytes; "-" for no list, nor the folder it goes in
    bool updated;
};

class DesktopRecentList : public FirstMinutes,
                          public ::testing::WithParamInterface<RecentListCase> {
  protected:
    // href -> application name -> count, read back from the list.
    static std::map<QString, std::map<QString, int>> bookmarks(const QByteArray& xbel) {
        std::map<QString, std::map<QString, int>> out;
        QXmlStreamReader r(xbel);
        QString href;
        while (!r.atEnd()) {
            if (r.readNext() != QXmlStreamReader::StartElement) continue;
            if (r.name() == QLatin1String("bookmark")) {
                href = r.attributes().value("href").toString();
                out[href];
            } else if (r.name() == QLatin1String("application")) {
                out[href][r.attributes().value("name").toString()] =
                    r.attributes().value("count").toInt();
            }
        }
        EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
        return out;
    }
};

TEST_P(DesktopRecentList, LoadAddsTheFileAndKeepsTheRest) {
    const RecentListCase c = GetParam();
    const std::string song = wav("song & more.wav", fixtures::sine(440, 0.2));
    const QString uri =
        QUrl::fromLocalFile(QString::fromStdString(song)).toString(QUrl::FullyEncoded);
    std::string before = c.before;
    const std::string list =
        sources.file(before == "-" ? "share/recently-used.xbel" : "recently-used.xbel");
    for (size_t at; (at = before.find("SONG")) != std::string::npos;)
        before.replace(at, 4, uri.toHtmlEscaped().toStdString());
    if (before != "-")
        fixtures::writeBytes(list, std::vector<uint8_t>(before.begin(), before.end()));
    app::RecentFiles::setDesktopList(list);
    ASSERT_TRUE(w->openFile(song));
    app::RecentFiles::setDesktopList({});
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));  // the list is written off

    const auto bytes = fixtures::readBytes(list);
    const QByteArray after(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    if (!c.updated) {
        EXPECT_EQ(after.toStdString(), before);
        return;
    }
    const auto listed = bookmarks(after);
    ASSERT_EQ(listed.count(uri), 1u) << after.toStdString();
    const auto& apps = listed.at(uri);
    const auto before_ =
        before == "-" ? decltype(listed){} : bookmarks(QByteArray::fromStdString(before));
    for (const auto& [href, was] : before_) {
        ASSERT_EQ(listed.count(href), 1u) << href.toStdString();
        for (const auto& [app, count] : was) {
            if (href != uri || app != "Quorvin Audio Tools") {
                EXPECT_EQ(listed.at(href).at(app), count) << app.toStdString();
            }
        }
    }
    const int earlier = before_.count(uri) && before_.at(uri).count("Quorvin Audio Tools")
                            ? before_.at(uri).at("Quorvin Audio Tools")
                            : 0;
    EXPECT_EQ(apps.at("Quorvin Audio Tools"), earlier + 1);
    EXPECT_EQ(listed.size(), before_.size() + (before_.count(uri) ? 0 : 1));
}

const char* const kXbelHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"\n"
    "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
    "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n>\n";
std::string bookmark(const std::string& href, const std::string& apps) {
    return "  <bookmark href=\"" + href +
           "\" added=\"2026-01-01T00:00:00.000000Z\" modified=\"2026-01-01T00:00:00.000000Z\" "
           "visited=\"2026-01-01T00:00:00.000000Z\">\n    <info>\n      <metadata "
           "owner=\"http://freedesktop.org\">\n        <mime:mime-type type=\"audio/x-wav\"/>\n"
           "        <bookmark:applications>\n" +
           apps +
           "        </bookmark:applications>\n      </metadata>\n    </info>\n  </bookmark>\n";
}
std::string application(const std::string& name, int count) {
    return "          <bookmark:application name=\"" + name +
           "\" exec=\"&apos;x %u&apos;\" "
           "modified=\"2026-01-01T00:00:00.000000Z\" count=\"" +
           std::to_string(count) + "\"/>\n";
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DesktopRecentList,
    ::testing::Values(
        RecentListCase{"NoList", "-", true},
        RecentListCase{"OtherFiles",
                       std::string(kXbelHead) + "<!-- kept -->\n" +
                           bookmark("file:///tmp/other%20one.txt", application("gedit", 4)) +
                           "</xbel>\n",
                       true},
        RecentListCase{
            "SameFileAgain",
            std::string(kXbelHead) +
                bookmark("SONG", application("vlc", 2) + application("Quorvin Audio Tools", 2)) +
                bookmark("file:///tmp/b.wav", application("Quorvin Audio Tools", 1)) + "</xbel>\n",
            true},
        RecentListCase{"Unreadable", std::string(kXbelHead) + "  <bookmark href=\"x\">\n", false},
        RecentListCase{"NotXbel", "<html><body/></html>\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

// The keyboard acts on the focused control; the window's keys work whatever the state.
class Keyboard : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    bool playing() { return BASS_ChannelIsActive(w->session().PlayChannel) == BASS_ACTIVE_PLAYING; }
};

TEST_F(Keyboard, SpaceActsOnTheFocusedControlElsePlays) {
    load(wav("song.wav", fixtures::sine(440, 2.0)));
    QCheckBox* box = w->ui().chkBeat;
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_TRUE(box->isChecked());
    EXPECT_FALSE(playing());

    // Enter clicks the focused button.
    w->ui().CEq->setFocus();
    QTest::keyClick(w->ui().CEq, Qt::Key_Return);
    EXPECT_TRUE(w->ui().CEq->isChecked());
    EXPECT_FALSE(playing());

    // Space on the focused tempo figure puts the tempo back to 0 and plays nothing.
    userMove(w->ui().sldTempo[0], 20);
    w->ui().lblTempo->setFocus();
    QTest::keyClick(w->ui().lblTempo, Qt::Key_Space);
    EXPECT_EQ(w->ui().sldTempo[0]->value(), 0);
    EXPECT_FALSE(playing());

    // With no control that takes Space in focus, Space plays.
    w->ui().txtPeriod->clearFocus();
    w->setFocus();
    QTest::keyClick(w.get(), Qt::Key_Space);
    EXPECT_TRUE(playing());
}

// Space on Play, then Space again, stops: the focus left with the disabled button goes to Stop,
// and from Stop to Load, never to Process (a render) or a control that takes a letter.
TEST_F(Keyboard, SpaceOnPlayThenSpaceStopsAndStartsNoRender) {
    load(wav("song.wav", fixtures::sine(440, 3.0)));
    w->ui().CmdPlay->setFocus();
    QTest::keyClick(w->ui().CmdPlay, Qt::Key_Space);
    ASSERT_TRUE(playing());
    EXPECT_EQ(QApplication::focusWidget(), w->ui().CmdStop);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(playing());
    EXPECT_EQ(QApplication::focusWidget(), w->ui().btnLoadFile);
}

TEST_F(Keyboard, CtrlOStillLoadsAfterALoad) {
    const std::string song = wav("piece.wav", fixtures::sine(440, 1.0));
    desk->openAnswers = {std::nullopt, song, song};
    QTest::keyClick(w.get(), Qt::Key_O, Qt::ControlModifier);  // cancelled: no file, no key
    EXPECT_EQ(w->ui().lblKey->text(), "Key:");
    QTest::keyClick(w.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(desk->openDialogs.size(), 2u);
    EXPECT_EQ(w->ui().btnLoadFile->toolTip(), QString::fromStdString(song) + " (Ctrl+O)");
    QTest::keyClick(w.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(desk->openDialogs.size(), 3u);
}

TEST_F(Keyboard, CtrlQQuitsWhilePlayingAndEveryMenuHasAnAccessKey) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 3.0)));
    ASSERT_FALSE(w->ui().cvmenu->menuAction()->isEnabled());
    QTest::keyClick(w.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(desk->exitCode, 0);
    EXPECT_EQ(BASS_ChannelIsActive(w->session().PlayChannel), BASS_ACTIVE_STOPPED);

    // The menus and what is in them (the recent files' list numbers its own).
    for (QAction* menu : w->menuBar()->actions()) {
        EXPECT_TRUE(menu->text().contains(QRegularExpression("&[^&]")))
            << menu->text().toStdString();
        if (menu->menu() && menu->menu() != w->ui().mnuRecent)
            for (QAction* item : menu->menu()->actions())
                EXPECT_TRUE(item->isSeparator() || item->menu() ||
                            item->text().contains(QRegularExpression("&[^&]")))
                    << item->text().toStdString();
    }
}

// Every control of every window has a name of its own for a screen reader.
struct NamedWindow {
    const char* name;
    std::function<std::unique_ptr<QWidget>()> make;
};

void PrintTo(const NamedWindow& w, std::ostream* os) {
    *os << w.name;
}

class AccessibleNames : public WindowTest, public ::testing::WithParamInterface<NamedWindow> {};

TEST_P(AccessibleNames, EveryControlHasItsOwnName) {
    std::unique_ptr<QWidget> window = GetParam().make();
    std::map<QString, QString> seen;  // name -> object name
    for (QWidget* c : window->findChildren<QWidget*>()) {
        const bool control =
            (qobject_cast<QAbstractButton*>(c) || qobject_cast<QAbstractSlider*>(c) ||
             qobject_cast<QComboBox*>(c) || qobject_cast<QLineEdit*>(c) ||
             qobject_cast<QAbstractSpinBox*>(c) || qobject_cast<QAbstractItemView*>(c) ||
             qobject_cast<QProgressBar*>(c) || qobject_cast<QPlainTextEdit*>(c) ||
             qobject_cast<QTextEdit*>(c) || qobject_cast<platform::ClickLabel*>(c)) &&
            !qobject_cast<QScrollBar*>(c) && !qobject_cast<QAbstractSpinBox*>(c->parentWidget()) &&
            !qobject_cast<QComboBox*>(c->parentWidget());
        // Qt's own parts, and the pop-up lists of combo boxes (named by their box).
        if (!control || c->objectName().startsWith("qt_") || c->window() != window.get()) continue;
        const QString id = c->objectName() + " (" + c->metaObject()->className() + ")";
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
        ASSERT_NE(a, nullptr) << id.toStdString();
        const QString name = a->text(QAccessible::Name).trimmed();
        EXPECT_FALSE(name.isEmpty()) << id.toStdString();
        if (name.isEmpty()) continue;
        const auto [at, fresh] = seen.emplace(name, id);
        EXPECT_TRUE(fresh) << name.toStdString() << ": " << id.toStdString() << " and "
                           << at->second.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Windows, AccessibleNames,
    ::testing::Values(
        NamedWindow{"main",
                    [] { return std::unique_ptr<QWidget>(std::make_unique<app::frmWriteWave>()); }},
        NamedWindow{"cd", [] { return std::unique_ptr<QWidget>(std::make_unique<cd::frmDemo>()); }},
        NamedWindow{"wav_to_mp3",
                    [] { return std::unique_ptr<QWidget>(std::make_unique<mp3::Form1>()); }},
        NamedWindow{
            "normaliser",
            [] { return std::unique_ptr<QWidget>(std::make_unique<normaliser::Form11>()); }},
        NamedWindow{"help",
                    [] { return std::unique_ptr<QWidget>(std::make_unique<app::formp3>()); }},
        NamedWindow{"about",
                    [] { return std::unique_ptr<QWidget>(std::make_unique<app::frmAbout>()); }}),
    [](const auto& info) { return std::string(info.param.name); });
