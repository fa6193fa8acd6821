#include "mp3/mp3routines.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "platform/windows1252.h"

namespace mp3 {

namespace {

constexpr int64_t kBlock = 4096;
constexpr int kChain = 10;

// Bit rates in kbit/s by bit-rate index. MPEG-1 layers I, II, III; the lower sampling frequencies
// have one table for layer I and one shared by layers II and III.
constexpr int16_t kMpeg1[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
};
constexpr int16_t kLowLayer1[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                    128, 144, 160, 176, 192, 224, 256, 0};
constexpr int16_t kLowLayer23[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                     64, 80, 96, 112, 128, 144, 160, 0};

std::string eightBitToUtf8(const std::string& text) {
    return platform::windows1252ToUtf8(text);
}

// A file read through one cached 64 KB window: the frame walk reads a header every few hundred
// bytes, and a system call for each would dominate the time. Unbuffered stdio, so that the bytes
// are copied once, from the system into the window.
class FileSource : public ByteSource {
  public:
    explicit FileSource(const std::filesystem::path& path) {
#ifdef _WIN32
        file_ = _wfopen(path.c_str(), L"rb");
#else
        file_ = std::fopen(path.c_str(), "rb");
#endif
        if (!file_) throw Mp3Error(Mp3Error::FileAccess, "Path/File access error");
        std::setvbuf(file_, nullptr, _IONBF, 0);
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        if (ec) {
            std::fclose(file_);
            throw Mp3Error(Mp3Error::ReadError, "Device I/O error");
        }
        size_ = int64_t(size);
    }
    ~FileSource() override {
        std::fclose(file_);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    int64_t size() const override {
        return size_;
    }
    size_t read(int64_t offset, uint8_t* dst, size_t n) override {
        size_t done = 0;
        while (done < n) {
            const int64_t pos = offset + int64_t(done);
            if (pos < 0 || pos >= size_) break;
            if (pos < cacheStart_ || pos >= cacheStart_ + cacheLen_) load(pos - pos % kBlock);
            if (pos >= cacheStart_ + cacheLen_) break;  // the file became shorter
            const size_t take = std::min(n - done, size_t(cacheStart_ + cacheLen_ - pos));
            std::memcpy(dst + done, cache_.data() + (pos - cacheStart_), take);
            done += take;
        }
        return done;
    }

  private:
    void load(int64_t start) {
        cacheLen_ = 0;
        if (std::fseek(file_, long(start), SEEK_SET) != 0)  // long: 64 bits here
            throw Mp3Error(Mp3Error::ReadError, "Device I/O error");
        const size_t got = std::fread(cache_.data(), 1, cache_.size(), file_);
        if (std::ferror(file_)) throw Mp3Error(Mp3Error::ReadError, "Device I/O error");
        cacheStart_ = start;
        cacheLen_ = int64_t(got);
    }

    std::FILE* file_ = nullptr;
    int64_t size_ = 0;
    std::vector<uint8_t> cache_ = std::vector<uint8_t>(16 * kBlock);
    int64_t cacheStart_ = 0;
    int64_t cacheLen_ = 0;
};

// Four header bytes at `offset`; false when they lie wholly or partly past the end.
bool readHeader(ByteSource& src, int64_t offset, uint8_t out[4]) {
    return src.read(offset, out, 4) == 4;
}

// A frame header in earnest: the 11 sync bits, a version that exists (not the reserved 01), and
// the fields DecodeFrameHeader checks.
bool decodeAt(ByteSource& src, int64_t offset, Mp3FrameHeader& header) {
    uint8_t b[4];
    return readHeader(src, offset, b) && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 &&
           (b[1] & 0x18) != 0x08 && DecodeFrameHeader(b, header);
}

// Where the audio starts: past the ID3v2 tags at the start of the file (each: "ID3", version,
// flags, a 28-bit size in four 7-bit bytes, then that many bytes, and 10 more with a footer).
int64_t afterId3v2Tags(ByteSource& src, int64_t fileLength) {
    int64_t at = 0;
    for (;;) {
        uint8_t h[10];
        if (src.read(at, h, sizeof h) != sizeof h || std::memcmp(h, "ID3", 3) != 0 ||
            h[3] == 0xFF || h[4] == 0xFF || ((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0)
            return at;
        const int64_t size = int64_t(h[6]) << 21 | int64_t(h[7]) << 14 | int64_t(h[8]) << 7 | h[9];
        const bool footer = (h[5] & 0x10) != 0;
        const int64_t next = at + 10 + size + (footer ? 10 : 0);
        if (next >= fileLength) return at;  // a tag claiming the whole file: search it all
        at = next;
    }
}

// Ten decodable headers in a row from `c`.
bool chainAt(ByteSource& src, int64_t c, std::array<Mp3FrameHeader, kChain>& headers) {
    for (auto& h : headers) {
        if (!decodeAt(src, c, h)) return false;
        c += h.FrameLength;
    }
    return true;
}

// Offset of the first frame of a chain of ten, or -1.
int64_t findFirstFrame(ByteSource& src, int64_t fileLength,
                       std::array<Mp3FrameHeader, kChain>& headers, const EventPump& pump) {
    std::array<uint8_t, kBlock> block;
    for (int64_t o = afterId3v2Tags(src, fileLength); o + kBlock + 1 < fileLength; o += kBlock) {
        const size_t got = src.read(o, block.data(), size_t(kBlock));
        size_t pos = 0;
        for (;;) {
            const void* hit =
                pos < got ? std::memchr(block.data() + pos, 0xFF, got - pos) : nullptr;
            if (pump) pump();
            if (!hit) break;
            const size_t i = size_t(static_cast<const uint8_t*>(hit) - block.data());
            if (chainAt(src, o + int64_t(i), headers)) return o + int64_t(i);
            pos = i + 1;
        }
    }
    return -1;
}

int samplesPerFrame(const Mp3FileInfo& info) {
    if (info.Layer == 1) return 384;
    if (info.Layer == 3 && info.Version != 1) return 576;  // MPEG-2 and the quarter-rate family
    return 1152;
}

// Where the Xing header sits: after the frame header and the side information, whose size
// depends on version and channel mode.
int64_t xingOffset(const Mp3FileInfo& info) {
    const bool mono = info.ChannelMode == 3;
    if (info.Version == 1) return mono ? 21 : 36;
    return mono ? 13 : 21;
}

bool ReadXingHeader(ByteSource& src, int64_t first, Mp3FileInfo& info, int s) {
    const int64_t x = first + xingOffset(info);
    uint8_t b[16];
    if (src.read(x, b, sizeof b) != sizeof b) return false;
    if (std::memcmp(b, "Xing", 4) != 0) return false;
    // The flags word at x + 4 is not consulted: both fields are read at their usual places.
    info.FrameCount = BigEndian32(b + 8);
    const int32_t bytes = BigEndian32(b + 12);
    info.Duration = ToInt32(double(info.FrameCount) * s / info.SampleRate);
    if (info.Duration == 0) throw Mp3Error(Mp3Error::DivisionByZero, "Division by zero");
    info.BitRate = ToInt16(double(bytes) * 8 / 1000 / info.Duration);
    return true;
}

void WalkFrames(ByteSource& src, int64_t first, Mp3FileInfo& info, int s) {
    info.FrameCount = 0;
    int64_t sum = 0;
    Mp3FrameHeader h;
    for (int64_t c = first; c + 5 < info.FileLength; c += h.FrameLength) {
        if (!decodeAt(src, c, h)) break;
        ++info.FrameCount;
        sum += h.BitRate;
    }
    info.Duration = ToInt32(double(info.FrameCount) * s / info.SampleRate);
    if (info.FrameCount == 0) throw Mp3Error(Mp3Error::DivisionByZero, "Division by zero");
    info.BitRate = ToInt16(double(sum) / info.FrameCount);
}

void ReadId3v1Tag(ByteSource& src, Mp3FileInfo& info) {
    if (info.FileLength < 128) return;
    uint8_t tag[128];
    if (src.read(info.FileLength - 128, tag, sizeof tag) != sizeof tag)
        throw Mp3Error(Mp3Error::ReadError, "Device I/O error");
    if (std::memcmp(tag, "TAG", 3) != 0) return;
    auto text = [&](int at, int n) {
        return eightBitToUtf8(TrimAtNul(std::string(reinterpret_cast<const char*>(tag + at), n)));
    };
    info.Title = text(3, 30);
    info.Artist = text(33, 30);
    info.Album = text(63, 30);
    info.Year = text(93, 4);
    // ID3v1.1 keeps the track in the comment's last byte, after a zero; ID3v1.0 has none there
    // and a comment of 30 characters.
    const bool hasTrack = tag[125] == 0;
    info.Comment = text(97, hasTrack ? 29 : 30);
    info.Track = hasTrack ? tag[126] : 0;
    info.Genre = tag[127];
    info.HasTag = -1;
}

template <typename T>
T toInteger(double value) {
    const double r = std::nearbyint(value);  // the default rounding mode: nearest, ties to even
    if (!(r >= double(std::numeric_limits<T>::min()) && r <= double(std::numeric_limits<T>::max())))
        throw Mp3Error(Mp3Error::Overflow, "Overflow");
    return T(r);
}

}  // namespace

int16_t ToInt16(double value) {
    return toInteger<int16_t>(value);
}
int32_t ToInt32(double value) {
    return toInteger<int32_t>(value);
}

int16_t LookupBitRate(int version, int layer, int index) {
    if (index < 0 || index > 15 || layer < 1 || layer > 3) return 0;
    if (version == 1) return kMpeg1[layer - 1][index];
    return layer == 1 ? kLowLayer1[index] : kLowLayer23[index];
}

int32_t LookupSampleRate(int index, int version, bool quarterRate) {
    static constexpr int32_t kRates[4] = {44100, 48000, 32000, 0};
    if (index < 0 || index > 3 || version < 1) return 0;
    return kRates[index] / version / (quarterRate ? 2 : 1);
}

int32_t BigEndian32(const uint8_t b[4]) {
    const int64_t v = int64_t(b[0]) * 16777216 + int64_t(b[1]) * 65536 + int64_t(b[2]) * 256 + b[3];
    if (v > std::numeric_limits<int32_t>::max()) throw Mp3Error(Mp3Error::Overflow, "Overflow");
    return int32_t(v);
}

std::string TrimAtNul(const std::string& text) {
    std::string s = text.substr(0, text.find('\0'));
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool DecodeFrameHeader(const uint8_t b[4], Mp3FrameHeader& h) {
    h.Version = (b[1] & 0x08) ? 1 : 2;
    const bool quarterRate = (b[1] & 0x18) == 0;  // version bits 00: 11025, 12000, 8000 Hz
    h.Layer = uint8_t(4 - (b[1] & 0x06) / 2);
    if (h.Layer == 4) return false;
    h.ProtectionBit = b[1] & 0x01;
    h.BitRate = LookupBitRate(h.Version, h.Layer, (b[2] & 0xF0) / 16);
    if (h.BitRate == 0) return false;
    h.SampleRate = LookupSampleRate((b[2] & 0x0C) / 4, h.Version, quarterRate);
    if (h.SampleRate == 0) return false;
    const int p = (b[2] & 0x02) / 2;
    h.ChannelMode = uint8_t((b[3] & 0xC0) / 64);
    h.Copyright = uint8_t((b[3] & 0x08) / 8);
    h.Original = uint8_t((b[3] & 0x04) / 4);
    if (h.Layer == 1)
        h.FrameLength = (12000 * h.BitRate / h.SampleRate + p) * 4;
    else if (h.Layer == 3 && h.Version != 1)
        h.FrameLength = 72000 * h.BitRate / h.SampleRate + p;  // 576 samples per frame
    else
        h.FrameLength = 144000 * h.BitRate / h.SampleRate + p;
    return true;
}

uint8_t ReadMp3Info(ByteSource& src, Mp3FileInfo& info, const EventPump& pump) {
    info.FileLength = src.size();

    std::array<Mp3FrameHeader, kChain> headers;
    const int64_t first = findFirstFrame(src, info.FileLength, headers, pump);
    if (first < 0) return 0;

    const Mp3FrameHeader& h = headers[0];
    info.ChannelMode = h.ChannelMode;
    info.Version = h.Version;
    info.Layer = h.Layer;
    info.Copyright = h.Copyright;
    info.SampleRate = h.SampleRate;
    info.Original = h.Original;
    info.IsConstantBitRate = 0;

    const int s = samplesPerFrame(info);
    bool sameRate = true;
    for (int i = 1; i < kChain; ++i)
        sameRate = sameRate && headers[i].BitRate == headers[i - 1].BitRate;

    if (ReadXingHeader(src, first, info, s)) {
        // rates from the VBR header
    } else if (sameRate) {
        info.BitRate = h.BitRate;
        const double audioBytes = double(info.FileLength - first);  // a trailing tag included
        info.Duration = ToInt32(audioBytes / 1000 / (info.BitRate / 8.0));
        info.IsConstantBitRate = -1;
        info.FrameCount = ToInt32(double(info.Duration) / s * info.SampleRate);
    } else {
        WalkFrames(src, first, info, s);
    }
    ReadId3v1Tag(src, info);
    return 1;
}

uint8_t ReadMp3FileInfo(const std::string& path, Mp3FileInfo& info, const EventPump& pump) {
    if (path.find_first_not_of(' ') == std::string::npos) return 0;
    const std::filesystem::path p(std::u8string(path.begin(), path.end()));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(p, ec)) return 0;
    FileSource src(p);
    return ReadMp3Info(src, info, pump);
}

}  // namespace mp3
