// Where `quorvin render` hands over when OUT ends in .mp3: the render is written to a WAV file
// first, then encoded to OUT by the MP3 encoder component.
#pragma once

#include <string>

namespace cli {

struct Mp3Job {
    std::string wavPath;     // the finished render
    std::string mp3Path;     // where the MP3 goes (a temporary name beside OUT)
    std::string sourcePath;  // the rendered source, for taking its bit rate
    int bitrateKbps = 0;     // --bitrate, or 0 for the source's own rate (at least 128)
};

bool mp3OutputAvailable();
// Encodes; false with `error` for the user on failure.
bool encodeMp3(const Mp3Job& job, std::string& error);

}  // namespace cli
