// quorvin-audio-tools: the desktop program.
//   quorvin-audio-tools [--null-output [--capture FILE.wav]] [--cd-image FILE.cue]... [FILE]
// --null-output runs without a sound card (the audio is consumed in real time but not heard);
// --capture records what that output plays, while something plays, to a WAV file;
// --cd-image offers a disc image as a drive in the CD window; FILE is loaded as if chosen with
// "Load Audio File".
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/frmWriteWave.h"
#include "app/recent_files.h"
#include "app/window_memory.h"
#include "disc/basscd.h"
#include "engine/engine_ext.h"
#include "files/temporary_file.h"
#include "files/texts.h"
#include "platform/qt_platform.h"

int main(int argc, char** argv) {
    QApplication::setOrganizationName("Quorvin");
    QApplication::setApplicationName("Quorvin Audio Tools");
    QApplication::setApplicationVersion(QUORVIN_VERSION);

    // Read before the application object exists, so that --help and --version need no display.
    // Names are resolved here, against the folder the user started the program in.
    const app::CommandLine command =
        app::parseCommandLine(std::vector<std::string>(argv, argv + argc));
    if (!command.error.empty()) {
        std::fprintf(stderr, "quorvin-audio-tools: %s (try --help)\n", command.error.c_str());
        return 2;
    }
    if (command.help || command.version) {
        std::fputs(command.text.c_str(), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    // Qt takes the user's locale for the C library too; numbers written into files and read from
    // fields by C functions keep the point in every language (what is shown follows QLocale).
    std::setlocale(LC_NUMERIC, "C");
    QGuiApplication::setDesktopFileName("org.quorvin.AudioTools");
    // The texts in the user's language where there is a translation: the program's own, installed
    // beside the executable's share folder (so also in the build folder), and Qt's (dialogs).
    // Looking for a missing file costs a few file look-ups.
    QTranslator qtTexts, programTexts;
    if (qtTexts.load(QLocale(), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    if (programTexts.load(QLocale(), "quorvin-audio-tools", "_",
                          QApplication::applicationDirPath() + "/../" QUORVIN_TRANSLATIONS_DIR))
        QApplication::installTranslator(&programTexts);
    // The texts made below the windows (why a file cannot be opened or saved, a rip's messages).
    files::setTranslate([](const char* context, const char* source) {
        return QCoreApplication::translate(context, source).toStdString();
    });
    // The installed theme's icon where there is one, else the one built into the program.
    QApplication::setWindowIcon(QIcon::fromTheme("org.quorvin.AudioTools",
                                                 QIcon(":/icons/org.quorvin.AudioTools-256.png")));
    engine::setOutputKind(command.nullOutput ? engine::OutputKind::NullClock
                                             : engine::OutputKind::Device);
    if (!command.capture.empty() && !engine::setCapture(command.capture)) {
        std::fprintf(stderr, "quorvin-audio-tools: cannot record to \"%s\": %s\n",
                     command.capture.c_str(), engine::captureStatus().error.c_str());
        return 2;
    }
    for (const std::string& image : command.cdImages) {
        std::string why;
        if (engine::cdAddImage(image, &why) < 0) {
            std::fprintf(stderr, "quorvin-audio-tools: cannot open the disc image \"%s\": %s\n",
                         image.c_str(), why.empty() ? "it cannot be read" : why.c_str());
            return 2;
        }
    }
    platform::Platform::install(std::make_unique<platform::QtPlatform>());
    app::RecentFiles::setDesktopList(
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                          "/recently-used.xbel")
            .toStdString());
    app::WindowMemory memory;
    app.installEventFilter(&memory);

    // Ended by a signal (a logout, a kill, Ctrl-C in its terminal), the program takes the
    // temporaries of a save in progress with it, as it does when it closes.
    for (int sig : {SIGINT, SIGTERM}) files::removeTemporariesOn(sig);
#ifdef SIGHUP
    files::removeTemporariesOn(SIGHUP);
#endif
    app::frmWriteWave window;
    if (!window.Form_Load()) return 1;
    window.show();
    if (!command.file.empty()) window.openFile(command.file);
    const int status = app.exec();
    if (command.capture.empty()) return status;
    // The capture's file complete before the program ends; a failure is not left unsaid.
    engine::setCapture({});
    const engine::CaptureStatus capture = engine::captureStatus();
    if (!capture.error.empty())
        std::fprintf(stderr, "quorvin-audio-tools: the recording \"%s\" stopped early: %s\n",
                     command.capture.c_str(), capture.error.c_str());
    if (capture.framesLost > 0)
        std::fprintf(stderr,
                     "quorvin-audio-tools: the recording \"%s\" lost %lld frames (its disk was "
                     "too slow)\n",
                     command.capture.c_str(), static_cast<long long>(capture.framesLost));
    return status != 0 ? status : (capture.error.empty() && capture.framesLost == 0 ? 0 : 1);
}
