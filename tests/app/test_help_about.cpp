// The help and about windows opened from the menus, the contact link, and "Process" after a tool
// window.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/formp3.h"
#include "app/frmAbout.h"
#include "tests/app/window_fixture.h"

namespace {

int visibleTopLevels(const char* objectName) {
    int n = 0;
    for (QWidget* t : QApplication::topLevelWidgets())
        if (t->objectName() == objectName && t->isVisible()) ++n;
    return n;
}

}  // namespace

class HelpAbout : public WindowTest {
  protected:
    void TearDown() override {
        delete app::formp3::current();
        delete app::frmAbout::current();
        WindowTest::TearDown();
    }
};

TEST_F(HelpAbout, EachOpensOnceModelessAndComesBackFreshAfterClosing) {
    w->ui().Shelp->trigger();
    app::formp3* help = app::formp3::current();
    ASSERT_NE(help, nullptr);
    w->ui().Shelp->trigger();
    EXPECT_EQ(app::formp3::current(), help);
    EXPECT_EQ(visibleTopLevels("formp3"), 1);
    EXPECT_FALSE(help->isModal());
    EXPECT_EQ(help->parentWidget(), w.get()) << "help stays in front of the main window";
    EXPECT_EQ(help->windowTitle(), "Help");
    EXPECT_TRUE(help->findChild<QPlainTextEdit*>("Text2")->isVisible());
    const QString text = help->findChild<QPlainTextEdit*>("Text2")->toPlainText();
    for (const char* line :
         {"Quorvin Audio Tools 1.0 Vocal Remover, Pitch & Tempo Changer",
          "Win 98/ME/2000/XP  DIRECTX8 or higher.", "- RIPPING:", "-PITCH-", "-TEMPO-",
          "-Voice Canceller-", "Procedure:", "-AUDIO PANEL-", "INSTRUCTIONS", "WARNING", "STEREO",
          "from -8 to +8 semitones without altering", "without altering the song's structure"})
        EXPECT_TRUE(text.contains(line)) << line;

    w->ui().Sabout->trigger();
    app::frmAbout* about = app::frmAbout::current();
    ASSERT_NE(about, nullptr);
    w->ui().Sabout->trigger();
    EXPECT_EQ(app::frmAbout::current(), about);
    EXPECT_EQ(visibleTopLevels("frmAbout"), 1);
    EXPECT_EQ(about->parentWidget(), nullptr);
    EXPECT_EQ(about->findChild<QLabel*>("lblVersion")->text(), "      Quorvin Audio Tools 1.0");
    EXPECT_EQ(about->findChild<QLabel*>("lblDescription")->text(),
              " Audio Tools Vocal Remove      Pitch Key Changer");

    // The main window stays usable meanwhile, and both close like their buttons.
    EXPECT_TRUE(w->ui().btnLoadFile->isEnabled());
    help->findChild<QPushButton*>("Command1")->click();
    about->close();  // the title-bar button
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app::formp3::current(), nullptr);
    EXPECT_EQ(app::frmAbout::current(), nullptr);
    w->ui().Sabout->trigger();
    ASSERT_NE(app::frmAbout::current(), nullptr);
    EXPECT_TRUE(app::frmAbout::current()->isVisible());
}

TEST_F(HelpAbout, ContactLinkOpensAMailMessage) {
    emit w->ui().Label6->clicked();
    ASSERT_EQ(desk->openedUrls.size(), 1u);
    EXPECT_EQ(desk->openedUrls[0], "mailto:" + w->ui().Label6->text().toStdString() +
                                       "?subject=(Informazioni Quorvin Audio Tools 1.0 )");
}

TEST_F(HelpAbout, ProcessStaysOffAfterTheNormaliserUntilThePlayAndStopThatFollow) {
    const std::string song = wav("song.wav", fixtures::sine(440, 1.0));
    loadAndPlay(song);
    w->ui().CmdStop->click();
    ASSERT_TRUE(w->ui().btnConvert->isEnabled());
    closeNextModal();
    w->ui().Snorma->trigger();
    EXPECT_FALSE(w->ui().btnConvert->isEnabled());
    load(song);
    EXPECT_FALSE(w->ui().btnConvert->isEnabled());
    w->ui().CmdPlay->click();
    EXPECT_FALSE(w->ui().btnConvert->isEnabled());
    w->ui().CmdStop->click();
    EXPECT_TRUE(w->ui().btnConvert->isEnabled());
}
