#include <gtest/gtest.h>
#include <QAccessible>

#include <cmath>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "components/normaliser_component.h"
#include "files/fault_injection.h"
#include "normaliser/Form11.h"
#include "platform/scripted_platform.h"
#include "tests/support/audio_fixtures.h"

using platform::ScriptedPlatform;

namespace {

class Form11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        auto p = std::make_unique<ScriptedPlatform>();
        scripted = p.get();
        previous = platform::Platform::install(std::move(p));
        form = new normaliser::Form11;
    }
    void TearDown() override {
        delete form;
        platform::Platform::install(std::move(previous));
    }
    ScriptedPlatform* scripted = nullptr;
    std::unique_ptr<platform::Platform> previous;
    template <typename W>
    W* get(const char* name) {
        W* w = form->findChild<W*>(name);
        EXPECT_TRUE(w) << name;
        return w;
    }
    // Shows the window with its three fields filled, as a user does before Start.
    void fill(const std::string& source, const std::string& destination, const QString& percent) {
        form->show();
        get<QLineEdit>("Text1")->setText(QString::fromStdString(source));
        get<QLineEdit>("Text2")->setText(QString::fromStdString(destination));
        get<QLineEdit>("Text3")->setText(percent);
    }
    normaliser::Form11* form = nullptr;
};

}  // namespace

TEST_F(Form11Test, DesignedControls) {
    EXPECT_EQ(form->windowTitle(), " Normalize Wave File");
    EXPECT_EQ(get<QPushButton>("Command3")->text(), "Start");
    EXPECT_EQ(get<QPushButton>("Command1")->text(), "...");
    EXPECT_EQ(get<QLabel>("Label1")->text(), "% Normalization");
    EXPECT_EQ(get<QLabel>("Label2")->text(), "00 %");
    EXPECT_EQ(get<QProgressBar>("prog")->minimum(), 0);
    EXPECT_EQ(get<QProgressBar>("prog")->maximum(), 100);
    for (const char* name : {"Text1", "Text2", "Text3", "Command1", "Command2", "Command3", "prog",
                             "Label1", "Label2"})
        EXPECT_NE(form->findChild<QWidget*>(name), nullptr) << name;
    // Every control a screen reader or Tab reaches has a name of its own.
    for (QWidget* c : form->findChildren<QWidget*>())
        if (c->focusPolicy() & Qt::TabFocus && !c->objectName().isEmpty() &&
            !c->objectName().startsWith("qt_"))
            EXPECT_FALSE(
                QAccessible::queryAccessibleInterface(c)->text(QAccessible::Name).isEmpty())
                << c->objectName().toStdString();
}

TEST_F(Form11Test, PercentTextRoundsHalfAwayAndPadsToTwoDigits) {
    EXPECT_EQ(normaliser::Form11::percentText(7), "07 %");
    EXPECT_EQ(normaliser::Form11::percentText(45), "45 %");
    EXPECT_EQ(normaliser::Form11::percentText(99.5), "100 %");
    EXPECT_EQ(normaliser::Form11::percentText(100), "100 %");
    EXPECT_EQ(normaliser::Form11::percentText(0.4), "00 %");
}

TEST_F(Form11Test, ProgressBelowHundredDoesNotFinish) {
    form->show();
    scripted->setBusy(true);
    form->ReportNormaliseProgress(99.5);
    EXPECT_EQ(get<QLabel>("Label2")->text(), "100 %");
    EXPECT_TRUE(scripted->messages.empty());
    EXPECT_TRUE(scripted->busy());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Form11Test, DialogsFillTheBoxesAndACancelGivesTheLastChoiceAgain) {
    scripted->openAnswers = {std::string("/music/a.wav"), std::nullopt};
    get<QPushButton>("Command1")->click();
    EXPECT_EQ(get<QLineEdit>("Text1")->text(), "/music/a.wav");
    get<QLineEdit>("Text1")->clear();
    get<QPushButton>("Command1")->click();  // cancelled
    EXPECT_EQ(get<QLineEdit>("Text1")->text(), "/music/a.wav");
    ASSERT_EQ(scripted->openDialogs.size(), 2u);
    EXPECT_EQ(scripted->openDialogs[0].filter, "Wave Audio File|*.wav");
    scripted->saveAnswers = {std::string("/music/b.wav")};
    get<QPushButton>("Command2")->click();
    EXPECT_EQ(get<QLineEdit>("Text2")->text(), "/music/b.wav");
    EXPECT_EQ(scripted->saveDialogs.at(0).filter, "Wave Audio File|*.wav");
}

TEST_F(Form11Test, StartWithAnEmptyFieldDoesNothing) {
    get<QLineEdit>("Text1")->setText("a.wav");
    get<QLineEdit>("Text2")->setText("b.wav");
    get<QPushButton>("Command3")->click();
    EXPECT_FALSE(scripted->busy());
    EXPECT_EQ(scripted->busyCalls, 0);
    EXPECT_TRUE(scripted->messages.empty());
}

TEST_F(Form11Test, AJobRunsToFinishedAndHidesTheWindowKeepingTheFields) {
    fixtures::TempDir dir;
    const std::string src = dir.file("in.wav"), dst = dir.file("out.wav");
    fixtures::writeWav(src, fixtures::sine(440, 3.0, 44100, 2, 0.2));
    fill(src, dst, "90");
    std::vector<QString> labels;
    QObject::connect(&form->normaliserComponent(), &NormaliserComponent::progress,
                     [&](double) { labels.push_back(get<QLabel>("Label2")->text()); });
    // Enter in a field starts the job (Start is the window's default), no file chooser.
    QTest::keyClick(get<QLineEdit>("Text3"), Qt::Key_Return);
    EXPECT_TRUE(scripted->openDialogs.empty());
    ASSERT_EQ(scripted->messages.size(), 1u);
    EXPECT_EQ(scripted->messages[0].text, "Finished Normalizing The Wave Audio File");
    EXPECT_EQ(scripted->messages[0].title, "Finished");
    EXPECT_EQ(scripted->messages[0].icon, platform::Icon::Information);
    EXPECT_FALSE(scripted->busy());
    EXPECT_EQ(get<QProgressBar>("prog")->value(), 0);
    EXPECT_EQ(get<QLabel>("Label2")->text(), "00 %");
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(get<QLineEdit>("Text1")->text().toStdString(), src);
    EXPECT_EQ(get<QLineEdit>("Text3")->text(), "90");
    EXPECT_TRUE(std::filesystem::exists(dst));
    EXPECT_FALSE(labels.empty());
}

// Closing the window during a job, or the program's end asking for it (stopJob), stops it: no
// "Finished" later out of nowhere, nothing written, no temporary left.
TEST_F(Form11Test, ClosingTheWindowOrTheProgramStopsAJobAndLeavesNothing) {
    for (const bool byProgram : {false, true}) {
        fixtures::TempDir dir;
        const std::string src = dir.file("in.wav"), dst = dir.file("out.wav");
        fixtures::writeWav(src, fixtures::sine(440, 30.0, 44100, 2, 0.2));
        fill(src, dst, "90");
        bool ended = false;
        const auto stopping = QObject::connect(
            &form->normaliserComponent(), &NormaliserComponent::progress, [&](double p) {
                if (p < 2 || !form->isVisible()) return;
                if (byProgram) EXPECT_TRUE(normaliser::Form11::stopJob([&] { ended = true; }));
                form->close();
            });
        get<QPushButton>("Command3")->click();
        QObject::disconnect(stopping);
        EXPECT_TRUE(scripted->messages.empty()) << scripted->messages.front().text;
        EXPECT_FALSE(scripted->busy());
        EXPECT_FALSE(std::filesystem::exists(dst));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
        if (byProgram) EXPECT_TRUE(QTest::qWaitFor([&] { return ended; }));
        EXPECT_FALSE(normaliser::Form11::stopJob([] {}));  // none runs now
    }
}

TEST_F(Form11Test, ARefusedJobSaysWhyAndEndsTheBusyPointer) {
    fixtures::TempDir dir;
    const std::string src = dir.file("in.wav");
    fixtures::writeWav(src, fixtures::sine(440, 0.2));
    fill(src, dir.file("out.wav"), "abc");
    get<QPushButton>("Command3")->click();
    ASSERT_EQ(scripted->messages.size(), 1u);
    EXPECT_NE(scripted->messages[0].text.find("percentage"), std::string::npos);
    EXPECT_FALSE(scripted->busy());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav")));

    // A folder that is not there is refused before any work; a disk that fills on the way
    // leaves no progress showing.
    double furthest = 0;
    const auto watching =
        QObject::connect(&form->normaliserComponent(), &NormaliserComponent::progress,
                         [&](double p) { furthest = std::max(furthest, p); });
    fill(src, dir.file("none/out.wav"), "90");
    get<QPushButton>("Command3")->click();
    ASSERT_EQ(scripted->messages.size(), 2u);
    EXPECT_EQ(furthest, 0.0);
    fill(src, dir.file("out.wav"), "90");
    files::armFault(files::Fault::Write, 2, ENOSPC);
    get<QPushButton>("Command3")->click();
    files::disarmFaults();
    QObject::disconnect(watching);
    ASSERT_EQ(scripted->messages.size(), 3u);
    EXPECT_GT(furthest, 0.0);
    EXPECT_EQ(get<QProgressBar>("prog")->value(), 0);
    EXPECT_EQ(get<QLabel>("Label2")->text(), "00 %");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav")));
}

// "24-bit" writes 24 bits per sample to either target; 16 stays the default.
TEST_F(Form11Test, TheBitsChosenAreWrittenForEitherTarget) {
    fixtures::TempDir dir;
    const std::string src = dir.file("in.wav"), dst = dir.file("out.wav");
    fixtures::writeWav(src, fixtures::drumTrack(120, 2.0, 2));
    EXPECT_EQ(get<QComboBox>("cboBits")->currentIndex(), 0);
    for (const int target : {0, 1}) {
        fill(src, dst, "90");
        get<QComboBox>("cboTarget")->setCurrentIndex(target);
        for (const int bits : {16, 24}) {
            get<QComboBox>("cboBits")->setCurrentIndex(bits == 24 ? 1 : 0);
            get<QPushButton>("Command3")->click();
            ASSERT_TRUE(std::filesystem::exists(dst)) << target << " " << bits;
            EXPECT_EQ(fixtures::readBytes(dst)[34], bits) << target;  // the format's bits
            std::filesystem::remove(dst);
        }
    }
}

TEST_F(Form11Test, ALoudnessJobUsesTheSpinBoxAndShowsTheTruePeakNote) {
    fixtures::TempDir dir;
    const std::string src = dir.file("in.wav"), dst = dir.file("out.wav");
    fixtures::writeWav(src, fixtures::drumTrack(120, 3.0, 2));
    fill(src, dst, "");  // not needed for a loudness target
    get<QComboBox>("cboTarget")->setCurrentIndex(1);
    EXPECT_FALSE(get<QLineEdit>("Text3")->isEnabled());
    struct Case {
        double lufs;
        bool ceilingNote;
    };
    for (const Case c : {Case{-30.0, false}, Case{-2.0, true}}) {
        scripted->messages.clear();
        get<QDoubleSpinBox>("spnLufs")->setValue(c.lufs);
        get<QPushButton>("Command3")->click();
        ASSERT_EQ(scripted->messages.size(), 1u) << c.lufs;
        const std::string& text = scripted->messages[0].text;
        EXPECT_EQ(text.rfind("Finished Normalizing The Wave Audio File", 0), 0u) << text;
        EXPECT_EQ(text.find("dBTP") != std::string::npos, c.ceilingNote) << text;
        EXPECT_TRUE(std::filesystem::exists(dst));
    }
}

TEST_F(Form11Test, TheFinishedMessageCountsSamplesThatAreNotNumbers) {
    fixtures::TempDir dir;
    const std::string src = dir.file("in.wav"), dst = dir.file("out.wav");
    std::vector<float> samples(44100, 0.25f);
    samples[100] = NAN;
    samples[200] = INFINITY;
    fixtures::writeBytes(src, fixtures::floatWavBytes(samples, 1, 44100));
    fill(src, dst, "90");
    get<QPushButton>("Command3")->click();
    ASSERT_EQ(scripted->messages.size(), 1u);
    const std::string& text = scripted->messages[0].text;
    EXPECT_EQ(text.rfind("Finished Normalizing The Wave Audio File", 0), 0u) << text;
    EXPECT_NE(text.find("2 samples are not a number"), std::string::npos) << text;
}
