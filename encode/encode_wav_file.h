// A finished WAV file of the program's (a 44-byte header, then PCM: a render's work file)
// encoded into another format, tagged: what `quorvin render` and the main window's save after
// "Process" do when the name asked for ends in another format's extension.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "encode/formats.h"
#include "files/result.h"

namespace encode {

// Encodes `wavPath` into `outPath` (created or emptied) in `format` (FLAC, Ogg Vorbis or Opus,
// which take any rate and channel count), tagged with `tags`. 8-bit audio is widened to 16 bits.
// The caller writes `outPath` through a temporary: a failure leaves it partly written. `stop`,
// when set (any thread), ends the encoding after its block with a failure.
// `progress` (when given) hears the share of the audio encoded so far, 0 to 1, block by block.
// `speakerMask`: where the source's channels go (the work file's header keeps no places).
files::Result encodeWavFile(const std::string& wavPath, Format format, const std::string& outPath,
                            const Tags& tags, const std::atomic<bool>* stop = nullptr,
                            const std::function<void(double)>& progress = {},
                            uint32_t speakerMask = 0);

}  // namespace encode
