// File decoders: libsndfile for WAV, FLAC, Ogg and the other containers it reads; libmpg123 for
// MP3 (gapless, with a full scan so the length is exact to the sample).
// Threads: openFileSource and describeOpenFailure from any thread; a Source then from one thread at
// a time (its owner, or the decoder worker once it is a channel).
#include <fcntl.h>
#include <mpg123.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine/engine_ext.h"

namespace engine {
namespace {

class SndfileSource : public Source {
  public:
    SndfileSource(SNDFILE* f, const SF_INFO& info) : file_(f), info_(info) {
        const int sub = info.format & SF_FORMAT_SUBMASK;
        floating_ = sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
    }
    ~SndfileSource() override { sf_close(file_); }
    int rate() const override { return info_.samplerate; }
    int channels() const override { return info_.channels; }
    int64_t lengthFrames() const override { return info_.frames; }
    int64_t read(int16_t* dst, int64_t frames) override {
        const sf_count_t n =
            floating_ ? readFloat(dst, frames) : sf_readf_short(file_, dst, frames);
        if (n < 0) return -1;
        if (n < frames && sf_error(file_) != SF_ERR_NO_ERROR) {
            // A damaged stream: deliver what was read, then report the end.
            if (n == 0) return 0;
        }
        return n;
    }
    bool seek(int64_t frame) override { return sf_seek(file_, frame, SEEK_SET) == frame; }
    int lastError() const override { return BASS_ERROR_FORMAT; }

  private:
    // Float samples at unity: 1.0 is full scale, louder samples clip. (libsndfile's own scaling
    // of floats read as integers normalises to the file's peak instead, and without it values are
    // truncated to -1, 0 and 1.)
    sf_count_t readFloat(int16_t* dst, int64_t frames) {
        const size_t samples = size_t(frames) * size_t(info_.channels);
        if (fbuf_.size() < samples) fbuf_.resize(samples);
        const sf_count_t n = sf_readf_float(file_, fbuf_.data(), frames);
        for (size_t i = 0, m = size_t(std::max<sf_count_t>(n, 0)) * size_t(info_.channels); i < m;
             ++i) {
            const float v = std::isnan(fbuf_[i]) ? 0.0f : fbuf_[i] * 32768.0f;
            dst[i] = int16_t(std::lrintf(std::clamp(v, -32768.0f, 32767.0f)));
        }
        return n;
    }

    SNDFILE* file_;
    SF_INFO info_;
    bool floating_ = false;
    std::vector<float> fbuf_;
};

void initMpg123() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

class Mpg123Source : public Source {
  public:
    explicit Mpg123Source(mpg123_handle* h, int rate, int chans, int64_t length)
        : h_(h), rate_(rate), chans_(chans), length_(length) {}
    ~Mpg123Source() override {
        mpg123_close(h_);
        mpg123_delete(h_);
    }
    int rate() const override { return rate_; }
    int channels() const override { return chans_; }
    int64_t lengthFrames() const override { return length_; }
    int64_t read(int16_t* dst, int64_t frames) override {
        int64_t got = 0;
        while (got < frames && pos_ < length_) {
            const int64_t want = std::min(frames - got, length_ - pos_);
            size_t done = 0;
            const int rc = mpg123_read(h_, reinterpret_cast<unsigned char*>(dst + got * chans_),
                                       size_t(want) * size_t(chans_) * 2, &done);
            const int64_t f = int64_t(done) / (int64_t(chans_) * 2);
            got += f;
            pos_ += f;
            if (rc == MPG123_NEW_FORMAT) continue;  // format is fixed; keep reading
            if (rc != MPG123_OK) break;             // MPG123_DONE or an error: the end
            if (f == 0) break;
        }
        return got;
    }
    bool seek(int64_t frame) override {
        const off_t r = mpg123_seek(h_, off_t(frame), SEEK_SET);
        if (r < 0) return false;
        pos_ = r;
        return r == frame;
    }
    int lastError() const override { return BASS_ERROR_FORMAT; }

  private:
    mpg123_handle* h_;
    int rate_, chans_;
    int64_t length_;
    int64_t pos_ = 0;
};

// Size in bytes of the MPEG layer III frame whose header is at p[0..3], or 0 when p holds no
// such header.
int mp3FrameBytes(const unsigned char* p) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return 0;
    const int version = (p[1] >> 3) & 3;  // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
    const int layer = (p[1] >> 1) & 3;    // 1 = layer III
    const int bitrateIdx = p[2] >> 4, srateIdx = (p[2] >> 2) & 3, padding = (p[2] >> 1) & 1;
    if (version == 1 || layer != 1 || bitrateIdx == 0 || bitrateIdx == 15 || srateIdx == 3)
        return 0;
    static const int kbpsV1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kbpsV2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int rates[] = {44100, 48000, 32000};
    int rate = rates[srateIdx];
    if (version == 2) rate /= 2;
    if (version == 0) rate /= 4;
    const int kbps = version == 3 ? kbpsV1[bitrateIdx] : kbpsV2[bitrateIdx];
    return (version == 3 ? 144 : 72) * kbps * 1000 / rate + padding;
}

// True when the file starts like an MP3: an ID3v2 tag, or within the first bytes a layer III frame
// header followed by another one where the first frame ends.
bool looksLikeMp3(std::FILE* f) {
    unsigned char buf[8192];
    const size_t n = std::fread(buf, 1, sizeof buf, f);
    if (n >= 3 && std::memcmp(buf, "ID3", 3) == 0) return true;
    for (size_t i = 0; i + 4 <= n && i < 4096; ++i) {
        const int size = mp3FrameBytes(buf + i);
        if (size > 4 && i + size_t(size) + 4 <= n && mp3FrameBytes(buf + i + size_t(size)) > 0)
            return true;
    }
    return false;
}

// The first bytes of the containers read through libsndfile: WAV (RIFF, RIFX, RF64, Wave64),
// AIFF, FLAC, Ogg, AU, CAF. Anything else is not handed to libsndfile, whose MP3 probing would
// print notes about junk.
bool isKnownContainer(const char* m) {
    for (const char* k : {"RIFF", "RIFX", "RF64", "riff", "FORM", "fLaC", "OggS", ".snd", "caff"})
        if (std::memcmp(m, k, 4) == 0) return true;
    return false;
}

// The full scan of an MP3 (its exact length and the index of its frames) is done once per file:
// the waveform, the key, Play and the BPM detection each open the file, and every open after the
// first takes the index of the first. The lock makes a second open of a file being scanned wait
// for that scan rather than do its own.
class ScanCache {
  public:
    // Scans `h` (opened on `path`) or gives it the index of an earlier scan of the same file; the
    // exact length in frames, or -1 when the scan failed.
    off_t scan(mpg123_handle* h, const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return scanned(h);
        const Stamp stamp{st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_ino};
        std::lock_guard lock(mutex_);
        for (Entry& e : entries_)
            if (e.path == path && e.stamp == stamp &&
                mpg123_set_index(h, e.index.data(), e.step, e.index.size()) == MPG123_OK)
                return e.length;
        const off_t length = scanned(h);
        off_t* index = nullptr;
        off_t step = 0;
        size_t fill = 0;
        if (length <= 0 || mpg123_index(h, &index, &step, &fill) != MPG123_OK) return length;
        if (entries_.size() >= kKept) entries_.erase(entries_.begin());
        entries_.push_back({path, stamp, length, step, std::vector<off_t>(index, index + fill)});
        return length;
    }

  private:
    struct Stamp {
        off_t size;
        time_t seconds;
        long nanoseconds;
        ino_t inode;
        bool operator==(const Stamp&) const = default;
    };
    struct Entry {
        std::string path;
        Stamp stamp;
        off_t length;
        off_t step;
        std::vector<off_t> index;
    };
    static off_t scanned(mpg123_handle* h) {
        return mpg123_scan(h) == MPG123_OK ? mpg123_length(h) : -1;
    }
    static constexpr size_t kKept = 8;  // files; the index of a 4-minute file is about 1 kB
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

ScanCache& scanCache() {
    static ScanCache cache;
    return cache;
}

std::unique_ptr<Source> openMp3(const std::string& path, int* error, FileOpen mode) {
    initMpg123();
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h) {
        *error = BASS_ERROR_MEM;
        return nullptr;
    }
    mpg123_param(h, MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    // Refuse junk: a real MP3 has its first frame near the start.
    mpg123_param(h, MPG123_RESYNC_LIMIT, 65536, 0.0);
    // Decode enough frames before a seek target to refill the bit reservoir (up to 511 bytes back,
    // which spans 8 small frames of a low-rate VBR file): seeks are exact to the sample.
    mpg123_param(h, MPG123_PREFRAMES, 16, 0.0);
    mpg123_format_none(h);
    const long* rates = nullptr;
    size_t nrates = 0;
    mpg123_rates(&rates, &nrates);
    for (size_t i = 0; i < nrates; ++i)
        mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    long rate = 0;
    int chans = 0, enc = 0;
    if (mpg123_open(h, path.c_str()) != MPG123_OK ||
        mpg123_getformat(h, &rate, &chans, &enc) != MPG123_OK) {
        mpg123_delete(h);
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    const off_t length =
        mode == FileOpen::HeaderOnly ? mpg123_length(h) : scanCache().scan(h, path);
    if (length <= 0 || rate <= 0 || chans < 1 || chans > 2 || mpg123_seek(h, 0, SEEK_SET) != 0) {
        mpg123_close(h);
        mpg123_delete(h);
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    return std::make_unique<Mpg123Source>(h, int(rate), chans, int64_t(length));
}

}  // namespace

std::string describeOpenFailure(const std::string& utf8Path) {
    struct stat st {};
    if (::stat(utf8Path.c_str(), &st) != 0) {
        if (errno == EACCES) return "permission denied";
        if (errno == ENOENT || errno == ENOTDIR) return "no such file";
        return std::strerror(errno);
    }
    if (!S_ISREG(st.st_mode)) return "is not a regular file";
    // Non-blocking, in case the path was swapped for a FIFO since stat().
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EACCES ? "permission denied" : std::strerror(errno);
    ::close(fd);
    return {};
}

std::unique_ptr<Source> openFileSource(const std::string& utf8Path, int* error, FileOpen mode) {
    int dummy = 0;
    if (!error) error = &dummy;
    *error = BASS_OK;
    // A FIFO, device or folder would block the open or the reads, or never end.
    if (!describeOpenFailure(utf8Path).empty()) {
        *error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    std::FILE* f = std::fopen(utf8Path.c_str(), "rb");
    if (!f) {
        *error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    const bool mp3 = looksLikeMp3(f);
    std::rewind(f);
    char magic[4] = {};
    const bool container = std::fread(magic, 1, 4, f) == 4 && isKnownContainer(magic);
    std::fclose(f);
    if (!mp3 && !container) {
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }

    if (mp3) {
        auto source = openMp3(utf8Path, error, mode);
        if (source) return source;
    }
    SF_INFO info{};
    SNDFILE* sf = sf_open(utf8Path.c_str(), SFM_READ, &info);
    if (sf) {
        const int major = info.format & SF_FORMAT_TYPEMASK;
        if (major != SF_FORMAT_MPEG && info.channels > 0 && info.channels <= kMaxChannels &&
            info.samplerate > 0 && info.samplerate <= kMaxRate && info.frames > 0) {
            // Every format is read as 16-bit (8-bit scaled up, float scaled from +-1.0).
            return std::make_unique<SndfileSource>(sf, info);
        }
        sf_close(sf);
        if (major == SF_FORMAT_MPEG && !mp3) return openMp3(utf8Path, error, mode);
    }
    *error = BASS_ERROR_FORMAT;
    return nullptr;
}

}  // namespace engine
