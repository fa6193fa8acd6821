#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <filesystem>
#include <system_error>

namespace app {

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Plays an MP3 or WAV file while you change its tempo and pitch, removes the voice, "
        "equalizes it, shows its BPM, and saves the result.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption nullOutput("null-output",
                                        "Play without a sound card (nothing is heard).");
    const QCommandLineOption cdImage("cd-image",
                                     "Offer the disc image <file.cue> as a drive in the CD window "
                                     "(may be given more than once).",
                                     "file.cue");
    const QCommandLineOption capture(
        "capture",
        "With --null-output: record every frame played, while something plays, to <file.wav> "
        "(16-bit stereo, 44100 Hz).",
        "file.wav");
    parser.addOption(nullOutput);
    parser.addOption(capture);
    parser.addOption(cdImage);
    parser.addPositionalArgument("file", "An audio file to load, as if chosen with Load.",
                                 "[file]");

    CommandLine out;
    if (!parser.parse(arguments)) {
        out.error = parser.errorText().toStdString();
        return out;
    }
    if (parser.isSet(help) || parser.isSet("help-all")) {
        out.help = true;
        // Read before the application object exists, the parser cannot know the program's name.
        out.text =
            parser.helpText().replace("<executable_name>", "quorvin-audio-tools").toStdString();
        return out;
    }
    if (parser.isSet(version)) {
        out.version = true;
        out.text = (QCoreApplication::applicationName() + " " +
                    QCoreApplication::applicationVersion() + "\n")
                       .toStdString();
        return out;
    }
    out.nullOutput = parser.isSet(nullOutput);
    if (parser.isSet(capture)) {
        if (!out.nullOutput) {
            out.error = "--capture needs --null-output";
            return out;
        }
        out.capture = parser.value(capture).toStdString();
        if (out.capture.empty()) {
            out.error = "--capture needs a file name";
            return out;
        }
    }
    for (const QString& image : parser.values(cdImage)) out.cdImages.push_back(image.toStdString());
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        out.error = "only one file can be loaded";
        return out;
    }
    if (!files.isEmpty()) out.file = files.front().toStdString();
    return out;
}

namespace {

// The argument among `argv` that reads as `value`, made absolute; `value` itself when none does.
std::string rawAbsolute(const std::vector<std::string>& argv, const std::string& value) {
    std::string raw = value;
    for (auto it = argv.rbegin(); it != argv.rend(); ++it)
        if (QFile::decodeName(QByteArray::fromStdString(*it)).toStdString() == value) {
            raw = *it;
            break;
        }
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(raw, ec);
    return ec ? raw : absolute.lexically_normal().string();
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& argv) {
    QStringList arguments;
    for (const std::string& a : argv) arguments << QFile::decodeName(QByteArray::fromStdString(a));
    CommandLine out = parseCommandLine(arguments);
    if (!out.error.empty() || out.help || out.version) return out;
    if (!out.file.empty()) out.file = rawAbsolute(argv, out.file);
    for (std::string& image : out.cdImages) image = rawAbsolute(argv, image);
    return out;
}

}  // namespace app
