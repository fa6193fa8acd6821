// CD benchmarks, on disc images made here.
//   Window: opening the CD window with an image drive and filling a 20-track list (goal: under
//   100 ms), against libcdio opening the image and reading its table and CD-Text.
//   Timer: one tick of the window's timer while a track plays (goal: under 1 ms), against one
//   label update.
//   Extraction: a 5-minute track to WAV (goal: at least 100x realtime) and to WMA at 128 kbit/s
//   (x realtime reported), against libcdio reading the same sectors raw.
#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "bench/bench_timing.h"
#include "cd/frmDemo.h"
#include "disc/basscd.h"
#include "engine/engine_ext.h"
#include "platform/scripted_platform.h"
#include "rip/extract.h"
#include "tests/cd/cd_image.h"
#include "tests/support/audio_fixtures.h"

namespace {

using bench::Clock;
using bench::medianMs;

// libcdio alone: open the image, read the table of contents and the CD-Text.
void libcdioListing(const std::string& cue) {
    CdIo_t* io = cdio_open(cue.c_str(), DRIVER_BINCUE);
    if (!io) return;
    track_t n = cdio_get_num_tracks(io);
    for (track_t t = 1; t <= n; ++t) (void)cdio_get_track_sec_count(io, t);
    if (cdtext_t* ct = cdio_get_cdtext(io))
        for (track_t t = 0; t <= n; ++t) (void)cdtext_get_const(ct, CDTEXT_FIELD_TITLE, t);
    cdio_destroy(io);
}

// libcdio alone: every sector of a track read raw.
void libcdioRead(const std::string& cue, int sectors) {
    CdIo_t* io = cdio_open(cue.c_str(), DRIVER_BINCUE);
    std::vector<uint8_t> buf(2352 * 26);
    for (int s = 0; s < sectors; s += 26)
        cdio_read_audio_sectors(io, buf.data(), s, std::min(26, sectors - s));
    cdio_destroy(io);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    cdio_loglevel_default = CDIO_LOG_ERROR;
    fixtures::TempDir dir;
    auto scripted = std::make_unique<platform::ScriptedPlatform>();
    scripted->folder = dir.path().string();
    platform::Platform::install(std::move(scripted));
    engine::cdUseDeviceDrives(false);
    engine::setOutputKind(engine::OutputKind::NullManual);

    // --- the window with a 20-track disc ---
    cdimage::Disc disc;
    disc.title = "Bench Album";
    disc.performer = "Bench Band";
    disc.tracks = cdimage::audioTracks(20, 75 * 4);
    for (size_t i = 0; i < disc.tracks.size(); i += 2) {
        disc.tracks[i].title = "Song " + std::to_string(i + 1);
        disc.tracks[i].performer = "Singer";
    }
    const std::string cue20 = cdimage::write(dir.file("twenty"), disc);
    const double baseList = medianMs(20, [&] { libcdioListing(cue20); });
    int rowsSeen = 0;
    const double openMs = medianMs(20, [&] {
        engine::cdRemoveImages();
        engine::cdAddImage(cue20);
        cd::frmDemo w;
        w.show();
        QApplication::processEvents();  // the first paint
        rowsSeen = w.findChild<QListWidget*>("lstTracks")->count();
        w.close();
    });
    std::printf(
        "cd window: open with an image drive and fill a %d-track list: %.2f ms "
        "(goal < 100 ms); libcdio open+table+CD-Text alone: %.2f ms; ratio %.1f\n",
        rowsSeen, openMs, baseList, openMs / std::max(baseList, 1e-6));

    // --- one timer tick while a track plays ---
    {
        engine::cdRemoveImages();
        engine::cdAddImage(cue20);
        cd::frmDemo w;
        w.PlayTrack(0);
        QLabel label;
        int n = 0;
        const double baseTick = medianMs(2001, [&] { label.setText(QString::number(++n)); });
        const double tickMs = medianMs(2001, [&] {
            engine::nullOutputStep(441);
            w.tick();
        });
        std::printf(
            "cd window: one timer tick while playing: %.4f ms (goal < 1 ms); one label "
            "update: %.4f ms; ratio %.1f\n",
            tickMs, baseTick, tickMs / std::max(baseTick, 1e-6));
        w.close();
    }

    // --- extraction of a 5-minute track ---
    cdimage::Disc five;
    five.tracks = cdimage::audioTracks(1, 75 * 300);
    const std::string cue5 = cdimage::write(dir.file("five"), five);
    engine::cdRemoveImages();
    const int drive = engine::cdAddImage(cue5);
    const double audioSec = 300.0;
    const double rawMs = medianMs(3, [&] { libcdioRead(cue5, 75 * 300); });
    cd::ExtractResult wav;
    const double wavMs =
        medianMs(3, [&] { wav = cd::extractTrackToWav(drive, 0, dir.file("t.wav")); });
    std::printf(
        "cd extraction: 5-minute track to WAV: %.0f ms, %.0fx realtime (goal >= 100x)%s; "
        "libcdio raw reads alone: %.0f ms (%.0fx); ratio %.1f\n",
        wavMs, audioSec * 1000.0 / wavMs, wav.ok() ? "" : " FAILED", rawMs,
        audioSec * 1000.0 / rawMs, wavMs / std::max(rawMs, 1e-6));
    cd::ExtractResult wma;
    const double wmaMs =
        medianMs(1, [&] { wma = cd::extractTrackToWma(drive, 0, 128000, dir.file("t.wma"), {}); });
    std::printf(
        "cd extraction: 5-minute track to WMA at 128 kbit/s: %.0f ms, %.0fx realtime%s; "
        "ratio to libcdio raw reads %.1f\n",
        wmaMs, audioSec * 1000.0 / wmaMs, wma.ok() ? "" : " FAILED", wmaMs / std::max(rawMs, 1e-6));
    return 0;
}
