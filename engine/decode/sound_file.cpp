#include "engine/decode/sound_file.h"

#include <sys/types.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace engine {
namespace {

// libsndfile's virtual I/O over a stdio stream whose first four bytes read as "RF64".
sf_count_t vLength(void* user) {
    auto* f = static_cast<std::FILE*>(user);
    const off_t at = ftello(f);
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    const off_t end = ftello(f);
    fseeko(f, at, SEEK_SET);
    return end;
}
sf_count_t vSeek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<std::FILE*>(user);
    if (fseeko(f, off_t(offset), whence) != 0) return -1;
    return ftello(f);
}
sf_count_t vRead(void* ptr, sf_count_t count, void* user) {
    auto* f = static_cast<std::FILE*>(user);
    const off_t at = ftello(f);
    const size_t n = std::fread(ptr, 1, size_t(count), f);
    for (off_t i = std::max<off_t>(at, 0); i < 4 && i < at + off_t(n); ++i)
        static_cast<char*>(ptr)[i - at] = "RF64"[i];
    return sf_count_t(n);
}
sf_count_t vWrite(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t vTell(void* user) {
    return ftello(static_cast<std::FILE*>(user));
}

}  // namespace

bool SoundFile::isWaveMagic(const char* m) {
    return std::memcmp(m, "RIFF", 4) == 0 || std::memcmp(m, "RF64", 4) == 0 ||
           std::memcmp(m, "BW64", 4) == 0;
}

SoundFile::SoundFile(const std::string& utf8Path) {
    std::FILE* f = std::fopen(utf8Path.c_str(), "rb");
    char magic[4] = {};
    const bool bw64 = f && std::fread(magic, 1, 4, f) == 4 && std::memcmp(magic, "BW64", 4) == 0;
    if (!bw64) {
        if (f) std::fclose(f);
        sf_ = sf_open(utf8Path.c_str(), SFM_READ, &info_);
        return;
    }
    file_ = f;
    std::rewind(file_);
    static SF_VIRTUAL_IO io{vLength, vSeek, vRead, vWrite, vTell};
    sf_ = sf_open_virtual(&io, SFM_READ, &info_, file_);
}

int64_t SoundFile::countNonFinite() {
    const int sub = info_.format & SF_FORMAT_SUBMASK;
    if (!sf_ || (sub != SF_FORMAT_FLOAT && sub != SF_FORMAT_DOUBLE) || info_.channels < 1) return 0;
    std::vector<double> buf(size_t(info_.channels) * 8192);
    int64_t count = 0;
    for (sf_count_t n; (n = sf_readf_double(sf_, buf.data(), 8192)) > 0;)
        for (size_t i = 0; i < size_t(n) * size_t(info_.channels); ++i)
            count += !std::isfinite(buf[i]);
    return count;
}

SoundFile::~SoundFile() {
    if (sf_) sf_close(sf_);
    if (file_) std::fclose(file_);
}

}  // namespace engine
