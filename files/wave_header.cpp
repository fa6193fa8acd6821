#include "files/wave_header.h"

#include <cerrno>

#include "files/file_io.h"

namespace files {

namespace {

void put16(uint8_t* at, int16_t v) {
    const auto u = uint16_t(v);
    at[0] = uint8_t(u & 0xff);
    at[1] = uint8_t(u >> 8);
}

void put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}

// Writes a 32-bit little-endian value at `offset`; false on failure.
bool patch32(std::FILE* f, long offset, int32_t value) {
    uint8_t b[4];
    put32(b, uint32_t(value));
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(b, 1, 4, f) == 4;
}

}  // namespace

WaveHeader WaveHeader::forFormat(int channels, int sampleRate, bool eightBit) {
    WaveHeader h;
    h.format.channels = int16_t(channels);
    h.format.sampleRate = int32_t(sampleRate);
    h.format.bitsPerSample = eightBit ? 8 : 16;
    const int16_t bitsProduct = int16_t(h.format.channels * h.format.bitsPerSample);
    // Channel counts and sample sizes give whole bytes here; rounding keeps odd products sane.
    h.format.blockAlign = int16_t((bitsProduct + 4) / 8);
    h.format.bytesPerSecond = int32_t(h.format.blockAlign) * h.format.sampleRate;
    return h;
}

void WaveHeader::setDataSize(uint32_t dataBytes) {
    data.size = int32_t(dataBytes);
    riff.size = int32_t(dataBytes + 36u);
}

std::array<uint8_t, kWaveHeaderBytes> WaveHeader::bytes() const {
    std::array<uint8_t, kWaveHeaderBytes> b{};
    put32(&b[0], riff.tag);
    put32(&b[4], uint32_t(riff.size));
    put32(&b[8], riff.form);
    put32(&b[12], format.tag);
    put32(&b[16], uint32_t(format.chunkSize));
    put16(&b[20], format.formatTag);
    put16(&b[22], format.channels);
    put32(&b[24], uint32_t(format.sampleRate));
    put32(&b[28], uint32_t(format.bytesPerSecond));
    put16(&b[32], format.blockAlign);
    put16(&b[34], format.bitsPerSample);
    put32(&b[36], data.tag);
    put32(&b[40], uint32_t(data.size));
    return b;
}

WaveWriter::WaveWriter(uint32_t maxDataBytes)
    : maxDataBytes_(maxDataBytes > kMaxWaveDataBytes ? kMaxWaveDataBytes : maxDataBytes) {}

WaveWriter::~WaveWriter() {
    finish();
}

bool WaveWriter::create(const std::string& path, const WaveHeader& header) {
    finish();
    header_ = header;
    header_.riff.size = 0;  // both sizes read 0 until finish() patches them
    header_.data.size = 0;
    path_ = path;
    error_.clear();
    dataBytes_ = 0;
    errno = 0;
    file_ = openFile(path, "wb");
    if (!file_) {
        error_ = "Cannot create \"" + path + "\": " + describeError(errno);
        status_ = Status::Closed;
        return false;
    }
    const auto b = header_.bytes();
    if (std::fwrite(b.data(), 1, b.size(), file_) != b.size()) {
        error_ = "Cannot write to \"" + path + "\": " + describeError(errno);
        std::fclose(file_);
        file_ = nullptr;
        status_ = Status::Closed;
        return false;
    }
    status_ = Status::Writing;
    return true;
}

bool WaveWriter::append(const void* data, size_t bytes) {
    if (!file_ || status_ != Status::Writing) return false;
    size_t take = bytes;
    const uint32_t room = maxDataBytes_ - dataBytes_;
    if (take > room) {
        // Stop on a frame boundary so that the file ends with a whole frame.
        const uint32_t align =
            header_.format.blockAlign > 0 ? uint32_t(header_.format.blockAlign) : 1u;
        const uint32_t limit = maxDataBytes_ / align * align;
        take = limit > dataBytes_ ? limit - dataBytes_ : 0;
    }
    errno = 0;
    const size_t written = take ? std::fwrite(data, 1, take, file_) : 0;
    dataBytes_ += uint32_t(written);
    if (written != take) {
        error_ = "Cannot write to \"" + path_ + "\": " + describeError(errno);
        status_ = Status::WriteFailed;
        return false;
    }
    if (take != bytes) {
        error_ = "\"" + path_ +
                 "\" reached the largest size a WAV file can have; it holds the audio up to "
                 "that point.";
        status_ = Status::LimitReached;
        return false;
    }
    return true;
}

bool WaveWriter::finish() {
    if (!file_) return true;
    header_.setDataSize(dataBytes_);
    errno = 0;
    bool ok = std::fflush(file_) == 0 && patch32(file_, kRiffSizeOffset, header_.riff.size) &&
              patch32(file_, kDataSizeOffset, header_.data.size);
    const int patchErrno = errno;
    if (std::fclose(file_) != 0 && ok) {
        ok = false;
    }
    file_ = nullptr;
    if (!ok && (status_ == Status::Writing || status_ == Status::LimitReached)) {
        error_ =
            "Cannot finish \"" + path_ + "\": " + describeError(patchErrno ? patchErrno : errno);
        status_ = Status::WriteFailed;
    }
    if (status_ == Status::Writing) status_ = Status::Closed;
    return ok;
}

}  // namespace files
