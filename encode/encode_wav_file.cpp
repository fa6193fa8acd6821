#include "encode/encode_wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "files/file_io.h"
#include "files/wave_header.h"

namespace encode {

namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

files::Result cannotRead(const std::string& what, int errorNumber) {
    return files::Result::failure("cannot read " + what + ": " + files::describeError(errorNumber));
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

}  // namespace

files::Result encodeWavFile(const std::string& wavPath, Format format, const std::string& outPath,
                            const Tags& tags, const std::atomic<bool>* stop,
                            const std::function<void(double)>& progress, uint32_t speakerMask) {
    const FilePtr in(files::openFile(wavPath, "rb"),
                     [](std::FILE* f) { return f ? std::fclose(f) : 0; });
    uint8_t header[files::kWaveHeaderBytes];
    if (!in || std::fread(header, 1, sizeof header, in.get()) != sizeof header)
        return cannotRead("the render \"" + wavPath + "\"", errno ? errno : EIO);
    const int channels = le16(header + 22);
    const int rate = int(le32(header + 24));
    const int bits = le16(header + 34);
    uint64_t left = le32(header + 40);
    const uint64_t total = left;

    OpenRequest request;
    request.path = outPath;
    request.tags = tags;
    request.rate = rate;
    request.channels = channels;
    request.speakerMask = speakerMask;
    std::string error;
    const std::unique_ptr<FileEncoder> encoder = openEncoder(format, request, error);
    if (!encoder) return files::Result::failure(error);

    std::vector<uint8_t> block(1 << 16);
    std::vector<int16_t> wide;
    while (left > 0) {
        if (stop && stop->load()) return files::Result::failure("The encoding was stopped.");
        const size_t want = size_t(std::min<uint64_t>(left, block.size()));
        const size_t n = std::fread(block.data(), 1, want, in.get());
        if (n == 0) return cannotRead("the render \"" + wavPath + "\"", errno ? errno : EIO);
        left -= n;
        bool ok;
        if (bits == 8) {  // unsigned 8-bit: widened to the encoders' 16 bits
            wide.resize(n);
            for (size_t i = 0; i < n; ++i) wide[i] = int16_t((int(block[i]) - 128) * 256);
            ok = encoder->write(reinterpret_cast<const uint8_t*>(wide.data()), n * 2);
        } else {
            ok = encoder->write(block.data(), n);
        }
        if (!ok) return files::Result::failure(encoder->error());
        if (progress) progress(double(total - left) / double(total));
    }
    if (!encoder->finish()) return files::Result::failure(encoder->error());
    return files::Result::success();
}

}  // namespace encode
