// The formats a disc is ripped to, each written from 16-bit stereo 44.1 kHz PCM and tagged:
// WAV (bit for bit behind the program's header), FLAC (lossless), MP3 (LAME, ID3v2 tags),
// Ogg Vorbis, Opus (resampled to 48 kHz) and WMA (the engine's encoder). One encoder per track;
// one thread at a time per encoder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cd {

enum class RipFormat { Wav, Flac, Mp3, Vorbis, Opus, Wma };

// "wav", "flac", "mp3", "ogg" (or "vorbis"), "opus", "wma", without regard to case.
std::optional<RipFormat> parseRipFormat(const std::string& name);
const char* ripFormatName(RipFormat format);       // "FLAC", "Ogg Vorbis", ...
const char* ripFormatExtension(RipFormat format);  // ".flac", ".ogg", ...
const std::vector<RipFormat>& allRipFormats();

// What each file is tagged with (UTF-8; empty texts and 0 numbers are left out).
struct RipTags {
    std::string title, artist, album, year;
    int track = 0, totalTracks = 0;
};

// Bit rates in bits per second for the lossy formats that take one.
constexpr uint32_t kDefaultMp3Bitrate = 256000;
constexpr uint32_t kDefaultWmaBitrate = 128000;

// The MD5 signature of a track's audio as FLAC records it: of its little-endian 16-bit samples.
using AudioMd5 = std::array<uint8_t, 16>;

class TrackEncoder {
  public:
    virtual ~TrackEncoder() = default;
    // FLAC records the MD5 signature of the audio in its header. An encoder opened with
    // `md5Given` leaves computing it to the caller (who may do it on another thread), who hands it
    // over before finish(). Other formats ignore it.
    virtual void setAudioMd5(const AudioMd5&) {}
    // Little-endian 16-bit stereo PCM, in pieces of any size. False after a failure (error()).
    virtual bool write(const uint8_t* pcm, size_t bytes) = 0;
    // Ends the stream, closes the file and writes its tags. False after a failure.
    virtual bool finish() = 0;
    const std::string& error() const { return error_; }

  protected:
    std::string error_;
};

// An encoder writing `path` (created or emptied). Null with `error` set when it cannot start.
// `bitrate`: bits per second for MP3 and WMA (0: the default). `md5Given`: see setAudioMd5().
std::unique_ptr<TrackEncoder> openTrackEncoder(RipFormat format, const std::string& path,
                                               const RipTags& tags, uint32_t bitrate,
                                               std::string& error, bool md5Given = false);

}  // namespace cd
