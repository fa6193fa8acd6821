// The formats audio is written to, one table row each: WAV (bit for bit behind the program's
// header), FLAC (lossless), MP3 (LAME, ID3v2 tags), Ogg Vorbis, Opus (resampled to 48 kHz) and
// WMA (the BASS_WMA_ encoder). Every encoder takes 16-bit PCM (stereo 44.1 kHz unless opened
// with another rate and channel count: WAV, FLAC, Ogg Vorbis and Opus take any) and tags its file.
// One encoder per file; one thread at a time per encoder.
//
// A new format is one file with its encoder and one row in the table (formats.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace encode {

enum class Format { Wav, Flac, Mp3, Vorbis, Opus, Wma };

// What each file is tagged with (UTF-8; empty texts and 0 numbers are left out).
struct Tags {
    std::string title, artist, album, year;
    int track = 0, totalTracks = 0;
    std::string albumArtist;   // ALBUMARTIST (ID3 TPE2)
    std::string genre;         // GENRE (ID3 TCON)
    bool preEmphasis = false;  // PRE_EMPHASIS=1: the audio is pre-emphasised (a CD's PRE flag)
};

// The MD5 signature of the audio as FLAC records it: of its little-endian 16-bit samples.
using AudioMd5 = std::array<uint8_t, 16>;

class FileEncoder {
  public:
    virtual ~FileEncoder() = default;
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

// What an encoder is opened with. `bitrate`: bits per second, for the formats that take one.
struct OpenRequest {
    std::string path;  // created or emptied
    Tags tags;
    uint32_t bitrate = 0;
    bool md5Given = false;  // see FileEncoder::setAudioMd5()
    int rate = 44100;       // of the PCM handed to write()
    int channels = 2;
    // Where the channels go, as WAVE's speaker bits (engine::speakerMask); 0 for the usual places
    // of the count. FLAC keeps other places in its WAVEFORMATEXTENSIBLE_CHANNEL_MASK comment.
    uint32_t speakerMask = 0;
};

// An encoder of the format writing `request.path`; null with `error` set when it cannot start.
using OpenFn = std::unique_ptr<FileEncoder> (*)(const OpenRequest& request, std::string& error);

struct FormatInfo {
    Format format;
    const char* name;         // "FLAC", "Ogg Vorbis", ...
    const char* extension;    // ".flac", ".ogg", ...
    const char* keywords[2];  // what a user types for it: "ogg" or "vorbis"; null when unused
    uint32_t defaultBitrate;  // bits per second; 0 for a format that takes no bit rate
    OpenFn open;
};

// Every format, in the order the program offers them.
const std::vector<FormatInfo>& formatTable();
const FormatInfo& formatInfo(Format format);
const std::vector<Format>& allFormats();
// "wav", "flac", "mp3", "ogg" (or "vorbis"), "opus", "wma", without regard to case.
std::optional<Format> parseFormat(const std::string& name);
// The format whose extension ends the file name `path` (".flac", ".ogg", ...), without regard to
// case; nothing for any other name.
std::optional<Format> formatOfName(const std::string& path);
inline bool takesBitrate(Format format) {
    return formatInfo(format).defaultBitrate != 0;
}

// When `format` writes CD audio asked at `bitrate` (bits per second) at another bit rate or rate
// (MP3: the nearest LAME writes, a low bit rate lowering the rate), what the user should know of
// it, as a render says it; "" when it writes what was asked.
std::string bitrateNote(Format format, uint32_t bitrate);

// Why `format` cannot hold `channels` channels (FLAC: at most 8), for the user; "" when it can
// (MP3 mixes more than two down to stereo).
std::string channelRefusal(Format format, int channels);

// An encoder writing `path` (created or emptied). Null with `error` set when it cannot start.
// `bitrate`: bits per second for the formats that take one (0: the format's default).
std::unique_ptr<FileEncoder> openEncoder(Format format, const std::string& path, const Tags& tags,
                                         uint32_t bitrate, std::string& error,
                                         bool md5Given = false);
// The same with every field of the request (its bit rate 0: the format's default).
std::unique_ptr<FileEncoder> openEncoder(Format format, OpenRequest request, std::string& error);

// The title, artist and album of any file TagLib reads (by its name's extension, else by its
// content); empty fields when it has none or cannot be read.
Tags readTags(const std::string& path);
// Writes the non-empty fields of `tags` into the finished WAV file (its RIFF INFO list and an
// ID3v2 chunk) or MP3 file (ID3v2) at `path`, whatever its name. Nothing is written when every
// field is empty. False when the file cannot be tagged.
bool tagWav(const std::string& path, const Tags& tags);
bool tagMp3(const std::string& path, const Tags& tags);

}  // namespace encode
