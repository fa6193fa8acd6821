#include "files/wave_header.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "files/fault_injection.h"
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

// Writes a 32-bit little-endian value at `offset`; 0 or the error number.
int patch32(std::FILE* f, long offset, int32_t value) {
    uint8_t b[4];
    put32(b, uint32_t(value));
    errno = 0;
    if (std::fseek(f, offset, SEEK_SET) != 0) return errno ? errno : EIO;
    return writeFile(f, b, 4).error;
}

// The largest channel count whose bits per frame (channels x 16) still fit a signed 16-bit
// number, as the header's block align and the computation of it need.
constexpr int kMaxChannels = 32767 / 16;

bool describable(int channels, int sampleRate, bool eightBit) {
    if (channels < 1 || channels > kMaxChannels || sampleRate < 1) return false;
    const int64_t bytesPerSecond = int64_t(channels) * (eightBit ? 1 : 2) * int64_t(sampleRate);
    return bytesPerSecond <= INT32_MAX;
}

}  // namespace

WaveHeader WaveHeader::forFormat(int channels, int sampleRate, bool eightBit) {
    WaveHeader h;
    if (!describable(channels, sampleRate, eightBit)) {
        // Marked unusable: WaveWriter::create refuses it.
        h.format.channels = 0;
        h.format.sampleRate = 0;
        h.format.blockAlign = 0;
        h.format.bytesPerSecond = 0;
        h.format.bitsPerSample = eightBit ? 8 : 16;
        return h;
    }
    h.format.channels = int16_t(channels);
    h.format.sampleRate = int32_t(sampleRate);
    h.format.bitsPerSample = eightBit ? 8 : 16;
    const int bitsProduct = int(h.format.channels) * h.format.bitsPerSample;
    // Channel counts and sample sizes give whole bytes here; rounding keeps odd products sane.
    h.format.blockAlign = int16_t((bitsProduct + 4) / 8);
    h.format.bytesPerSecond = int32_t(int64_t(h.format.blockAlign) * h.format.sampleRate);
    return h;
}

bool WaveHeader::isDescribable() const {
    return format.bitsPerSample > 0 &&
           describable(format.channels, format.sampleRate, format.bitsPerSample == 8) &&
           format.blockAlign == format.channels * format.bitsPerSample / 8 &&
           int64_t(format.bytesPerSecond) == int64_t(format.blockAlign) * format.sampleRate;
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
    if (!header_.isDescribable()) {
        error_ = "Cannot create \"" + path +
                 "\": a WAV file cannot describe audio with this many channels at this rate.";
        status_ = Status::Closed;
        return false;
    }
    errno = 0;
    file_ = openFile(path, "wb");
    if (!file_) {
        error_ = "Cannot create \"" + path + "\": " + describeError(errno);
        status_ = Status::Closed;
        return false;
    }
    const auto b = header_.bytes();
    if (const IoResult w = writeFile(file_, b.data(), b.size()); w.error) {
        error_ = "Cannot write to \"" + path + "\": " + describeError(w.error);
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
    const IoResult written = take ? writeFile(file_, data, take) : IoResult{};
    dataBytes_ += uint32_t(written.bytes);
    if (written.error) {
        error_ = "Cannot write to \"" + path_ + "\": " + describeError(written.error);
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

void WaveWriter::fail(const std::string& what, int errorNumber) {
    if (status_ == Status::WriteFailed) return;  // the first failure is the one to tell
    error_ = what + " \"" + path_ + "\": " + describeError(errorNumber);
    status_ = Status::WriteFailed;
}

bool WaveWriter::finish() {
    if (!file_) return status_ != Status::WriteFailed;
    // Bytes the stream accepted may still fail to reach the disk: flush, close, and then count
    // what the file really holds, so that the header never claims more than is there.
    if (const int e = flushFile(file_)) fail("Cannot write to", e);
    errno = 0;
    if (std::fclose(file_) != 0) fail("Cannot write to", errno ? errno : EIO);
    file_ = nullptr;

    namespace fs = std::filesystem;
    const fs::path p = pathFromUtf8(path_);
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) {
        const uintmax_t size = fs::file_size(p, ec);
        if (!ec && size >= kWaveHeaderBytes) {
            const uintmax_t onDisk = size - kWaveHeaderBytes;
            if (onDisk < dataBytes_) {
                // Cut off: keep the whole frames that did get stored.
                const uint32_t align =
                    header_.format.blockAlign > 0 ? uint32_t(header_.format.blockAlign) : 1u;
                dataBytes_ = uint32_t(onDisk) / align * align;
            }
            if (onDisk != dataBytes_) fs::resize_file(p, kWaveHeaderBytes + dataBytes_, ec);
            header_.setDataSize(dataBytes_);
            errno = 0;
            if (std::FILE* f = openFile(path_, "r+b")) {
                int e = patch32(f, kRiffSizeOffset, header_.riff.size);
                if (!e) e = patch32(f, kDataSizeOffset, header_.data.size);
                if (!e) e = flushFile(f);
                errno = 0;
                if (std::fclose(f) != 0 && !e) e = errno ? errno : EIO;
                if (e) fail("Cannot finish", e);
            } else {
                fail("Cannot finish", errno);
            }
        } else if (status_ != Status::WriteFailed) {
            fail("Cannot finish", ec ? ec.value() : EIO);
        }
    } else {
        header_.setDataSize(dataBytes_);
    }
    if (status_ == Status::Writing) status_ = Status::Closed;
    return status_ != Status::WriteFailed;
}

}  // namespace files
