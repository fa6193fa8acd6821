// File decoders: libsndfile for WAV, Ogg and the other containers it reads (and the checks of a
// FLAC file, which libFLAC then decodes: flac_source.h); libmpg123 for MP3 (gapless, with a full
// scan so the length is exact to the sample); an Ogg file of chained streams through ogg_chain.h.
// An MP3 whose rate or channel count changes on the way (files joined end to end) plays in its
// first part's format: later parts are remixed and resampled (conformer.h), its length is measured
// by decoding it once at the open, and a seek decodes from the start. Threads: openFileSource and
// describeOpenFailure from any thread; a Source then from one thread at a time (its owner, or the
// decoder worker once it is a channel).
#include <fcntl.h>
#include <mpg123.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/decode/conformer.h"
#include "engine/decode/file_versions.h"
#include "engine/decode/flac_source.h"
#include "engine/decode/ogg_chain.h"
#include "engine/decode/sound_file.h"
#include "engine/engine_ext.h"
#include "engine/vorbis_channels.h"

namespace engine {
namespace {

// Lengths found by reading a whole file: a FLAC or Ogg file that gives none.
FileVersionCache<int64_t>& measuredLengths() {
    static FileVersionCache<int64_t> lengths;
    return lengths;
}

// The WAVE channel mask of `bits` (SoundFile::speakerBits) for `n` channels, when every channel
// has a speaker of WAVE's and they come in WAVE's order; else 0.
uint32_t maskOf(const std::vector<int>& bits, int n) {
    if (n < 1 || n > kMaxChannels || bits.size() != size_t(n)) return 0;
    uint32_t mask = 0;
    int last = -1;
    for (const int bit : bits) {
        if (bit <= last) return 0;  // unknown, repeated or out of WAVE's order
        mask |= 1u << bit;
        last = bit;
    }
    return mask;
}

class SndfileSource : public Source {
  public:
    SndfileSource(std::unique_ptr<SoundFile> f, std::string path)
        : owner_(std::move(f)),
          file_(owner_->get()),
          info_(owner_->info()),
          path_(std::move(path)) {
        const int sub = info_.format & SF_FORMAT_SUBMASK;
        // Vorbis and Opus decode to floats that may lie beyond full scale after the coding:
        // read as floats, they clip (and are counted) rather than wrap round.
        vorbisOrder_ = sub == SF_FORMAT_VORBIS || sub == SF_FORMAT_OPUS;
        floating_ = sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE || vorbisOrder_;
    }
    int rate() const override { return info_.samplerate; }
    int channels() const override { return info_.channels; }
    int64_t lengthFrames() const override { return info_.frames; }
    bool finerThan16Bits() const override {
        const int sub = info_.format & SF_FORMAT_SUBMASK;
        return sub == SF_FORMAT_PCM_24 || sub == SF_FORMAT_PCM_32 || sub == SF_FORMAT_FLOAT ||
               sub == SF_FORMAT_DOUBLE;
    }
    // libsndfile gives no length for some files (a FLAC written to a pipe, which leaves its sample
    // count 0; an Ogg file cut short, without its last page): it is measured by reading the file
    // once, or left 0 (unknown) by a quick look (FileOpen::HeaderOnly). False when the file holds
    // no audio or cannot be read from its start again.
    bool settleLength(FileOpen mode, const std::string& path,
                      const std::optional<FileStamp>& stamped) {
        if (info_.frames != SF_COUNT_MAX) return true;
        if (mode == FileOpen::HeaderOnly) {
            info_.frames = 0;
            return true;
        }
        bool read = false;
        info_.frames = measuredLengths().get(
            path, 0, stamped,
            [&] {
                read = true;
                std::vector<int16_t> scratch(size_t(4096) * size_t(info_.channels));
                int64_t total = 0;
                for (sf_count_t n; (n = sf_readf_short(file_, scratch.data(), 4096)) > 0;)
                    total += n;
                return total;
            },
            [](const int64_t& frames) { return frames > 0; });
        return info_.frames > 0 && (!read || sf_seek(file_, 0, SEEK_SET) == 0);
    }
    int64_t missingFrames() const override { return owner_->missingFrames(); }
    int64_t undecodedFrames() const override { return undecoded_.load(std::memory_order_relaxed); }
    // Frames past the stream libsndfile reads that the file holds but cannot give (the later
    // streams of a chained Ogg file whose headers are damaged).
    void setUnreadable(int64_t frames) { unreadable_ = frames; }
    void setCutOff(bool cutOff) { cutOff_ = cutOff; }
    bool cutOff() const override { return cutOff_; }
    int64_t read(int16_t* dst, int64_t frames) override {
        const sf_count_t n =
            floating_ ? readFloat(dst, frames) : sf_readf_short(file_, dst, frames);
        if (n < 0) return -1;
        if (vorbisOrder_) reorderVorbisChannels(dst, size_t(n), info_.channels, false);
        position_ += n;
        // The end, before the length: a damaged stream (or a WAV cut short, which says so itself),
        // and what the file holds past its first stream that cannot be read.
        if ((n < frames || position_ >= info_.frames) && owner_->missingFrames() == 0) {
            const int64_t undecoded = std::max<int64_t>(0, info_.frames - position_) + unreadable_;
            if (undecoded > 0) undecoded_.store(undecoded, std::memory_order_relaxed);
        }
        return n;
    }
    // libsndfile's seeks into an Ogg Vorbis stream's last page land late (by the samples trimmed
    // from its end): a frame there is reached by reading on from the page before.
    void setLastPageFrom(int64_t frame) { lastPageFrom_ = frame; }
    bool seek(int64_t frame) override {
        const int64_t was = position_;
        if (seekTo(frame)) return true;
        // Refused (a place past where a damaged file's audio ends): the stream goes on from where
        // it was. A decoder that failed a seek may read nothing more, so the file is opened again.
        if (seekTo(was)) return false;
        auto again = std::make_unique<SoundFile>(path_);
        if (again->get() && again->info().channels == info_.channels) {
            owner_ = std::move(again);
            file_ = owner_->get();
            position_ = 0;
            seekTo(was);
        }
        return false;
    }
    int lastError() const override { return BASS_ERROR_FORMAT; }

  private:
    bool seekTo(int64_t frame) {
        const int64_t to = lastPageFrom_ > 0 && frame >= lastPageFrom_ ? lastPageFrom_ - 1 : frame;
        if (sf_seek(file_, to, SEEK_SET) != to) return false;
        position_ = to;
        if (position_ < frame)
            fbuf_.resize(std::max(fbuf_.size(), size_t(4096) * size_t(info_.channels)));
        while (position_ < frame) {
            const sf_count_t n =
                sf_readf_float(file_, fbuf_.data(), std::min<int64_t>(4096, frame - position_));
            if (n <= 0) return false;
            position_ += n;
        }
        return true;
    }

  public:
    // From the channel map libsndfile reads (a WAVE_FORMAT_EXTENSIBLE file's mask, among others),
    // when every channel has a speaker of WAVE's and they come in WAVE's order.
    uint32_t speakerMask() const override {
        if (vorbisOrder_) return 0;  // put into WAVE's order as read: its usual places
        return maskOf(owner_->speakerBits(), info_.channels);
    }

  private:
    // Float samples at unity: 1.0 is full scale, louder samples clip. (libsndfile's own scaling
    // of floats read as integers normalises to the file's peak instead, and without it values are
    // truncated to -1, 0 and 1.) Infinities and NaNs are faults in the file, not sound: silence.
    sf_count_t readFloat(int16_t* dst, int64_t frames) {
        const size_t samples = size_t(frames) * size_t(info_.channels);
        if (fbuf_.size() < samples) fbuf_.resize(samples);
        const sf_count_t n = sf_readf_float(file_, fbuf_.data(), frames);
        int64_t faulty = 0, over = 0;
        for (size_t i = 0, m = size_t(std::max<sf_count_t>(n, 0)) * size_t(info_.channels); i < m;
             ++i) {
            const bool finite = std::isfinite(fbuf_[i]);
            faulty += !finite;
            const float v = finite ? fbuf_[i] * 32768.0f : 0.0f;
            // 1.0 is full scale, not beyond it: it gives 32767, a step under.
            over += v > 32768.0f || v < -32768.0f;
            dst[i] = int16_t(std::lrintf(std::clamp(v, -32768.0f, 32767.0f)));
        }
        if (faulty) faulty_.fetch_add(faulty, std::memory_order_relaxed);
        if (over) over_.fetch_add(over, std::memory_order_relaxed);
        return n;
    }

  public:
    int64_t faultySamples() const override { return faulty_.load(std::memory_order_relaxed); }
    int64_t overSamples() const override { return over_.load(std::memory_order_relaxed); }

  private:
    std::atomic<int64_t> faulty_{0}, over_{0};
    bool vorbisOrder_ = false;  // Vorbis or Opus: its channels come in Vorbis's order
    std::atomic<int64_t> undecoded_{0};
    int64_t unreadable_ = 0;
    bool cutOff_ = false;
    int64_t lastPageFrom_ = 0;
    int64_t position_ = 0;  // the next frame read

    std::unique_ptr<SoundFile> owner_;
    SNDFILE* file_;
    SF_INFO info_;
    std::string path_;  // to open it again after a failed seek
    bool floating_ = false;
    std::vector<float> fbuf_;
};

void initMpg123() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

// The bytes of a file that hold its MPEG audio: all of an MP3; the data chunk of a WAV file
// around it (the chunks after it are no audio, and libmpg123 would decode their bytes as
// damaged frames).
struct MpegBytes {
    int64_t from = 0, to = -1;  // -1: to the file's end
    int64_t missing = 0;        // frames the WAV's data chunk declares beyond the file's end
    bool whole() const { return from == 0 && to < 0; }
};

// MPEG audio in a RIFF WAV file (format tag 0x50, layers I and II, or 0x55, layer III): where its
// data chunk lies. Nothing for any other file.
std::optional<MpegBytes> mpegInWav(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    unsigned char head[12];
    if (!f || std::fread(head, 1, 12, f.get()) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0 || fseeko(f.get(), 0, SEEK_END) != 0)
        return std::nullopt;
    const int64_t fileSize = ftello(f.get());
    const auto le32 = [](const unsigned char* b) {
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    };
    bool mpeg = false;
    uint32_t rate = 0, bytesPerSecond = 0;
    int64_t at = 12;
    for (int chunk = 0; chunk < 64 && at + 8 <= fileSize; ++chunk) {
        unsigned char c[20];
        if (fseeko(f.get(), off_t(at), SEEK_SET) != 0 || std::fread(c, 1, 8, f.get()) != 8)
            return std::nullopt;
        const uint32_t size = le32(c + 4);
        if (std::memcmp(c, "fmt ", 4) == 0) {
            if (size < 12 || std::fread(c + 8, 1, 12, f.get()) != 12) return std::nullopt;
            const unsigned tag = c[8] | c[9] << 8;
            mpeg = tag == 0x50 || tag == 0x55;
            rate = le32(c + 12);
            bytesPerSecond = le32(c + 16);
        } else if (std::memcmp(c, "data", 4) == 0) {
            if (!mpeg) return std::nullopt;
            MpegBytes b;
            b.from = at + 8;
            const int64_t declared = size == 0 || size == 0xFFFFFFFFu ? -1 : int64_t(size);
            b.to = declared < 0 ? fileSize : std::min(b.from + declared, fileSize);
            if (declared > fileSize - b.from && bytesPerSecond > 0)
                b.missing = (declared - (fileSize - b.from)) * int64_t(rate) / bytesPerSecond;
            return b;
        }
        at += 8 + int64_t(size) + (size & 1);
    }
    return std::nullopt;
}

// libmpg123 reading [from, to) of a file as the whole stream.
struct RangeReader {
    std::FILE* file;
    int64_t from, to, pos = 0;
};
mpg123_ssize_t rangeRead(void* handle, void* buf, size_t bytes) {
    auto* r = static_cast<RangeReader*>(handle);
    const int64_t left = r->to - r->from - r->pos;
    if (left <= 0) return 0;
    bytes = size_t(std::min<int64_t>(int64_t(bytes), left));
    if (fseeko(r->file, off_t(r->from + r->pos), SEEK_SET) != 0) return -1;
    const size_t got = std::fread(buf, 1, bytes, r->file);
    if (got == 0 && std::ferror(r->file)) return -1;
    r->pos += int64_t(got);
    return mpg123_ssize_t(got);
}
off_t rangeSeek(void* handle, off_t offset, int whence) {
    auto* r = static_cast<RangeReader*>(handle);
    const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? r->pos : r->to - r->from;
    const int64_t to = base + int64_t(offset);
    if (to < 0) return off_t(-1);
    r->pos = to;
    return off_t(to);
}
void rangeClose(void* handle) {
    auto* r = static_cast<RangeReader*>(handle);
    std::fclose(r->file);
    delete r;
}

// Opens `h` on the MPEG audio of `path`.
bool openOn(mpg123_handle* h, const std::string& path, const MpegBytes& bytes) {
    if (bytes.whole()) return mpg123_open(h, path.c_str()) == MPG123_OK;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    if (mpg123_replace_reader_handle(h, rangeRead, rangeSeek, rangeClose) != MPG123_OK) {
        std::fclose(file);
        return false;
    }
    auto* reader = new RangeReader{file, bytes.from, bytes.to};
    if (mpg123_open_handle(h, reader) == MPG123_OK) return true;
    rangeClose(reader);
    return false;
}

class Mpg123Source : public Source {
  public:
    Mpg123Source(mpg123_handle* h, std::string path, int rate, int chans, int64_t length)
        : h_(h), path_(std::move(path)), rate_(rate), chans_(chans), length_(length) {}
    void setBytes(const MpegBytes& bytes) { bytes_ = bytes; }
    ~Mpg123Source() override {
        mpg123_close(h_);
        mpg123_delete(h_);
    }
    int rate() const override { return rate_; }
    int channels() const override { return chans_; }
    int64_t lengthFrames() const override { return length_; }
    // The frames the encoder's header (its LAME tag) gives beyond what the file holds: an MP3 cut
    // short, as by a broken download.
    int64_t missingFrames() const override { return missing_; }
    void setMissingFrames(int64_t frames) { missing_ = frames; }
    // Frames the header counts that the file's damage lost (set at the open).
    int64_t undecodedFrames() const override { return undecoded_; }
    void setUndecodedFrames(int64_t frames) { undecoded_ = frames; }
    int64_t read(int16_t* dst, int64_t frames) override {
        if (mixed_) return readConverted(dst, frames);
        int64_t got = 0;
        while (got < frames && pos_ < length_) {
            const int64_t want = std::min(frames - got, length_ - pos_);
            size_t done = 0;
            const int rc = mpg123_read(h_, reinterpret_cast<unsigned char*>(dst + got * chans_),
                                       size_t(want) * size_t(chans_) * 2, &done);
            const int64_t f = int64_t(done) / (int64_t(chans_) * 2);
            got += f;
            pos_ += f;
            if (rc == MPG123_NEW_FORMAT) continue;  // the same format again (checked at open)
            if (rc != MPG123_OK) break;             // MPG123_DONE or an error: the end
            if (f == 0) break;
        }
        countClipped();
        return got;
    }
    bool seek(int64_t frame) override {
        if (mixed_) return seekConverted(frame);
        const off_t r = mpg123_seek(h_, off_t(frame + skip_), SEEK_SET);
        mpg123_clip(h_);  // what the frames decoded before the place clipped is not delivered
        if (r < 0) return false;
        pos_ = r - skip_;
        return pos_ == frame;
    }
    // The decoder clips what the coding took beyond full scale (a file mastered up to it).
    int64_t overSamples() const override { return over_.load(std::memory_order_relaxed); }
    int lastError() const override { return BASS_ERROR_FORMAT; }

    // Leaves out the stream's first `frames` (the encoder's delay of a stream decoded without
    // libmpg123's trimming). False when the stream cannot go there.
    bool skipStart(int64_t frames) {
        if (frames <= 0 || frames >= length_) return true;
        skip_ = frames;
        length_ -= frames;
        return seek(0);
    }

    // Leaves out the stream's last `frames`.
    void trimEnd(int64_t frames) {
        if (frames < length_) length_ -= frames;
    }

    // A stream whose format changes on the way (files joined end to end): from here on every part
    // is remixed and resampled to the first part's format, as players do, and the length is what
    // that gives. False when the stream cannot be decoded to its end.
    bool followFormatChanges() {
        mixed_ = true;
        if (!seekConverted(0)) return false;
        length_ = std::numeric_limits<int64_t>::max();
        length_ =
            conform_.discard(-1, [this](int16_t* d, int64_t n) { return readConverted(d, n); });
        over_.store(0, std::memory_order_relaxed);  // measured, not delivered
        return length_ > 0 && seekConverted(0);
    }

  private:
    void countClipped() {
        if (const long n = mpg123_clip(h_); n > 0) over_.fetch_add(n, std::memory_order_relaxed);
    }
    // Decodes the next piece of the stream into the conformer; false at the end.
    bool decodeMore() {
        if (done_) return false;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        off_t num = 0;
        const int rc = mpg123_decode_frame(h_, &num, &audio, &bytes);
        if (rc == MPG123_NEW_FORMAT) {
            long r = 0;
            int c = 0, enc = 0;
            if (mpg123_getformat(h_, &r, &c, &enc) != MPG123_OK) return finish();
            curRate_ = int(r);
            curChans_ = c;
            return true;
        }
        if (rc != MPG123_OK) return finish();  // MPG123_DONE or an error: the end
        const auto* in = reinterpret_cast<const int16_t*>(audio);
        const size_t samples = bytes / 2;
        part_.resize(samples);
        for (size_t i = 0; i < samples; ++i) part_[i] = float(in[i]) / 32768.0f;
        if (!conform_.push(part_.data(), samples / size_t(curChans_), curRate_, curChans_))
            return finish();
        return true;
    }

    bool finish() {
        conform_.finish();
        done_ = true;
        return conform_.ready() > 0;
    }

    int64_t readConverted(int16_t* dst, int64_t frames) {
        const int64_t got =
            conform_.fill(dst, frames, length_ - pos_, [this] { return decodeMore(); });
        pos_ += got;
        countClipped();
        return got;
    }

    // Back to the start, then decoded up to `frame`: the parts' rates make positions in the stream
    // and in the output differ, so only decoding finds where a frame is.
    bool seekConverted(int64_t frame) {
        conform_.reset();
        done_ = false;
        pos_ = 0;
        // From the start, the file opened again: once a later part's format was met, libmpg123's
        // seek counts in that part's frame size (a seek to 0 lands at 576 when a 22.05 kHz part
        // follows a 44.1 kHz one).
        mpg123_close(h_);
        if (!openOn(h_, path_, bytes_)) return false;
        long r = 0;
        int c = 0, enc = 0;
        if (mpg123_getformat(h_, &r, &c, &enc) != MPG123_OK) return false;
        curRate_ = int(r);
        curChans_ = c;
        const int64_t over = over_.load(std::memory_order_relaxed);
        conform_.discard(frame, [this](int16_t* d, int64_t n) { return readConverted(d, n); });
        mpg123_clip(h_);
        over_.store(over, std::memory_order_relaxed);  // what was passed over is not delivered
        return pos_ == frame;
    }

    mpg123_handle* h_;
    std::string path_;
    MpegBytes bytes_;
    int rate_, chans_;
    int64_t length_;
    int64_t missing_ = 0;
    int64_t undecoded_ = 0;
    std::atomic<int64_t> over_{0};
    int64_t pos_ = 0;
    int64_t skip_ = 0;  // frames at the stream's start that are not the file's audio
    // Format-following decoding.
    bool mixed_ = false, done_ = false;
    int curRate_ = 0, curChans_ = 0;
    FormatConformer conform_{rate_, chans_};
    std::vector<float> part_;
};

// The cancel flag of this thread's opens (OpenCancelScope).
thread_local const std::atomic<bool>* t_openCancel = nullptr;

bool openCancelled() {
    return t_openCancel && t_openCancel->load(std::memory_order_relaxed);
}

// Whether the MP3 at `path` changes its rate or channel count on the way. Only the frame headers
// are read; a cancelled open (openCancelled) stops reading, and says so in `*cancelled`.
bool changesFormat(const std::string& path, const MpegBytes& bytes, long rate, int chans,
                   bool* cancelled) {
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h) return false;
    mpg123_param(h, MPG123_FLAGS, MPG123_QUIET, 0.0);
    mpg123_param(h, MPG123_RESYNC_LIMIT, 65536, 0.0);
    bool changes = false;
    if (openOn(h, path, bytes)) {
        for (int rc, n = 0;
             (rc = mpg123_framebyframe_next(h)) == MPG123_OK || rc == MPG123_NEW_FORMAT;) {
            if ((++n & 1023) == 0 && openCancelled()) {
                *cancelled = true;
                break;
            }
            if (rc != MPG123_NEW_FORMAT) continue;
            long r = 0;
            int c = 0, enc = 0;
            if (mpg123_getformat(h, &r, &c, &enc) == MPG123_OK && (r != rate || c != chans)) {
                changes = true;
                break;
            }
        }
        mpg123_close(h);
    }
    mpg123_delete(h);
    return changes;
}

// Size in bytes of the MPEG audio frame (layer II or III) whose header is at p[0..3], of the
// `avail` bytes from p; 0 when p holds no such header. A free-format frame (no bit rate in its
// header) reaches to the next header like it. Layer I, unheard of in files, is left to a file
// behind an ID3v2 tag: the bytes FF FF of plain data (-1 in 16 bits) read as its headers.
int mp3FrameBytes(const unsigned char* p, size_t avail) {
    if (avail < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return 0;
    const int version = (p[1] >> 3) & 3;  // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
    const int layer = (p[1] >> 1) & 3;    // 3 = layer I, 2 = layer II, 1 = layer III
    const int bitrateIdx = p[2] >> 4, srateIdx = (p[2] >> 2) & 3, padding = (p[2] >> 1) & 1;
    if (version == 1 || layer == 0 || layer == 3 || bitrateIdx == 15 || srateIdx == 3) return 0;
    if (bitrateIdx == 0) {
        // Layer III only (free format elsewhere is unheard of). The same version, layer, rate and
        // channels, the padding aside; at most the 2880 bytes of the largest free frame (640
        // kbit/s at 32 kHz), at least the 48 of the smallest.
        if (layer != 1) return 0;
        for (size_t at = 48; at + 4 <= avail && at <= 2881; ++at)
            if (p[at] == p[0] && p[at + 1] == p[1] && (p[at + 2] & 0xFD) == (p[2] & 0xFD) &&
                (p[at + 3] & 0xC0) == (p[3] & 0xC0))
                return int(at);
        return 0;
    }
    static const int kbps[2][2][15] = {
        {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384}},
        {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int rates[] = {44100, 48000, 32000};
    int rate = rates[srateIdx];
    if (version == 2) rate /= 2;
    if (version == 0) rate /= 4;
    const int bitsPerSecond = kbps[version == 3 ? 0 : 1][layer - 1][bitrateIdx] * 1000;
    return (layer == 1 && version != 3 ? 72 : 144) * bitsPerSecond / rate + padding;
}

// True when the file starts like an MP3 (or MPEG layer II): an ID3v2 tag, or within the first
// bytes a layer III frame header followed by another one where the first frame ends. Further in
// (junk or silence before the first frame, up to the 64 kB the decoder searches), three frames in
// a row; of layer II, one more, all of one version and rate; of free format (which plain data can
// look like), four of one size.
bool looksLikeMp3(std::FILE* f) {
    std::vector<unsigned char> buf(65536 + 8192);
    const size_t n = std::fread(buf.data(), 1, buf.size(), f);
    if (n >= 3 && std::memcmp(buf.data(), "ID3", 3) == 0) return true;
    for (size_t i = 0; i + 4 <= n && i < 65536; ++i) {
        const int first = mp3FrameBytes(&buf[i], n - i);
        if (first <= 4) continue;
        const bool free = buf[i + 2] >> 4 == 0, layer3 = ((buf[i + 1] >> 1) & 3) == 1;
        const int wanted = free ? 4 : (i < 4096 ? 2 : 3) + (layer3 ? 0 : 1);
        size_t at = i;
        int frames = 0;
        const auto alike = [&](size_t k) {
            return layer3 ||
                   (buf[k + 1] == buf[i + 1] && (buf[k + 2] & 0x0C) == (buf[i + 2] & 0x0C));
        };
        for (int size; frames < wanted && (size = mp3FrameBytes(&buf[at], n - at)) > 4 &&
                       (!free || std::abs(size - first) <= 1) && alike(at);
             at += size_t(size))
            ++frames;
        if (frames == wanted) return true;
    }
    return false;
}

// The first bytes of the containers read through libsndfile: WAV (RIFF, RIFX, RF64, BW64, Wave64),
// AIFF, FLAC, Ogg, AU, CAF. Anything else is not handed to libsndfile, whose MP3 probing would
// print notes about junk.
bool isKnownContainer(const char* m) {
    if (SoundFile::isWaveMagic(m)) return true;
    for (const char* k : {"RIFX", "riff", "FORM", "fLaC", "OggS", ".snd", "caff"})
        if (std::memcmp(m, k, 4) == 0) return true;
    return false;
}

// What a file's first bytes say it is.
struct FileKind {
    bool readable = false;   // it could be opened
    bool mp3 = false;        // MPEG frames or an ID3v2 tag
    bool container = false;  // a container libsndfile reads
    bool ogg = false;        // an Ogg file
};
FileKind kindOf(const std::string& utf8Path) {
    std::FILE* f = std::fopen(utf8Path.c_str(), "rb");
    if (!f) return {};
    FileKind kind{true, false, false};
    // An ID3v2 tag is an MP3's, unless a container follows it (a tagger wrote one into a FLAC or
    // Ogg file): libmpg123 would find frames in the container's bytes.
    const off_t tag = off_t(id3v2Bytes(f));
    char magic[4] = {};
    kind.container =
        fseeko(f, tag, SEEK_SET) == 0 && std::fread(magic, 1, 4, f) == 4 && isKnownContainer(magic);
    kind.ogg = kind.container && std::memcmp(magic, "OggS", 4) == 0;
    std::rewind(f);
    kind.mp3 = !kind.container && looksLikeMp3(f);
    std::fclose(f);
    return kind;
}

// Why a sound file libsndfile opened is beyond what the engine plays; kind Other when it is not.
FormatRefusal outOfLimits(const SF_INFO& info) {
    if (info.samplerate > kMaxRate) return {FormatRefusal::RateAbove, info.samplerate};
    if (info.samplerate < kMinRate) return {FormatRefusal::RateBelow, info.samplerate};
    if (info.channels > kMaxChannels) return {FormatRefusal::ChannelsAbove, info.channels};
    if (info.frames <= 0) return {FormatRefusal::NoAudio, 0};
    return {};
}

// The full scan of an MP3 (its exact length, the index of its frames, and whether its format
// changes on the way) is done once per file version: every open after the first takes what the
// first found.
class ScanCache {
  public:
    struct Scan {
        off_t length = -1;  // frames, exact; -1 when the scan failed
        bool changesFormat = false;
    };
    // Scans `h` (opened on `path`, stamped before it was opened, first part `rate` and `chans`,
    // trimming when `gapless`) or gives it the index of an earlier scan of the same file.
    Scan scan(mpg123_handle* h, const std::string& path, const MpegBytes& bytes,
              const std::optional<FileStamp>& stamp, long rate, int chans, bool gapless) {
        bool mine = false;
        const Found found = found_.get(
            path, gapless ? 1 : 0, stamp,
            [&] {
                mine = true;
                // The reading that can be given up first, then the library's scan.
                Found f;
                const bool changes = changesFormat(path, bytes, rate, chans, &f.cancelled);
                f.scan = {f.cancelled ? -1 : scanned(h), changes};
                off_t* index = nullptr;
                size_t fill = 0;
                if (f.scan.length > 0 && mpg123_index(h, &index, &f.step, &fill) == MPG123_OK)
                    f.index.assign(index, index + fill);
                return f;
            },
            [](const Found& f) { return !f.cancelled && f.scan.length > 0 && !f.index.empty(); });
        if (mine || (found.scan.length <= 0 && !found.cancelled)) return found.scan;
        if (!found.cancelled && !found.index.empty() &&
            mpg123_set_index(h, const_cast<off_t*>(found.index.data()), found.step,
                             found.index.size()) == MPG123_OK)
            return found.scan;
        // A scan another open gave up: this one reads for itself, unless it is given up too.
        bool cancelled = false;
        const bool changes = changesFormat(path, bytes, rate, chans, &cancelled);
        if (cancelled) return {-1, false};
        return {scanned(h), changes};
    }

  private:
    struct Found {
        Scan scan;
        off_t step = 0;
        std::vector<off_t> index;  // about 1 kB for a 4-minute file
        bool cancelled = false;    // given up (OpenCancelScope): not kept
    };
    static off_t scanned(mpg123_handle* h) {
        return mpg123_scan(h) == MPG123_OK ? mpg123_length(h) : -1;
    }
    FileVersionCache<Found> found_;
};

ScanCache& scanCache() {
    static ScanCache cache;
    return cache;
}

// A handle opened on `path` that decodes to 16-bit samples at every rate, trimming the encoder's
// delay and padding itself when `gapless`; null when the file will not open.
mpg123_handle* openMp3Handle(const std::string& path, const MpegBytes& bytes, bool gapless,
                             int* error) {
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h) {
        *error = BASS_ERROR_MEM;
        return nullptr;
    }
    mpg123_param(h, MPG123_FLAGS, MPG123_QUIET | (gapless ? MPG123_GAPLESS : 0), 0.0);
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
    if (!openOn(h, path, bytes)) {
        mpg123_delete(h);
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    return h;
}

// The stream's first frame as the file holds it: where it starts, where the stream ends, and its
// first bytes (its encoder's header, when it has one).
struct FirstFrame {
    int64_t at = -1, end = -1;
    unsigned char b[64] = {};
};
FirstFrame firstFrameOf(const std::string& path, const MpegBytes& bytes) {
    FirstFrame first;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f || fseeko(f.get(), 0, SEEK_END) != 0) return first;
    const int64_t size = ftello(f.get());
    const int64_t from = bytes.whole() ? id3v2Bytes(f.get()) : bytes.from;
    unsigned char b[4096];
    if (fseeko(f.get(), off_t(from), SEEK_SET) != 0) return first;
    const size_t got = std::fread(b, 1, sizeof b, f.get());
    for (size_t i = 0; i + sizeof first.b <= got; ++i)
        if (mp3FrameBytes(b + i, got - i) > 0) {
            first.at = from + int64_t(i);
            first.end = bytes.to < 0 ? size : std::min(size, bytes.to);
            std::copy_n(b + i, sizeof first.b, first.b);
            break;
        }
    return first;
}

// Whether the first frame is a VBRI header (a Fraunhofer encoder's table of contents in place of a
// LAME tag): libmpg123 decodes it as a frame of silence, which is no audio of the file.
bool isVbri(const FirstFrame& first) {
    return first.at >= 0 && std::memcmp(first.b + 36, "VBRI", 4) == 0;
}

// The bytes of the stream the first frame's Xing or Info header counts (that frame included); -1
// when it counts none.
int64_t xingBytes(const FirstFrame& first) {
    if (first.at < 0) return -1;
    const bool mpeg1 = (first.b[1] & 0x18) == 0x18, mono = (first.b[3] & 0xc0) == 0xc0;
    const unsigned char* x = first.b + (mpeg1 ? (mono ? 21 : 36) : (mono ? 13 : 21));
    if (std::memcmp(x, "Xing", 4) != 0 && std::memcmp(x, "Info", 4) != 0) return -1;
    const auto be32 = [](const unsigned char* p) {
        return int64_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
    };
    const int64_t flags = be32(x + 4);
    if (!(flags & 2)) return -1;
    return be32(x + 8 + ((flags & 1) ? 4 : 0));
}

std::unique_ptr<Source> openMp3(const std::string& path, int* error, FileOpen mode,
                                const MpegBytes& bytes = {}) {
    initMpg123();
    const std::optional<FileStamp> stamp = stampOf(path);  // before the file is opened
    mpg123_handle* h = openMp3Handle(path, bytes, true, error);
    if (!h) return nullptr;
    long rate = 0;
    int chans = 0, enc = 0;
    if (mpg123_getformat(h, &rate, &chans, &enc) != MPG123_OK) {
        mpg123_delete(h);
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    // The length the encoder's header gives (exact when it has a LAME tag, which also gives the
    // encoder's delay; an estimate from the file's size otherwise). A tag without a frame count
    // leaves it an estimate too: exact only when it and the delay and padding make whole frames.
    long delay = -1, padding = -1;
    double unused = 0;
    const int spf = mpg123_spf(h);
    const bool tagged = mpg123_getstate(h, MPG123_ENC_DELAY, &delay, &unused) == MPG123_OK &&
                        delay >= 0 &&
                        mpg123_getstate(h, MPG123_ENC_PADDING, &padding, &unused) == MPG123_OK &&
                        padding >= 0 && spf > 0;
    const off_t declared = tagged ? mpg123_length(h) : -1;
    const bool exactTag = tagged && (declared + delay + padding) % spf == 0;
    // A look at the header takes the first part's format and an estimated length.
    ScanCache::Scan scan = mode == FileOpen::HeaderOnly
                               ? ScanCache::Scan{mpg123_length(h), false}
                               : scanCache().scan(h, path, bytes, stamp, rate, chans, true);
    // A file that holds fewer or more frames than its LAME tag counts (cut short, a tag without a
    // count, files joined end to end): libmpg123's trimming is unreliable there (it drops it
    // for fewer, and seeks wrongly past the counted end for more). Such a file is decoded whole
    // and only the encoder's delay, which the tag still gives rightly, is left out here (the
    // decoder adds 529 samples to it).
    const bool ownTrim = mode == FileOpen::Exact && declared > 0 && scan.length > 0 &&
                         scan.length != declared && !scan.changesFormat;
    if (ownTrim) {
        mpg123_close(h);
        mpg123_delete(h);
        h = openMp3Handle(path, bytes, false, error);
        if (!h) return nullptr;
        scan = scanCache().scan(h, path, bytes, stamp, rate, chans, false);
    }
    if (scan.length <= 0 || rate <= 0 || chans < 1 || chans > 2 ||
        mpg123_seek(h, 0, SEEK_SET) != 0) {
        mpg123_close(h);
        mpg123_delete(h);
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    auto source = std::make_unique<Mpg123Source>(h, path, int(rate), chans, int64_t(scan.length));
    source->setBytes(bytes);
    // A VBRI header decodes as one frame of silence before the audio.
    if (!tagged && spf > 0 && !scan.changesFormat && isVbri(firstFrameOf(path, bytes)) &&
        !source->skipStart(spf)) {
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    if (ownTrim && !source->skipStart(int64_t(delay) + 529)) {
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    // More frames than counted: the encoder's padding is at the stream's end, less the 529
    // samples the decoder's delay took.
    if (ownTrim && exactTag && scan.length > declared + delay + padding)
        source->trimEnd(std::max(0L, padding - 529));
    // More than a frame short of an exact tag's length: the file was cut short, and says so; or,
    // when it holds all the bytes its header counts, it lost frames on the way (damaged).
    if (mode == FileOpen::Exact && exactTag && declared - source->lengthFrames() > spf) {
        const FirstFrame first = firstFrameOf(path, bytes);
        const int64_t counted = xingBytes(first);
        if (counted > 0 && first.end - first.at >= counted)
            source->setUndecodedFrames(int64_t(declared) - source->lengthFrames());
        else
            source->setMissingFrames(int64_t(declared) - source->lengthFrames());
    } else if (bytes.missing > 0)
        source->setMissingFrames(bytes.missing);
    if (scan.changesFormat && !source->followFormatChanges()) {
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    return source;
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

FormatRefusal whyFormatRefused(const std::string& utf8Path) {
    if (!describeOpenFailure(utf8Path).empty()) return {};  // a FIFO would block the header read
    // Sound files of the containers the engine reads; not an MP3, whose refusal has other causes.
    if (!kindOf(utf8Path).container) return {};
    SoundFile sf(utf8Path);
    // libsndfile opens no WAV of more than 1024 channels: its header tells.
    if (!sf.get() && sf.wavChannels() > kMaxChannels)
        return {FormatRefusal::ChannelsAbove, sf.wavChannels()};
    if (!sf.get() || (sf.info().format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) return {};
    if (const FormatRefusal first = outOfLimits(sf.info()); first.kind != FormatRefusal::Other)
        return first;
    // A later stream of a chained Ogg file.
    FormatRefusal later;
    if (kindOf(utf8Path).ogg) {
        int error = BASS_OK;
        OggFirstStream ogg;
        openOggChain(utf8Path, &error, FileOpen::HeaderOnly, &ogg, &later);
    }
    return later;
}

bool isMp3File(const std::string& utf8Path) {
    return describeOpenFailure(utf8Path).empty() && kindOf(utf8Path).mp3;
}

OpenCancelScope::OpenCancelScope(const std::atomic<bool>* cancel) : previous_(t_openCancel) {
    t_openCancel = cancel;
}

OpenCancelScope::~OpenCancelScope() {
    t_openCancel = previous_;
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
    const FileKind kind = kindOf(utf8Path);
    if (!kind.readable) {
        *error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    const bool mp3 = kind.mp3;
    if (!mp3 && !kind.container) {
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }

    // Not a container libsndfile reads: its own MPEG reader would only print libmpg123's notes.
    if (mp3) return openMp3(utf8Path, error, mode);
    OggFirstStream ogg;
    if (kind.ogg) {
        auto chain = openOggChain(utf8Path, error, mode, &ogg);
        if (chain || *error != BASS_OK) return chain;
    }
    // MPEG audio in a WAV is decoded by libmpg123 itself, over the data chunk: libsndfile's reader
    // of it stops at the first damaged frame, with the length estimated from the file's size,
    // prints libmpg123's notes, and does not take layers I and II.
    if (const std::optional<MpegBytes> bytes = mpegInWav(utf8Path))
        return openMp3(utf8Path, error, mode, *bytes);
    const std::optional<FileStamp> stamp = stampOf(utf8Path);  // before the file is opened
    auto sf = std::make_unique<SoundFile>(utf8Path);
    if (sf->get()) {
        const SF_INFO& info = sf->info();
        const int major = info.format & SF_FORMAT_TYPEMASK, sub = info.format & SF_FORMAT_SUBMASK;
        // MPEG audio in another container (an RF64 file): decoded by libmpg123 on the whole file.
        const bool mpeg = major == SF_FORMAT_MPEG || sub == SF_FORMAT_MPEG_LAYER_I ||
                          sub == SF_FORMAT_MPEG_LAYER_II || sub == SF_FORMAT_MPEG_LAYER_III;
        if (!mpeg && info.channels > 0 && info.samplerate > 0 &&
            outOfLimits(info).kind == FormatRefusal::Other) {
            // FLAC through libFLAC, which keeps each frame in its place past damage.
            if (major == SF_FORMAT_FLAC) {
                const uint32_t mask = maskOf(sf->speakerBits(), info.channels);
                const SF_INFO flac = info;
                sf.reset();
                if (auto source = openFlacSource(flac, utf8Path, mode, stamp, mask)) return source;
                *error = BASS_ERROR_FORMAT;
                return nullptr;
            }
            // Every format is read as 16-bit (8-bit scaled up, float scaled from +-1.0).
            auto source = std::make_unique<SndfileSource>(std::move(sf), utf8Path);
            // Audio lost at the start (damaged pages passed over) shortens the length libsndfile
            // gives: what the last page gives and what it gives differ by what was lost.
            int64_t lostAtStart =
                std::max<int64_t>(0, int64_t(ogg.startLostUpTo * info.samplerate) - info.frames);
            if (ogg.startLostAtMost > 0)
                lostAtStart = std::min(lostAtStart, int64_t(ogg.startLostAtMost * info.samplerate));
            source->setUnreadable(int64_t(ogg.unreadableSeconds * info.samplerate) + lostAtStart);
            source->setLastPageFrom(ogg.lastPageFrom);
            source->setCutOff(ogg.cutOff);
            if (source->settleLength(mode, utf8Path, stamp)) return source;
            *error = BASS_ERROR_FORMAT;
            return nullptr;
        }
        const int64_t missing = sf->missingFrames();
        sf.reset();
        if (mpeg) return openMp3(utf8Path, error, mode, MpegBytes{0, -1, missing});
    }
    *error = BASS_ERROR_FORMAT;
    return nullptr;
}

}  // namespace engine
