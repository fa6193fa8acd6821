// The desktop program's command line:
//   quorvin-audio-tools [--null-output [--capture FILE.wav]] [--cd-image FILE.cue]... [FILE]
// Window thread (main) only.
#pragma once

#include <QStringList>
#include <string>
#include <vector>

namespace app {

struct CommandLine {
    bool nullOutput = false;            // play without a sound card
    std::string capture;                // with nullOutput: record what is played to this WAV
    std::vector<std::string> cdImages;  // disc images offered as drives in the CD window
    std::string file;                   // an audio file to load as if chosen with Load
    bool help = false;                  // --help: print `text` and end
    bool version = false;               // --version: print `text` and end
    std::string text;                   // the help or version text
    std::string error;                  // a wrong command line: what is wrong
};

// Reads `arguments` (the program name first). The version comes from the application object.
CommandLine parseCommandLine(const QStringList& arguments);
// The same from the program's own arguments, as bytes (argv): the file and the disc images keep
// the bytes the user gave (a name that is not valid UTF-8 still opens), made absolute against the
// current folder, the one the program was started in.
CommandLine parseCommandLine(const std::vector<std::string>& argv);

}  // namespace app
