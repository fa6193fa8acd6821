// The formats a disc is ripped to: the encoder layer's formats under the rip's names. Each track
// is written from 16-bit stereo 44.1 kHz PCM and tagged (encode/formats.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "encode/formats.h"

namespace cd {

using RipFormat = encode::Format;
using RipTags = encode::Tags;
using AudioMd5 = encode::AudioMd5;
using TrackEncoder = encode::FileEncoder;

// "wav", "flac", "mp3", "ogg" (or "vorbis"), "opus", "wma", without regard to case.
inline std::optional<RipFormat> parseRipFormat(const std::string& name) {
    return encode::parseFormat(name);
}
inline const char* ripFormatName(RipFormat format) {  // "FLAC", "Ogg Vorbis", ...
    return encode::formatInfo(format).name;
}
inline const char* ripFormatExtension(RipFormat format) {  // ".flac", ".ogg", ...
    return encode::formatInfo(format).extension;
}
inline const std::vector<RipFormat>& allRipFormats() {
    return encode::allFormats();
}

// An encoder writing `path` (created or emptied). Null with `error` set when it cannot start.
// `bitrate`: bits per second for MP3 and WMA (0: the default). `md5Given`: see
// TrackEncoder::setAudioMd5().
inline std::unique_ptr<TrackEncoder> openTrackEncoder(RipFormat format, const std::string& path,
                                                      const RipTags& tags, uint32_t bitrate,
                                                      std::string& error, bool md5Given = false) {
    return encode::openEncoder(format, path, tags, bitrate, error, md5Given);
}

}  // namespace cd
