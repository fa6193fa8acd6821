#include "cli/mp3_output.h"

#include "components/mp3_encoder.h"
#include "engine/engine_ext.h"
#include "files/paths.h"
#include "mp3/mp3_save.h"

namespace cli {

bool mp3OutputAvailable() {
    return true;
}

files::Result encodeMp3(const Mp3Job& job, std::string* note) {
    // The bit rate as the main window's save chooses it: an MP3 source's own when its header can
    // be read (at least 128 kbit/s), else the program's starting setting; --bitrate overrides
    // both. Only an MP3 source has a rate (its name ending in .mp3, whatever the case, as the
    // output's does, or its content MPEG audio, as from standard input): any other is never
    // searched for MPEG frames.
    int32_t bitRate = mp3::kDefaultMp3BitRate;
    if (job.bitrateKbps > 0) {
        bitRate = job.bitrateKbps * 1000;
    } else if (files::endsWithNoCase(job.sourcePath, ".mp3") || engine::isMp3File(job.sourcePath)) {
        mp3::Mp3FileInfo info;
        bitRate = mp3::ChooseMp3BitRate(job.sourcePath, mp3::kDefaultMp3BitRate, info);
    }
    components::Mp3EncodeJob encode;
    encode.input = job.wavPath;
    encode.output = job.mp3Path;
    encode.bitRate = bitRate;
    encode.channelMode = 0;
    encode.speakerMask = job.speakerMask;
    components::Mp3ProgressFn progress;
    if (job.progress) progress = [&job](int percent, double) { job.progress(percent); };
    std::string error = components::encodeMp3File(encode, progress, nullptr, note);
    if (!error.empty()) return files::Result::failure(std::move(error));
    return files::Result::success();
}

}  // namespace cli
