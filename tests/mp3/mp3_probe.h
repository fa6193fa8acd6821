// What the MP3 tests read back from the files the encoder wrote.
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine_ext.h"
#include "mp3/mp3routines.h"
#include "tests/support/audio_fixtures.h"

namespace mp3probe {

// The bit rate (kbit/s) of an MP3's first frame (our encoder writes no ID3v2 tag); 0 when the
// file does not start with a frame.
inline int firstFrameKbps(const std::string& path) {
    const auto bytes = fixtures::readBytes(path);
    mp3::Mp3FrameHeader h;
    if (bytes.size() < 4 || bytes[0] != 0xFF || !mp3::DecodeFrameHeader(bytes.data(), h)) return 0;
    return h.BitRate;
}

// Frames of audio the engine decodes from `path` (-1 when it cannot open it).
inline int64_t decodedFrames(const std::string& path) {
    auto source = engine::openFileSource(path);
    return source ? source->lengthFrames() : -1;
}

}  // namespace mp3probe
