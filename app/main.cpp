// quorvin-audio-tools: the desktop program. --null-output runs without a sound card (the audio
// is consumed in real time but not heard).
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/frmWriteWave.h"
#include "engine/engine_ext.h"
#include "platform/qt_platform.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvin Audio Tools");
    QApplication::setApplicationVersion(QUORVIN_VERSION);

    engine::OutputKind output = engine::OutputKind::Device;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--null-output") == 0) {
            output = engine::OutputKind::NullClock;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "usage: quorvin-audio-tools [--null-output]\n"
                "  --null-output  play without a sound card (nothing is heard)\n");
            return 0;
        } else {
            std::fprintf(stderr, "quorvin-audio-tools: unknown option %s (try --help)\n", argv[i]);
            return 2;
        }
    }
    engine::setOutputKind(output);
    platform::Platform::install(std::make_unique<platform::QtPlatform>());

    app::frmWriteWave window;
    if (!window.Form_Load()) return 1;
    window.show();
    return app.exec();
}
