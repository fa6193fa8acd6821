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
        delete formp3::current();
        delete frmAbout::current();
        WindowTest::TearDown();
    }
};

TEST_F(HelpAbout, EachOpensOnceModelessAndComesBackFreshAfterClosing) {
    w->Shelp->trigger();
    formp3* help = formp3::current();
    ASSERT_NE(help, nullptr);
    w->Shelp->trigger();
    EXPECT_EQ(formp3::current(), help);
    EXPECT_EQ(visibleTopLevels("formp3"), 1);
    EXPECT_FALSE(help->isModal());
    EXPECT_EQ(help->parentWidget(), w.get()) << "help stays in front of the main window";
    EXPECT_EQ(help->windowTitle(), "Help");
    EXPECT_TRUE(help->Text2->isVisible());
    const QString text = help->Text2->toPlainText();
    for (const char* line :
         {"Quorvin Audio Tools 1.0 Vocal Remover, Pitch & Tempo Changer",
          "Win 98/ME/2000/XP  DIRECTX8 or higher.", "- RIPPING:", "-PITCH-", "-TEMPO-",
          "-Voice Canceller-", "Procedure:", "-AUDIO PANEL-", "INSTRUCTIONS", "WARNING", "STEREO",
          "from -8 to +8 semitones without altering", "without altering the song's structure"})
        EXPECT_TRUE(text.contains(line)) << line;

    w->Sabout->trigger();
    frmAbout* about = frmAbout::current();
    ASSERT_NE(about, nullptr);
    w->Sabout->trigger();
    EXPECT_EQ(frmAbout::current(), about);
    EXPECT_EQ(visibleTopLevels("frmAbout"), 1);
    EXPECT_EQ(about->parentWidget(), nullptr);
    EXPECT_EQ(about->lblVersion->text(), "      Quorvin Audio Tools 1.0");
    EXPECT_EQ(about->lblDescription->text(), " Audio Tools Vocal Remove      Pitch Key Changer");

    // The main window stays usable meanwhile, and both close like their buttons.
    EXPECT_TRUE(w->btnLoadFile->isEnabled());
    help->Command1->click();
    about->close();  // the title-bar button
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(formp3::current(), nullptr);
    EXPECT_EQ(frmAbout::current(), nullptr);
    w->Sabout->trigger();
    ASSERT_NE(frmAbout::current(), nullptr);
    EXPECT_TRUE(frmAbout::current()->isVisible());
}

TEST_F(HelpAbout, ContactLinkOpensAMailMessage) {
    emit w->Label6->clicked();
    ASSERT_EQ(desk->openedUrls.size(), 1u);
    EXPECT_EQ(desk->openedUrls[0], "mailto:" + w->Label6->text().toStdString() +
                                       "?subject=(Informazioni Quorvin Audio Tools 1.0 )");
}

TEST_F(HelpAbout, ProcessStaysOffAfterTheNormaliserUntilThePlayAndStopThatFollow) {
    const std::string song = wav("song.wav", fixtures::sine(440, 1.0));
    loadAndPlay(song);
    w->CmdStop->click();
    ASSERT_TRUE(w->btnConvert->isEnabled());
    closeNextModal();
    w->Snorma->trigger();
    EXPECT_FALSE(w->btnConvert->isEnabled());
    load(song);
    EXPECT_FALSE(w->btnConvert->isEnabled());
    w->CmdPlay->click();
    EXPECT_FALSE(w->btnConvert->isEnabled());
    w->CmdStop->click();
    EXPECT_TRUE(w->btnConvert->isEnabled());
}
