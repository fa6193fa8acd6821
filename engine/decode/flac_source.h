// FLAC decoded by libFLAC itself, each frame placed at the sample number its header gives. A frame
// libFLAC cannot decode (it writes silence for it, or nothing) plays as silence in its place, and
// the frames after it where they belong (libsndfile's reader stops at such a frame, or reads on
// with the frames after it moved early). Internal to the engine.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/decode/file_versions.h"
#include "engine/engine_ext.h"

namespace engine {

// A source over the FLAC file `path`, as libsndfile's open of it found it (`info`: its checks and
// limits are that open's; its sample count may be unknown, SF_COUNT_MAX), its channels in the
// places `speakerMask` gives. The length of a file that gives none is measured by decoding it, or
// left 0 (unknown) by FileOpen::HeaderOnly. Null when the file cannot be decoded.
std::unique_ptr<Source> openFlacSource(const SF_INFO& info, const std::string& path, FileOpen mode,
                                       const std::optional<FileStamp>& stamp, uint32_t speakerMask);

}  // namespace engine
