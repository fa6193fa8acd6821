// Main-window timings: start-up to a shown window (against a Qt main window holding as many plain
// widgets),
// and Play to the first samples at the null output (against the plain engine calls that start a
// file playing, without the window). Medians of several runs.
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "app/frmWriteWave.h"
#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "platform/scripted_platform.h"
#include "tests/support/audio_fixtures.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Milliseconds from `start()` until the null output has consumed its first frames.
template <typename Start>
double timeToFirstSamples(Start start) {
    std::atomic<bool> begun{false};
    std::atomic<int64_t> firstNs{-1};
    Clock::time_point t0;
    std::thread watch([&] {
        while (!begun.load()) std::this_thread::yield();
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (engine::outputFramesPlayed() == 0 && Clock::now() < deadline)
            std::this_thread::yield();
        firstNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count();
    });
    t0 = Clock::now();
    begun = true;
    start();
    watch.join();
    return double(firstNs.load()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The offscreen platform's notes about window hints are noise here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtWarningMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);
    fixtures::TempDir dir;
    // What the program keeps per song goes to the bench's folder, not the user's.
    setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    auto scripted = std::make_unique<platform::ScriptedPlatform>();
    scripted->folder = dir.path().string();
    platform::ScriptedPlatform* desk = scripted.get();
    platform::Platform::install(std::move(scripted));
    engine::setOutputKind(engine::OutputKind::NullClock);
    constexpr int kRuns = 9;

    // Start-up to a shown window.
    std::vector<double> bare, ours;
    for (int i = 0; i < kRuns; ++i) {
        auto t0 = Clock::now();
        {
            // The same kinds and number of widgets in one grid, without the program's work.
            QMainWindow w;
            auto* central = new QWidget;
            auto* grid = new QGridLayout(central);
            for (int k = 0; k < 13; ++k) grid->addWidget(new QSlider(Qt::Vertical), 0, k);
            for (int k = 0; k < 24; ++k) grid->addWidget(new QLabel("label"), 1 + k / 12, k % 12);
            for (int k = 0; k < 8; ++k) grid->addWidget(new QPushButton("button"), 3, k);
            for (int k = 0; k < 3; ++k) grid->addWidget(new QCheckBox("check"), 4, k);
            for (int k = 0; k < 3; ++k) grid->addWidget(new QProgressBar, 5, k);
            for (int k = 0; k < 5; ++k) grid->addWidget(new QGroupBox("frame"), 6, k);
            w.setCentralWidget(central);
            w.show();
            if (!QTest::qWaitForWindowExposed(&w)) return 1;
            bare.push_back(ms(Clock::now() - t0));
        }
        t0 = Clock::now();
        {
            app::frmWriteWave w;
            if (!w.Form_Load()) return 1;
            w.show();
            if (!QTest::qWaitForWindowExposed(&w)) return 1;
            ours.push_back(ms(Clock::now() - t0));
        }
    }
    std::printf(
        "bench_app: start-up to shown main window %.1f ms; a Qt window with as many plain widgets "
        "%.1f ms; "
        "ratio %.2f\n",
        median(ours), median(bare), median(ours) / median(bare));

    // Play to the first samples at the output.
    const std::string song = dir.file("song.wav");
    fixtures::writeWav(song, fixtures::drumTrack(120, 60));
    std::vector<double> plain, window;
    for (int i = 0; i < kRuns; ++i) {
        plain.push_back(timeToFirstSamples([&] {
            BASS_Free();
            BASS_Init(-1, 44100, 0, nullptr, nullptr);
            const HSTREAM s = BASS_StreamCreateFile(0, song.c_str(), 0, 0, BASS_STREAM_DECODE);
            const HSTREAM t = BASS_FX_TempoCreate(s, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
            BASS_ChannelPlay(t, 0);
        }));
        BASS_Free();

        app::frmWriteWave w;
        if (!w.Form_Load()) return 1;
        desk->openAnswers.push_back(song);
        w.ui().btnLoadFile->click();
        window.push_back(timeToFirstSamples([&] { w.ui().CmdPlay->click(); }));
        BASS_Free();
    }
    const double play = median(window);
    std::printf(
        "bench_app: Play to first output samples %.1f ms (goal < 50 ms: %s); plain engine "
        "calls %.1f ms; ratio %.2f\n",
        play, play < 50 ? "met" : "NOT met", median(plain), play / median(plain));
    return 0;
}
