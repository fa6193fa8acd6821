// The MP3 header reader: finds the first MPEG audio frame of a file (a sync search past any ID3v2
// tag, confirmed by a chain of ten frames whose headers all carry the sync bits and valid fields),
// decodes its header, works out bit rate, duration and frame count for constant-bit-rate files,
// files with a Xing header and variable-bit-rate files without one, and reads an ID3v1 tag. Reads
// headers only, never frame bodies. Plain C++: no engine, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace mp3 {

// The record the reader fills. Owned by the caller and reused from call to call: a call writes
// only the fields its path reaches, the others keep what an earlier call left there.
struct Mp3FileInfo {
    int64_t FileLength = 0;         // bytes (files over 2 GB too)
    uint8_t Version = 0;            // 1 = MPEG-1, 2 = MPEG-2 and the quarter-rate family
    uint8_t Layer = 0;              // 1, 2 or 3
    int16_t BitRate = 0;            // kbit/s
    int32_t FrameCount = 0;         // audio frames
    int16_t IsConstantBitRate = 0;  // -1 or 0
    int32_t SampleRate = 0;         // samples per second
    uint8_t ChannelMode = 0;        // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    uint8_t Copyright = 0;          // 0 or 1
    uint8_t Original = 0;           // 0 or 1
    int32_t Duration = 0;           // whole seconds (long files exceed 16 bits)
    int16_t HasTag = 0;             // -1 once an ID3v1 tag was read
    std::string Title, Artist, Album, Year, Comment;  // ID3v1 texts, UTF-8
    uint8_t Track = 0;
    uint8_t Genre = 0;
};

struct Mp3FrameHeader {
    uint8_t Version = 0;
    uint8_t Layer = 0;
    uint8_t ProtectionBit = 0;  // as stored (1 = no CRC)
    int16_t BitRate = 0;        // kbit/s
    int32_t SampleRate = 0;
    uint8_t ChannelMode = 0;
    uint8_t Copyright = 0;
    uint8_t Original = 0;
    int32_t FrameLength = 0;  // bytes from this header to the next
};

// An error that ends a read: a number and a description, passed up to the caller untouched.
class Mp3Error : public std::runtime_error {
  public:
    enum Number { Overflow = 6, DivisionByZero = 11, ReadError = 57, FileAccess = 75 };
    Mp3Error(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }
    std::string description() const { return what(); }

  private:
    int number_;
};

// Called after every step of the sync search so that the window can process pending events.
using EventPump = std::function<void()>;

// Random access to the bytes of one MP3. read() returns how many bytes it delivered (fewer at the
// end of the data) and throws Mp3Error(ReadError) when the data cannot be read.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual int64_t size() const = 0;
    virtual size_t read(int64_t offset, uint8_t* dst, size_t n) = 0;
};

// 1 when a first frame was found and the record filled, 0 for a blank path, a missing file or no
// chain of ten frames. Throws Mp3Error on overflow, division by zero, a file that cannot be opened
// and read errors. Each call opens its own file, so a call made from the event pump is harmless.
uint8_t ReadMp3FileInfo(const std::string& path, Mp3FileInfo& info, const EventPump& pump = {});
// The same on bytes from any source (a file, memory).
uint8_t ReadMp3Info(ByteSource& source, Mp3FileInfo& info, const EventPump& pump = {});

// Decodes a four-byte frame header. bytes[0] is not examined. False for layer bits 00, bit-rate
// index 0 or 15 and sample-rate index 3.
bool DecodeFrameHeader(const uint8_t bytes[4], Mp3FrameHeader& header);

// The pieces, exposed for tests.
int16_t LookupBitRate(int version, int layer, int index);
int32_t LookupSampleRate(int index, int version, bool quarterRate = false);
// b0 × 16777216 + b1 × 65536 + b2 × 256 + b3; Mp3Error(Overflow) beyond a signed 32-bit value.
int32_t BigEndian32(const uint8_t bytes[4]);
// Cut before the first NUL, then strip leading and trailing spaces.
std::string TrimAtNul(const std::string& text);

// Nearest integer, ties to even; Mp3Error(Overflow) outside the type's range (and for NaN).
int16_t ToInt16(double value);
int32_t ToInt32(double value);

}  // namespace mp3
