// The main window on the null output with a scripted desktop, for the window tests.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThreadPool>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/frmWriteWave.h"
#include "dsp/equalizer_panel.h"
#include "dsp/vocal_remover_panel.h"
#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "platform/scripted_platform.h"
#include "platform/settings.h"
#include "platform/widgets.h"
#include "player/bpm_panel.h"
#include "player/tempo_pitch_panel.h"
#include "player/transport_panel.h"
#include "render/process_panel.h"
#include "tests/support/audio_fixtures.h"

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        engine::setOutputKind(engine::OutputKind::NullManual);
        auto scripted = std::make_unique<platform::ScriptedPlatform>();
        scripted->folder = programDir.path().string();
        desk = scripted.get();
        previous = platform::Platform::install(std::move(scripted));
        platform::useSettingsFile((programDir.path() / "settings.ini").string());
        // What the program keeps per song goes to the test's folder, not the user's.
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((programDir.path() / "data").string()));
        w = std::make_unique<app::frmWriteWave>();
        ASSERT_TRUE(w->Form_Load());
    }
    void TearDown() override {
        w.reset();
        // The song store's writes, which the program's end waits for, land before its folder goes.
        QThreadPool::globalInstance()->waitForDone(20000);
        BASS_Free();
        platform::Platform::install(std::move(previous));
        platform::useSettingsFile("");
        app::frmWriteWave::engineVersionSource() = [] { return BASS_GetVersion(); };
    }

    // Where the song store keeps this test's songs.
    std::filesystem::path songsFolder() const {
        return programDir.path() / "data" / "quorvin" / "songs";
    }
    // A WAV file of `pcm` among the sources; its path.
    std::string wav(const std::string& name, const fixtures::Pcm& pcm) {
        const std::string path = sources.file(name);
        fixtures::writeWav(path, pcm);
        return path;
    }
    // "Load Audio File", answering the dialog with `path` (nothing = cancel).
    void load(std::optional<std::string> path) {
        desk->openAnswers.push_back(std::move(path));
        w->ui().btnLoadFile->click();
    }
    // Loads and plays `path`, and waits for the BPM detected at Play.
    void loadAndPlay(const std::string& path) {
        load(path);
        w->ui().CmdPlay->click();
        EXPECT_TRUE(processUntil([&] { return !w->bpm().detecting(); }, 10000));
    }
    // What a user's move of a slider does: the thumb goes to `value` and the slider reports it.
    static void userMove(platform::Slider* s, int value) { s->setSliderPosition(value); }
    // Runs the window's pending events until `done` holds or `ms` milliseconds pass.
    template <typename Pred>
    static bool processUntil(Pred done, int ms = 2000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    // Closes the next modal window as soon as it is shown (a tool window opened by a menu).
    static void closeNextModal(QString* title = nullptr) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, title] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return;
            if (title) *title = modal->objectName();
            modal->close();
            poll->deleteLater();
        });
        poll->start(10);
    }
    // Plays `seconds` of output on the manual null output.
    static void playFor(double seconds) { engine::nullOutputStep(int64_t(seconds * 44100)); }

    fixtures::TempDir programDir;
    fixtures::TempDir sources;
    platform::ScriptedPlatform* desk = nullptr;
    std::unique_ptr<platform::Platform> previous;
    std::unique_ptr<app::frmWriteWave> w;
};
