// The CD window on disc images, with the scripted platform and the engine's manual null output.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "cd/frmDemo.h"
#include "disc/basscd.h"
#include "engine/engine_ext.h"
#include "platform/scripted_platform.h"
#include "tests/cd/cd_image.h"
#include "tests/support/audio_fixtures.h"

// A CD-Text block: the strings, each ended by NUL, then the empty string.
inline std::string cdTextBlock(std::initializer_list<std::string> entries) {
    std::string b;
    for (const auto& e : entries) b += e + '\0';
    return b + '\0';
}

class CdWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        engine::cdUseDeviceDrives(false);
        engine::cdRemoveImages();
        engine::setOutputKind(engine::OutputKind::NullManual);
        auto p = std::make_unique<platform::ScriptedPlatform>();
        p->folder = programDir.path().string();
        scripted = p.get();
        previous = platform::Platform::install(std::move(p));
    }
    void TearDown() override {
        // A track still being opened off the window thread ends before the disc goes.
        if (window) processUntil([&] { return window->playsPending() == 0; });
        window.reset();
        platform::Platform::install(std::move(previous));
    }

    // A disc of `tracks` audio tracks of `sectors` sectors, CD-Text on the disc and track 1.
    int addDisc(int tracks = 3, int sectors = 75, bool withData = false, bool cdText = true) {
        disc = cdimage::Disc{};
        disc.tracks = cdimage::audioTracks(tracks, sectors);
        if (cdText) {
            disc.title = "Album";
            disc.performer = "Artist";
            disc.tracks[0].title = "Song";
            disc.tracks[0].performer = "Singer";
        }
        if (withData) {
            cdimage::Track data;
            data.data = true;
            disc.tracks.push_back(data);
        }
        return engine::cdAddImage(cdimage::write(discDir.file("disc"), disc));
    }

    cd::frmDemo& open() {
        window = std::make_unique<cd::frmDemo>();
        return *window;
    }

    template <class T>
    T* child(const QString& name) {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QListWidget* list() { return child<QListWidget>("lstTracks"); }
    QPushButton* button(int i) { return child<QPushButton>(QString("cmdButton_%1").arg(i)); }
    QCheckBox* flag(int i) { return child<QCheckBox>(QString("chkRWFlags_%1").arg(i)); }
    QString text(const QString& name) {
        if (auto* l = window->findChild<QLabel*>(name)) return l->text();
        if (auto* e = window->findChild<QLineEdit*>(name)) return e->text();
        ADD_FAILURE() << "no text control " << name.toStdString();
        return {};
    }
    std::vector<std::string> rows() {
        std::vector<std::string> out;
        for (int i = 0; i < list()->count(); ++i)
            out.push_back(list()->item(i)->text().toStdString());
        return out;
    }
    // Selects a row as a click does (this starts the track, once it has been opened).
    void selectRow(int row) {
        list()->setCurrentRow(row);
        settle();
    }
    // Runs the window thread's queue until the tracks asked to play have been opened.
    void settle() {
        EXPECT_TRUE(processUntil([&] { return window->playsPending() == 0; }));
    }
    // The window's 50 ms timer stops; the test runs its ticks itself.
    void stopTimer() {
        for (QTimer* t : window->findChildren<QTimer*>()) t->stop();
    }

    // Runs the window thread's queue until `done` or the deadline.
    bool processUntil(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    // Plays the null output on in steps of 0.1 s, letting the window handle what the engine's
    // syncs posted, until `done` or `steps` steps.
    bool processUntilSteps(const std::function<bool()>& done, int steps) {
        for (int i = 0; i < steps; ++i) {
            QCoreApplication::processEvents();
            if (done()) {
                settle();
                return true;
            }
            engine::nullOutputStep(4410);
        }
        QCoreApplication::processEvents();
        settle();
        return done();
    }

    fixtures::TempDir programDir, discDir, outDir;
    cdimage::Disc disc;
    platform::ScriptedPlatform* scripted = nullptr;
    std::unique_ptr<platform::Platform> previous;
    std::unique_ptr<cd::frmDemo> window;
};
