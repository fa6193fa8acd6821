// Where `quorvin render` hands over when OUT ends in .mp3: the render is written to a WAV file
// first, then encoded to OUT by the MP3 encoder component.
#pragma once

#include <functional>
#include <string>

#include "files/result.h"

namespace cli {

struct Mp3Job {
    std::string wavPath;       // the finished render
    std::string mp3Path;       // where the MP3 goes (a temporary name beside OUT)
    std::string sourcePath;    // the rendered source, for taking its bit rate
    int bitrateKbps = 0;       // --bitrate, or 0 for the source's own rate (at least 128)
    uint32_t speakerMask = 0;  // where the source's channels go (engine::speakerMask)
    std::function<void(int percent)> progress;  // as the encoding goes on, when given
};

bool mp3OutputAvailable();
// Encodes; the failure's message is for the user. `note`, when given, receives on success what
// the user should know (a bit rate or a rate MP3 cannot hold), "" when nothing.
files::Result encodeMp3(const Mp3Job& job, std::string* note = nullptr);

}  // namespace cli
