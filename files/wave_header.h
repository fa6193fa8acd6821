// The WAV files the program writes: a canonical 44-byte RIFF/WAVE header followed by raw PCM.
//
// The header is written first with both size fields 0, the audio is appended block by block,
// and at the end the RIFF size (offset 4) and the data size (offset 40) are patched with the
// number of PCM bytes actually written. The render and the CD extraction both write through
// WaveWriter. Plain C++, no Qt; one thread at a time per writer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "engine/bass.h"

namespace files {

// A tag as a 32-bit integer whose little-endian bytes spell it: "RIFF" is 0x46464952.
constexpr uint32_t waveTag(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

constexpr size_t kWaveHeaderBytes = 44;
constexpr long kRiffSizeOffset = 4;
constexpr long kDataSizeOffset = 40;
// Both sizes are signed 32-bit; the RIFF size is the data size + 36.
constexpr uint32_t kMaxWaveDataBytes = 2147483647u - 36u;

// The header as three records written one after the other (12 + 24 + 8 bytes).
struct WaveHeader {
    struct Riff {
        uint32_t tag = waveTag("RIFF");
        int32_t size = 0;  // data size + 36 at the end
        uint32_t form = waveTag("WAVE");
    } riff;
    struct Format {
        uint32_t tag = waveTag("fmt ");
        int32_t chunkSize = 16;
        int16_t formatTag = 1;  // integer PCM
        int16_t channels = 2;
        int32_t sampleRate = 44100;
        int32_t bytesPerSecond = 176400;  // block align x sample rate
        int16_t blockAlign = 4;           // channels x bits per sample / 8
        int16_t bitsPerSample = 16;
    } format;
    struct Data {
        uint32_t tag = waveTag("data");
        int32_t size = 0;  // PCM bytes
    } data;

    // A header for the given format with both sizes 0. A format the header's fields cannot
    // describe (no channels, a rate of 0, a byte rate past 32 bits) gives a header that is not
    // isDescribable(), which WaveWriter refuses.
    static WaveHeader forFormat(int channels, int sampleRate, bool eightBit);
    // Whether the format fields are a consistent PCM format the 32-bit fields can hold.
    bool isDescribable() const;
    // Filled from an engine channel: channel count and the 8-bit flag from its information
    // record, the sample rate from its attributes. Nothing when the channel cannot be queried.
    static std::optional<WaveHeader> fromChannel(DWORD channel);

    // Sets the data size and the RIFF size for `dataBytes` bytes of PCM.
    void setDataSize(uint32_t dataBytes);
    // The 44 bytes as they go into the file (little-endian).
    std::array<uint8_t, kWaveHeaderBytes> bytes() const;
};

// Writes one WAV file: create() writes the header with both sizes 0, append() adds PCM, finish()
// patches the two sizes with the bytes actually written and closes the file. The writer never
// lets the data grow past what the 32-bit sizes can describe: it stops at the last whole frame
// below the limit, reports LimitReached and the file stays valid.
class WaveWriter {
  public:
    enum class Status {
        Closed,        // nothing open (before create or after finish)
        Writing,       // open, all appends so far written in full
        LimitReached,  // the size limit was reached; later appends are dropped
        WriteFailed,   // a write failed (disk full, I/O error); later appends are dropped
    };

    explicit WaveWriter(uint32_t maxDataBytes = kMaxWaveDataBytes);
    ~WaveWriter();  // finishes an open file, so that its header matches its data
    WaveWriter(const WaveWriter&) = delete;
    WaveWriter& operator=(const WaveWriter&) = delete;

    // Creates (or empties) `path` and writes the header with both sizes 0. False with error()
    // naming the path and the reason when the file cannot be created or written, or the header
    // is not isDescribable().
    bool create(const std::string& path, const WaveHeader& header);
    // Appends PCM bytes. False when not everything was written (limit, write failure, not open);
    // the bytes that did get written are counted.
    bool append(const void* data, size_t bytes);
    // Closes the file and patches the sizes with the bytes it really holds (after a failed write
    // only the whole frames that reached the disk; dataBytes() then says how many). False when
    // any write, the flush, the patch or the close failed (error() says why): the file is then
    // not a complete result. Harmless when nothing is open (false still after a failed write).
    bool finish();

    bool isOpen() const { return file_ != nullptr; }
    Status status() const { return status_; }
    uint32_t dataBytes() const { return dataBytes_; }
    const WaveHeader& header() const { return header_; }
    const std::string& path() const { return path_; }
    // The last failure or the limit notice, for the user; empty when all went well.
    const std::string& error() const { return error_; }

  private:
    void fail(const std::string& what, int errorNumber);

    std::FILE* file_ = nullptr;
    WaveHeader header_;
    std::string path_;
    std::string error_;
    Status status_ = Status::Closed;
    uint32_t dataBytes_ = 0;
    uint32_t maxDataBytes_;
};

}  // namespace files
