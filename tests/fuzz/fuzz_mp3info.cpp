// libFuzzer target for the MP3 header reader: any bytes, from memory (so that the sanitizers see
// every access the reader makes) and, for every 16th input, through a real file.
// The reader never searches files of 4097 bytes or fewer and needs ten chained frames, so the
// target raises libFuzzer's input size and seeds a corpus of small well-formed files.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "mp3/mp3routines.h"
#include "tests/fuzz/fuzz_arguments.h"

namespace {

class MemorySource : public mp3::ByteSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int64_t size() const override { return int64_t(size_); }
    size_t read(int64_t offset, uint8_t* dst, size_t n) override {
        if (offset < 0 || uint64_t(offset) >= size_) return 0;
        const size_t take = std::min(n, size_ - size_t(offset));
        std::memcpy(dst, data_ + offset, take);
        return take;
    }

  private:
    const uint8_t* data_;
    size_t size_;
};

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool sameRecord(const mp3::Mp3FileInfo& a, const mp3::Mp3FileInfo& b) {
    return a.FileLength == b.FileLength && a.Version == b.Version && a.Layer == b.Layer &&
           a.BitRate == b.BitRate && a.FrameCount == b.FrameCount &&
           a.IsConstantBitRate == b.IsConstantBitRate && a.SampleRate == b.SampleRate &&
           a.ChannelMode == b.ChannelMode && a.Duration == b.Duration && a.HasTag == b.HasTag &&
           a.Title == b.Title && a.Comment == b.Comment && a.Genre == b.Genre;
}

void checkRecord(const mp3::Mp3FileInfo& info, uint8_t result) {
    if (result != 1) return;
    check(info.Layer >= 1 && info.Layer <= 3);
    check(info.Version == 1 || info.Version == 2);
    check(info.SampleRate >= 8000 && info.SampleRate <= 48000);
    check(info.ChannelMode <= 3);
    check(info.IsConstantBitRate == 0 || info.IsConstantBitRate == -1);
}

struct Frame {
    uint8_t b1, b2, b3;
    int length;
};

std::vector<uint8_t> frames(std::vector<Frame> kinds, int count, int xingAt = -1) {
    std::vector<uint8_t> out;
    for (int i = 0; i < count; ++i) {
        const Frame& f = kinds[size_t(i) % kinds.size()];
        const size_t at = out.size();
        out.resize(at + size_t(f.length), 0);
        out[at] = 0xFF;
        out[at + 1] = f.b1;
        out[at + 2] = f.b2;
        out[at + 3] = f.b3;
    }
    if (xingAt >= 0) {
        const uint8_t xing[16] = {'X', 'i', 'n',  'g',  0, 0,    0,    15,
                                  0,   0,   0x0F, 0xA0, 0, 0x18, 0x6A, 0};
        std::memcpy(out.data() + xingAt, xing, sizeof xing);
    }
    return out;
}

void seedCorpus(const std::filesystem::path& dir) {
    std::error_code ec;
    if (std::filesystem::exists(dir, ec)) return;
    std::filesystem::create_directories(dir, ec);
    const Frame mpeg1{0xFB, 0x90, 0x00, 417}, mpeg1Fast{0xFB, 0xA0, 0x00, 522},
        mpeg1Mono{0xFB, 0x90, 0xC0, 417}, lsfMono{0xF3, 0x80, 0xC0, 208},
        quarter{0xE3, 0x48, 0x00, 288}, layer1{0xFF, 0x80, 0x00, 276},
        layer2{0xFD, 0x84, 0x00, 384};
    std::vector<std::vector<uint8_t>> seeds = {
        frames({mpeg1}, 14),          frames({mpeg1}, 14, 36),        frames({mpeg1Mono}, 14, 21),
        frames({lsfMono}, 30, 13),    frames({mpeg1, mpeg1Fast}, 14), frames({quarter}, 20),
        frames({layer1, layer1}, 20), frames({layer2}, 16),
    };
    std::vector<uint8_t> tagged = frames({mpeg1}, 14);
    const char tag[] = "TAGABC";
    tagged.resize(tagged.size() + 128, 0);
    std::memcpy(tagged.data() + tagged.size() - 128, tag, 6);
    seeds.push_back(tagged);
    for (size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream f(dir / ("seed" + std::to_string(i)), std::ios::binary);
        f.write(reinterpret_cast<const char*>(seeds[i].data()), std::streamsize(seeds[i].size()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzing::addDefaultArguments(argc, argv, 65536, seedCorpus);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int calls = 0;
    mp3::Mp3FileInfo info;
    int error = 0;
    uint8_t result = 0;
    try {
        MemorySource src(data, size);
        result = mp3::ReadMp3Info(src, info);
        checkRecord(info, result);
    } catch (const mp3::Mp3Error& e) {
        error = e.number();
        check(error == mp3::Mp3Error::Overflow || error == mp3::Mp3Error::DivisionByZero);
    }
    // The file reader (with its block cache) must agree with the memory one.
    if (++calls % 16 == 0) {
        static const std::string path =
            (std::filesystem::temp_directory_path() /
             ("fuzz_mp3info_" + std::to_string(std::random_device{}()) + ".mp3"))
                .string();
        {
            std::ofstream f(path, std::ios::binary | std::ios::trunc);
            f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
        }
        mp3::Mp3FileInfo fromFile;
        int fileError = 0;
        uint8_t fileResult = 0;
        try {
            fileResult = mp3::ReadMp3FileInfo(path, fromFile);
        } catch (const mp3::Mp3Error& e) {
            fileError = e.number();
        }
        check(fileError == error);
        if (!error) check(fileResult == result && sameRecord(info, fromFile));
    }
    return 0;
}
