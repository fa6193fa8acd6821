// The main window on the desktop: a file named on the command line or dropped on the window,
// what the program remembers between runs, a long file name, and the keys the man page lists.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/command_line.h"
#include "app/window_memory.h"
#include "tests/app/window_fixture.h"

namespace {

enum class Way { CommandLine, Drop };

// Sends a drag of `urls` over the window and drops it; whether the window accepted the drag.
bool dragAndDrop(QWidget* window, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = window->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
    return drop.isAccepted();
}

}  // namespace

class FileFromOutside : public WindowTest, public ::testing::WithParamInterface<Way> {};

TEST_P(FileFromOutside, TakesTheLoadPath) {
    const std::string song = wav("song.wav", fixtures::sine(440, 2.0));
    const auto work = programDir.path() / "newwave.wav";
    fixtures::writeBytes(work.string(), {1, 2, 3});
    userMove(w->ui().sldTempo[0], 20);

    if (GetParam() == Way::CommandLine) {
        const app::CommandLine command = app::parseCommandLine(
            {"quorvin-audio-tools", "--null-output", QString::fromStdString(song)});
        ASSERT_TRUE(command.error.empty()) << command.error;
        EXPECT_TRUE(command.nullOutput);
        EXPECT_TRUE(w->openFile(command.file));
    } else {
        w->show();
        EXPECT_FALSE(dragAndDrop(
            w.get(), {QUrl::fromLocalFile(QString::fromStdString(sources.file("notes.txt")))}));
        EXPECT_FALSE(dragAndDrop(w.get(), {QUrl("https://example.org/song.wav")}));
        EXPECT_TRUE(dragAndDrop(w.get(), {QUrl::fromLocalFile(QString::fromStdString(song))}));
    }
    // The same steps as a choice in Load's dialog, without the dialog.
    EXPECT_TRUE(desk->openDialogs.empty());
    EXPECT_EQ(w->ui().btnLoadFile->text(), "song.wav");
    EXPECT_EQ(w->session().CmdFileName, song);
    EXPECT_EQ(w->ui().sldTempo[0]->value(), 0);
    EXPECT_FALSE(std::filesystem::exists(work));
    EXPECT_TRUE(w->ui().CmdPlay->isEnabled());
    w->ui().CmdPlay->click();
    EXPECT_EQ(BASS_ChannelIsActive(w->session().PlayChannel), BASS_ACTIVE_PLAYING);

    // While a file plays Load is not available, and neither is this way in.
    const std::string other = wav("other.wav", fixtures::sine(220, 1.0));
    if (GetParam() == Way::CommandLine)
        EXPECT_FALSE(w->openFile(other));
    else
        EXPECT_FALSE(dragAndDrop(w.get(), {QUrl::fromLocalFile(QString::fromStdString(other))}));
    EXPECT_EQ(w->session().CmdFileName, song);
}

INSTANTIATE_TEST_SUITE_P(Ways, FileFromOutside, ::testing::Values(Way::CommandLine, Way::Drop));

using Desktop = WindowTest;

// What the program remembers is written by "Save Configuration" and by Exit.
class RememberedSettings : public WindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RememberedSettings, ComeBackInTheNextRun) {
    // The sound options start off.
    EXPECT_FALSE(w->ui().mnuHighQuality->isChecked());
    EXPECT_FALSE(w->ui().mnuHighQualityPlayback->isChecked());
    EXPECT_FALSE(w->ui().chkKeepBass->isChecked());
    w->show();
    w->move(40, 30);
    w->resize(760, 640);  // within the offscreen screen, which a window never outgrows
    w->ui().Mmp3->trigger();
    emit w->ui().Combo2->activated(w->ui().Combo2->findText("256"));
    w->ui().mnuHighQuality->trigger();
    w->ui().mnuHighQualityPlayback->trigger();
    w->ui().chkKeepBass->setChecked(true);
    w->session().Mp3BitRate = 128000;  // as a save from a 128 kbit/s MP3 leaves it: not a choice
    w->findChild<QAction*>(GetParam())->trigger();
    const QRect placed = w->geometry();
    w.reset();

    w = std::make_unique<app::frmWriteWave>();
    ASSERT_TRUE(w->Form_Load());
    EXPECT_EQ(w->session().Mp3BitRate, 256000);
    EXPECT_TRUE(w->ui().mnuHighQuality->isChecked());
    EXPECT_TRUE(w->ui().mnuHighQualityPlayback->isChecked());
    EXPECT_TRUE(w->ui().chkKeepBass->isChecked());
    app::WindowMemory memory;
    qApp->installEventFilter(&memory);
    w->show();
    qApp->removeEventFilter(&memory);
    EXPECT_EQ(w->geometry().size(), placed.size());
}

INSTANTIATE_TEST_SUITE_P(Ways, RememberedSettings, ::testing::Values("Savec", "Mnuexit"));

TEST_F(Desktop, LongFileNameLeavesTheWindowsWidthAlone) {
    w->show();
    QApplication::processEvents();
    const int before = w->minimumSizeHint().width();
    const std::string name = std::string(246, 'x') + ".wav";
    load(wav(name, fixtures::sine(440, 0.5)));
    QApplication::processEvents();
    EXPECT_EQ(w->minimumSizeHint().width(), before);
    EXPECT_LT(w->ui().btnLoadFile->text().size(), 60);
    EXPECT_TRUE(w->ui().btnLoadFile->toolTip().contains(QString::fromStdString(name)));
}

namespace {

// The bold words of the man page's KEYS section: the keys it lists.
std::set<QString> keysOfTheManPage() {
    std::ifstream page(QUORVIN_SOURCE_DIR "/docs/man/quorvin-audio-tools.1");
    std::set<QString> keys;
    bool inKeys = false;
    const QRegularExpression inlineBold(R"(\\fB(.+?)\\f[RP])");
    for (std::string raw; std::getline(page, raw);) {
        QString line = QString::fromStdString(raw).replace(R"(\e)", "\\");
        if (line.startsWith(".SH")) inKeys = line == ".SH KEYS";
        if (!inKeys) continue;
        if (line.startsWith(".B ")) keys.insert(line.mid(3));
        if (line.startsWith(".BR ")) {
            const QStringList parts = line.mid(4).split('"');
            for (const QString& p : parts)
                if (!p.trimmed().isEmpty() && p.trimmed() != ",") keys.insert(p.trimmed());
        }
        for (auto m = inlineBold.globalMatch(line); m.hasNext();) keys.insert(m.next().captured(1));
    }
    return keys;
}

// Every key a window answers to: shortcuts of buttons, actions and the window's own, and the
// access keys of its buttons (Alt+letter) and of its menus' items (the letter).
std::set<QString> keysOf(QWidget* window) {
    std::set<QString> keys;
    const auto accessKey = [](const QString& text) {
        const qsizetype at = QString(text).replace("&&", "").indexOf('&');
        return at >= 0 && at + 1 < text.size() ? QString(text.at(at + 1).toUpper()) : QString();
    };
    for (auto* b : window->findChildren<QAbstractButton*>()) {
        if (!b->shortcut().isEmpty()) keys.insert(b->shortcut().toString());
        if (const QString k = accessKey(b->text()); !k.isEmpty()) keys.insert("Alt+" + k);
    }
    for (auto* s : window->findChildren<QShortcut*>()) keys.insert(s->key().toString());
    for (auto* a : window->findChildren<QAction*>()) {
        if (!a->shortcut().isEmpty()) keys.insert(a->shortcut().toString());
        const QString k = accessKey(a->text());
        if (k.isEmpty()) continue;
        bool onTheBar = a->menu() != nullptr;
        for (QObject* o : a->associatedObjects()) onTheBar = onTheBar || qobject_cast<QMenuBar*>(o);
        keys.insert(onTheBar ? "Alt+" + k : k);  // a menu or item of the bar, or an item in a menu
    }
    return keys;
}

}  // namespace

TEST_F(Desktop, TheManPageListsEveryKeyOfEveryWindow) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 0.5)));
    w->ui().CmdStop->click();
    std::set<QString> keys = keysOf(w.get());
    for (QAction* tool : {w->ui().Snorma, w->ui().wavp3, w->ui().cdripper}) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, &keys] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return;
            keys.merge(keysOf(modal));
            modal->close();
            poll->deleteLater();
        });
        poll->start(10);
        tool->trigger();
    }
    ASSERT_TRUE(keys.count("Space") && keys.count("Alt+E"));  // the main and the CD window's
    const std::set<QString> listed = keysOfTheManPage();
    for (const QString& key : keys)
        EXPECT_TRUE(listed.count(key)) << key.toStdString() << " is not in the man page's KEYS";
}
