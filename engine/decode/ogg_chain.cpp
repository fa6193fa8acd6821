#include "engine/decode/ogg_chain.h"

#include <ogg/ogg.h>
#include <opusfile.h>
#include <vorbis/vorbisfile.h>

#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "engine/decode/conformer.h"
#include "engine/vorbis_channels.h"

namespace engine {
namespace {

enum class Codec { Other, Vorbis, Opus };

// What the file's Ogg pages say: the codec of its first stream, and whether another stream begins
// after the first one's data (a chain; streams multiplexed side by side all begin at the start).
// Only the page headers and the first bytes of each page are read; damage between pages (a lost
// piece, junk between two joined files) is passed over to the next page, as the codec libraries do.
struct OggLayout {
    Codec codec = Codec::Other;
    bool chained = false;
    // A stream after the first whose second page does not begin with the codec's comment header:
    // its headers are damaged, and the codec's library would refuse the whole chain.
    bool laterHeadersLost = false;
    // The seconds of the streams after the first, from their pages alone: each stream's last
    // granule position at its rate (Vorbis: its identification header's; Opus: 48 kHz less its
    // pre-skip).
    double laterSeconds = 0;
    // The granule position where the first stream's last page starts (its page before's): 0 when
    // it has fewer than two pages of audio.
    int64_t lastPageFrom = 0;
    // The file ends inside a page (a download or copy cut short): what came after is lost.
    bool cutOff = false;
    // Pages of the first stream lost before its first page of audio that remains (damaged and
    // passed over); the seconds the stream's last granule position gives, its pre-skip taken.
    bool startLost = false;
    double firstStreamSeconds = 0;
    // What those damaged pages can have held at most: their count times the span of the first
    // page whole after them (0: not known). The last page's count says too much of a stream
    // recorded from the middle of a broadcast, which does not begin at 0.
    double startLostAtMost = 0;
    // An Opus stream whose first page of audio ends well past where a stream begun at 0 would end
    // one (a recording of a broadcast begun in its middle): libsndfile plays it late by its
    // pre-skip and loses as much of its end.
    bool opusStartsLate = false;
    // Where each run of streams of one codec starts in the file: more than one when Vorbis and
    // Opus streams follow each other (each codec's library reads only its own).
    struct Part {
        Codec codec;
        off_t from;
    };
    std::vector<Part> parts;
};

// From the file's position to the next page's start; false when no page follows.
bool syncToPage(std::FILE* f) {
    static constexpr char kCapture[] = "OggS";
    int matched = 0, c;
    while ((c = std::fgetc(f)) != EOF) {
        matched = c == kCapture[matched] ? matched + 1 : c == kCapture[0] ? 1 : 0;
        if (matched == 4) return fseeko(f, -4, SEEK_CUR) == 0;
    }
    return false;
}

// One Ogg page as the walk meets it: its header, and the first bytes of its body (for the first
// page of a stream, the codec's identification header).
struct Page {
    off_t at = 0;            // where it starts in the file
    bool begins = false;     // the first page of a stream
    bool continues = false;  // its body goes on with a packet begun on the page before
    uint32_t serial = 0;
    int64_t granule = -1;  // -1: no packet ends on this page
    bool damaged = false;  // its checksum is wrong (looked at on the file's first pages only)
    unsigned char packet[19] = {};
    size_t packetBytes = 0;
};

// The pages at the file's start whose checksums are looked at (libogg passes over a page whose
// checksum is wrong): those of the headers and of the first audio.
constexpr int kCheckedPages = 8;

// Whether the page (its header of 27 bytes and `count` lacing values, and its body) has the
// checksum it says it has.
bool checksumHolds(const unsigned char* head, const unsigned char* segments, size_t count,
                   const std::vector<unsigned char>& body) {
    std::vector<unsigned char> header(head, head + 27);
    header.insert(header.end(), segments, segments + count);
    std::fill_n(header.begin() + 22, 4, 0);
    ogg_page page{header.data(), long(header.size()), const_cast<unsigned char*>(body.data()),
                  long(body.size())};
    ogg_page_checksum_set(&page);
    return std::equal(header.begin() + 22, header.begin() + 26, head + 22);
}

// Calls `visit(page)` for each page of the file from its start, passing over damage between pages
// to the next page, until `visit` returns false or the file ends. Only the page headers and the
// first bytes of each body are read, and the whole of the first few. True when the file ends
// inside a page.
template <class Visit>
bool walkPages(const std::string& path, Visit&& visit) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    off_t size = -1;
    if (fseeko(f, 0, SEEK_END) == 0) size = ftello(f);
    std::rewind(f);
    bool cutOff = false;
    unsigned char head[27], segments[255];
    std::vector<unsigned char> whole;
    int pages = 0;
    for (size_t got; (got = std::fread(head, 1, sizeof head, f)) > 0;) {
        if (got < sizeof head) {
            cutOff = std::memcmp(head, "OggS", std::min<size_t>(got, 4)) == 0;
            break;
        }
        if (std::memcmp(head, "OggS", 4) != 0) {
            if (fseeko(f, 1 - off_t(sizeof head), SEEK_CUR) != 0 || !syncToPage(f)) break;
            continue;
        }
        const size_t count = head[26];
        if (std::fread(segments, 1, count, f) != count) {
            cutOff = true;
            break;
        }
        off_t body = 0;
        for (size_t i = 0; i < count; ++i) body += segments[i];
        if (size >= 0 && ftello(f) + body > size) cutOff = true;
        Page page;
        page.at = ftello(f) - off_t(sizeof head) - off_t(count);
        page.begins = head[5] & 0x02;
        page.continues = head[5] & 0x01;
        for (int i = 3; i >= 0; --i) page.serial = page.serial << 8 | head[14 + i];
        uint64_t granule = 0;
        for (int i = 7; i >= 0; --i) granule = granule << 8 | head[6 + i];
        page.granule = int64_t(granule);
        if (pages++ < kCheckedPages && !cutOff) {
            whole.resize(size_t(body));
            if (std::fread(whole.data(), 1, whole.size(), f) != whole.size()) break;
            page.damaged = !checksumHolds(head, segments, count, whole);
            page.packetBytes = std::min(sizeof page.packet, whole.size());
            std::copy_n(whole.begin(), page.packetBytes, page.packet);
            body = 0;
        } else {
            page.packetBytes =
                std::fread(page.packet, 1, std::min(sizeof page.packet, size_t(body)), f);
            body -= off_t(page.packetBytes);
        }
        if (!visit(page) || cutOff || fseeko(f, body, SEEK_CUR) != 0) break;
    }
    std::fclose(f);
    return cutOff;
}

bool isVorbis(const Page& p) {
    return p.packetBytes >= 16 && std::memcmp(p.packet, "\x01vorbis", 7) == 0;
}
bool isOpus(const Page& p) {
    return p.packetBytes >= 12 && std::memcmp(p.packet, "OpusHead", 8) == 0;
}

OggLayout layoutOf(const std::string& path) {
    OggLayout layout;
    bool first = true, sawData = false;
    struct Stream {  // one after the first
        uint32_t serial;
        Codec codec = Codec::Other;
        int pages = 0;
        double rate = 0, skip = 0;
        int64_t granule = 0;
    };
    std::vector<Stream> later;
    std::vector<uint32_t> begun;  // the serials whose first page was seen
    double firstRate = 0;
    uint32_t firstSerial = 0;
    double firstSkip = 0;                 // Opus: the pre-skip
    int64_t firstGranules[2] = {-1, -1};  // the first stream's last two, the last one second
    int64_t goodGranules[2] = {-1, -1};   // the first stream's first two whole pages'
    int damagedAtStart = 0;
    layout.cutOff = walkPages(path, [&](const Page& page) {
        if (first) {
            layout.codec = isVorbis(page) ? Codec::Vorbis
                           : isOpus(page) ? Codec::Opus
                                          : Codec::Other;
            firstSerial = page.serial;
            const unsigned char* p = page.packet;
            firstRate = layout.codec == Codec::Vorbis
                            ? double(p[12] | p[13] << 8 | p[14] << 16 | uint32_t(p[15]) << 24)
                            : 48000.0;
            if (layout.codec == Codec::Opus) firstSkip = p[10] | p[11] << 8;
            first = false;
            layout.parts.push_back({layout.codec, page.at});
        }
        if (page.serial == firstSerial && !layout.chained) {
            // A damaged page before the first page of audio that is whole: the first audio was
            // lost. (A page missing there cannot be told from a recording begun mid-stream,
            // whose page numbers jump after its headers too.)
            if (firstGranules[1] <= 0 && page.damaged && !page.begins) {
                layout.startLost = true;
                ++damagedAtStart;
            }
            if (page.granule > 0 && !page.damaged) {
                // A page holds at most a few seconds of Opus as any writer makes them (and one
                // whose pages before were damaged away is no late start).
                if (firstGranules[1] <= 0 && layout.codec == Codec::Opus && !layout.startLost &&
                    double(page.granule) > firstSkip + 5 * 48000.0)
                    layout.opusStartsLate = true;
                if (goodGranules[0] < 0)
                    goodGranules[0] = page.granule;
                else if (goodGranules[1] < 0)
                    goodGranules[1] = page.granule;
                firstGranules[0] = firstGranules[1];
                firstGranules[1] = page.granule;
            }
        }
        // A stream that begins with the serial of one before it (files joined whose writer
        // numbers every stream alike): the libraries take the two for one, so it is read apart.
        const bool repeated =
            page.begins && std::find(begun.begin(), begun.end(), page.serial) != begun.end();
        if (page.begins) begun.push_back(page.serial);
        if (!page.begins && std::find(begun.begin(), begun.end(), page.serial) == begun.end()) {
            // A later stream whose first pages, and its headers with them, were lost: the
            // first stream's codec and rate are the best guess at how long it played.
            begun.push_back(page.serial);
            if (layout.codec == Codec::Other) return false;
            layout.chained = layout.laterHeadersLost = true;
            Stream st{page.serial, layout.codec};
            st.rate = firstRate;
            st.pages = 2;  // its comments are lost with the rest
            later.push_back(st);
        }
        if (!page.begins) {
            sawData = true;
        } else if (sawData) {
            layout.chained = true;
            if (layout.codec == Codec::Other) return false;
            Stream st{page.serial};
            const unsigned char* p = page.packet;
            if (isVorbis(page)) {
                st.codec = Codec::Vorbis;
                st.rate = p[12] | p[13] << 8 | p[14] << 16 | uint32_t(p[15]) << 24;
            }
            if (isOpus(page)) {
                st.codec = Codec::Opus;
                st.rate = 48000;
                st.skip = p[10] | p[11] << 8;
            }
            if (st.codec == Codec::Other) layout.laterHeadersLost = true;
            if (st.codec != layout.parts.back().codec || repeated)
                layout.parts.push_back({st.codec, page.at});
            later.push_back(st);
        }
        // The page belongs to the latest stream of its serial.
        for (auto it = later.rbegin(); it != later.rend(); ++it) {
            Stream& st = *it;
            if (st.serial != page.serial) continue;
            if (page.granule > 0) st.granule = page.granule;  // -1: no packet ends here
            if (++st.pages == 2) {
                const char* comments = st.codec == Codec::Vorbis ? "\x03vorbis" : "OpusTags";
                const size_t n = st.codec == Codec::Vorbis ? 7 : 8;
                if (page.continues || page.packetBytes < n ||
                    std::memcmp(page.packet, comments, n) != 0)
                    layout.laterHeadersLost = true;
            }
            break;
        }
        return true;
    });
    for (const Stream& st : later)
        if (st.rate > 0)
            layout.laterSeconds += std::max(0.0, double(st.granule) - st.skip) / st.rate;
    layout.lastPageFrom = std::max<int64_t>(0, firstGranules[0]);
    if (firstRate > 0)
        layout.firstStreamSeconds = std::max(0.0, double(firstGranules[1]) - firstSkip) / firstRate;
    if (firstRate > 0 && goodGranules[1] > goodGranules[0] && goodGranules[0] >= 0)
        layout.startLostAtMost =
            damagedAtStart * double(goodGranules[1] - goodGranules[0]) / firstRate;
    return layout;
}

// The streams of a chain, decoded one piece at a time by the codec's library.
class Links {
  public:
    virtual ~Links() = default;
    virtual int count() const = 0;
    virtual int rate(int link) const = 0;
    virtual int channels(int link) const = 0;
    // Samples per channel over all streams, each counted at its own rate; of one stream.
    virtual int64_t total() const = 0;
    virtual int64_t total(int link) const = 0;
    // The next piece, interleaved into `buf`: its frames (0 at the end or on damage that cannot be
    // passed), rate and channel count.
    virtual long decode(std::vector<float>& buf, int* rate, int* channels) = 0;
    // To the frame `frame` counted over all streams (exact when they share one rate).
    virtual bool seek(int64_t frame) = 0;
};

// The file a chain is read from, opened once: every run of it reads this one, so a file renamed,
// deleted or written over while it plays goes on as it was opened.
struct ChainFile {
    std::FILE* f = nullptr;
    off_t size = 0;
    ~ChainFile() {
        if (f) std::fclose(f);
    }
    static std::shared_ptr<ChainFile> open(const std::string& path) {
        auto file = std::make_shared<ChainFile>();
        file->f = std::fopen(path.c_str(), "rb");
        if (!file->f || fseeko(file->f, 0, SEEK_END) != 0) return nullptr;
        file->size = ftello(file->f);
        return file->size > 0 ? file : nullptr;
    }
};

// A stretch of the file, from `from` to `to` (-1: its end), read as a file of its own by a codec's
// library. It keeps its own place, so ranges of one file never move each other's.
class FileRange {
  public:
    bool open(std::shared_ptr<ChainFile> file, off_t from, off_t to) {
        file_ = std::move(file);
        from_ = at_ = from;
        to_ = to < 0 ? file_->size : std::min(to, file_->size);
        return to_ > from_;
    }
    size_t read(void* dst, size_t bytes) {
        if (at_ < from_ || at_ >= to_ || fseeko(file_->f, at_, SEEK_SET) != 0) return 0;
        const size_t got = std::fread(dst, 1, std::min(bytes, size_t(to_ - at_)), file_->f);
        at_ += off_t(got);
        return got;
    }
    int seek(int64_t offset, int whence) {
        const off_t base = whence == SEEK_SET ? from_ : whence == SEEK_END ? to_ : at_;
        const off_t at = base + off_t(offset);
        if (at < from_ || at > to_) return -1;
        at_ = at;
        return 0;
    }
    int64_t tell() const { return at_ - from_; }

  private:
    std::shared_ptr<ChainFile> file_;
    off_t from_ = 0, to_ = 0, at_ = 0;
};

// A hole in the data (a lost page) is passed over; after this many in a row the stream ends.
constexpr int kHolesPassed = 64;

class VorbisLinks : public Links {
  public:
    // At the first stream's start: after the open's walk over the links, libvorbisfile may start
    // reading at the second stream (libsndfile's files do that), so it is sent there.
    bool open(std::shared_ptr<ChainFile> file, off_t from, off_t to) {
        if (!range_.open(std::move(file), from, to)) return false;
        static const ov_callbacks io{
            [](void* dst, size_t size, size_t n, void* r) {
                return static_cast<FileRange*>(r)->read(dst, size * n) / std::max<size_t>(size, 1);
            },
            [](void* r, ogg_int64_t offset, int whence) {
                return static_cast<FileRange*>(r)->seek(offset, whence);
            },
            nullptr, [](void* r) { return long(static_cast<FileRange*>(r)->tell()); }};
        open_ = ov_open_callbacks(&range_, &vf_, nullptr, 0, io) == 0;
        return open_ && ov_pcm_seek(&vf_, 0) == 0;
    }
    ~VorbisLinks() override {
        if (open_) ov_clear(&vf_);
    }
    int count() const override { return int(ov_streams(vf())); }
    int rate(int link) const override {
        const vorbis_info* vi = ov_info(vf(), link);
        return vi ? int(vi->rate) : 0;
    }
    int channels(int link) const override {
        const vorbis_info* vi = ov_info(vf(), link);
        return vi ? vi->channels : 0;
    }
    int64_t total() const override { return ov_pcm_total(vf(), -1); }
    int64_t total(int link) const override { return ov_pcm_total(vf(), link); }
    long decode(std::vector<float>& buf, int* rate, int* channels) override {
        for (int holes = 0; holes < kHolesPassed; ++holes) {
            float** pcm = nullptr;
            int link = 0;
            const long n = ov_read_float(&vf_, &pcm, 4096, &link);
            if (n == OV_HOLE) continue;
            if (n <= 0) return 0;
            const vorbis_info* vi = ov_info(&vf_, link);
            if (!vi || vi->channels < 1 || vi->channels > kMaxChannels) return 0;
            *rate = int(vi->rate);
            *channels = vi->channels;
            buf.resize(size_t(n) * size_t(vi->channels));
            for (long i = 0; i < n; ++i)
                for (int c = 0; c < vi->channels; ++c)
                    buf[size_t(i) * size_t(vi->channels) + size_t(c)] = pcm[c][i];
            reorderVorbisChannels(buf.data(), size_t(n), vi->channels, false);
            return n;
        }
        return 0;
    }
    bool seek(int64_t frame) override { return ov_pcm_seek(&vf_, frame) == 0; }

  private:
    // libvorbisfile's getters take a pointer to non-const.
    OggVorbis_File* vf() const { return const_cast<OggVorbis_File*>(&vf_); }
    FileRange range_;
    OggVorbis_File vf_{};
    bool open_ = false;
};

class OpusLinks : public Links {
  public:
    bool open(std::shared_ptr<ChainFile> file, off_t from, off_t to) {
        if (!range_.open(std::move(file), from, to)) return false;
        static const OpusFileCallbacks io{
            [](void* r, unsigned char* dst, int bytes) {
                return int(static_cast<FileRange*>(r)->read(dst, size_t(std::max(bytes, 0))));
            },
            [](void* r, opus_int64 offset, int whence) {
                return static_cast<FileRange*>(r)->seek(offset, whence);
            },
            [](void* r) { return opus_int64(static_cast<FileRange*>(r)->tell()); }, nullptr};
        int err = 0;
        of_ = op_open_callbacks(&range_, &io, nullptr, 0, &err);
        return of_ != nullptr;
    }
    ~OpusLinks() override {
        if (of_) op_free(of_);
    }
    int count() const override { return op_link_count(of_); }
    int rate(int) const override { return 48000; }  // Opus always decodes at 48 kHz
    int channels(int link) const override {
        const OpusHead* head = op_head(of_, link);
        return head ? head->channel_count : 0;
    }
    int64_t total() const override { return op_pcm_total(of_, -1); }
    int64_t total(int link) const override { return op_pcm_total(of_, link); }
    long decode(std::vector<float>& buf, int* rate, int* chans) override {
        // 120 ms, the longest packet, of every channel a stream may have here.
        buf.resize(size_t(5760) * size_t(kMaxChannels));
        for (int holes = 0; holes < kHolesPassed; ++holes) {
            int link = -1;
            const int n = op_read_float(of_, buf.data(), int(buf.size()), &link);
            if (n == OP_HOLE) continue;
            if (n <= 0) return 0;
            const int c = channels(link);
            if (c < 1 || c > kMaxChannels) return 0;
            *rate = 48000;
            *chans = c;
            if (const OpusHead* head = op_head(of_, link); head && head->mapping_family == 1)
                reorderVorbisChannels(buf.data(), size_t(n), c, false);
            return n;
        }
        return 0;
    }
    bool seek(int64_t frame) override { return op_pcm_seek(of_, frame) == 0; }

  private:
    FileRange range_;
    OggOpusFile* of_ = nullptr;
};

// The streams from `from` to `to` (-1: the file's end), all of `codec`; null when its library
// refuses them.
std::unique_ptr<Links> openLinks(const std::shared_ptr<ChainFile>& file, Codec codec, off_t from,
                                 off_t to) {
    if (codec == Codec::Vorbis) {
        auto v = std::make_unique<VorbisLinks>();
        if (v->open(file, from, to)) return v;
    } else if (codec == Codec::Opus) {
        auto o = std::make_unique<OpusLinks>();
        if (o->open(file, from, to)) return o;
    }
    return nullptr;
}

// A run of streams (a range of the file) opened by its codec's library only while it is read: a
// file of many runs (a thousand files of one writer joined, every stream with the same serial)
// holds one decoder, not one per run, and they all read the one file. What the run holds is looked
// at once.
class LazyLinks : public Links {
  public:
    static std::unique_ptr<LazyLinks> open(std::shared_ptr<ChainFile> file, Codec codec, off_t from,
                                           off_t to) {
        std::unique_ptr<Links> links = openLinks(file, codec, from, to);
        if (!links) return nullptr;
        auto lazy = std::unique_ptr<LazyLinks>(new LazyLinks(std::move(file), codec, from, to));
        for (int i = 0; i < links->count(); ++i)
            lazy->links_.push_back({links->rate(i), links->channels(i), links->total(i)});
        lazy->total_ = links->total();
        return lazy;
    }
    int count() const override { return int(links_.size()); }
    int rate(int link) const override { return links_[size_t(link)].rate; }
    int channels(int link) const override { return links_[size_t(link)].channels; }
    int64_t total() const override { return total_; }
    int64_t total(int link) const override { return links_[size_t(link)].total; }
    long decode(std::vector<float>& buf, int* rate, int* channels) override {
        return reopen() ? open_->decode(buf, rate, channels) : 0;
    }
    bool seek(int64_t frame) override { return reopen() && open_->seek(frame); }
    // Lets the library go until the run is read again.
    void close() { open_.reset(); }

  private:
    LazyLinks(std::shared_ptr<ChainFile> file, Codec codec, off_t from, off_t to)
        : file_(std::move(file)), codec_(codec), from_(from), to_(to) {}
    bool reopen() {
        if (!open_) open_ = openLinks(file_, codec_, from_, to_);
        return open_ != nullptr;
    }
    struct Link {
        int rate, channels;
        int64_t total;
    };
    std::shared_ptr<ChainFile> file_;
    Codec codec_;
    off_t from_, to_;
    std::vector<Link> links_;
    int64_t total_ = 0;
    std::unique_ptr<Links> open_;
};

// Runs of streams of one codec after one another (Vorbis, then Opus, ...), each read by its codec's
// library, as one chain.
class MixedLinks : public Links {
  public:
    explicit MixedLinks(std::vector<std::unique_ptr<LazyLinks>> parts) : parts_(std::move(parts)) {}
    int count() const override {
        int n = 0;
        for (const auto& p : parts_) n += p->count();
        return n;
    }
    int rate(int link) const override {
        const auto [p, i] = locate(link);
        return parts_[p]->rate(i);
    }
    int channels(int link) const override {
        const auto [p, i] = locate(link);
        return parts_[p]->channels(i);
    }
    int64_t total() const override {
        int64_t n = 0;
        for (const auto& p : parts_) n += p->total();
        return n;
    }
    int64_t total(int link) const override {
        const auto [p, i] = locate(link);
        return parts_[p]->total(i);
    }
    long decode(std::vector<float>& buf, int* rate, int* channels) override {
        for (; current_ < parts_.size(); ++current_) {
            if (const long n = parts_[current_]->decode(buf, rate, channels); n > 0) return n;
            parts_[current_]->close();
            if (current_ + 1 < parts_.size() && !parts_[current_ + 1]->seek(0)) return 0;
        }
        return 0;
    }
    bool seek(int64_t frame) override {
        size_t to = 0;
        for (; to + 1 < parts_.size() && frame >= parts_[to]->total(); ++to)
            frame -= parts_[to]->total();
        // The run read until now is let go unless the seek stays in it (past the last at the end).
        if (current_ < parts_.size() && current_ != to) parts_[current_]->close();
        current_ = to;
        return parts_[current_]->seek(frame);
    }

  private:
    std::pair<size_t, int> locate(int link) const {
        size_t p = 0;
        for (; p + 1 < parts_.size() && link >= parts_[p]->count(); ++p) link -= parts_[p]->count();
        return {p, link};
    }
    std::vector<std::unique_ptr<LazyLinks>> parts_;
    size_t current_ = 0;
};

class OggChainSource : public Source {
  public:
    OggChainSource(std::unique_ptr<Links> links, bool uniform, bool cutOff)
        : links_(std::move(links)),
          cutOff_(cutOff),
          rate_(links_->rate(0)),
          chans_(links_->channels(0)),
          uniform_(uniform),
          length_(links_->total()),
          conform_(rate_, chans_) {}
    int rate() const override { return rate_; }
    int channels() const override { return chans_; }
    int64_t lengthFrames() const override { return length_; }
    int64_t read(int16_t* dst, int64_t frames) override {
        const int64_t got =
            conform_.fill(dst, frames, length_ - pos_, [this] { return decodeMore(); });
        pos_ += got;
        // The end before the length the streams' last pages give: a page was lost.
        if (got < frames && pos_ < length_ && uniform_)
            undecoded_.store(length_ - pos_, std::memory_order_relaxed);
        return got;
    }
    int64_t undecodedFrames() const override { return undecoded_.load(std::memory_order_relaxed); }
    bool cutOff() const override { return cutOff_; }
    bool seek(int64_t frame) override {
        conform_.reset();
        done_ = false;
        if (uniform_) {
            if (!links_->seek(frame)) return false;
            pos_ = frame;
            return true;
        }
        // The streams' rates differ: only decoding from the start finds where a frame is.
        if (!links_->seek(0)) return false;
        pos_ = 0;
        conform_.discard(frame, [this](int16_t* d, int64_t n) { return read(d, n); });
        return pos_ == frame;
    }
    int lastError() const override { return BASS_ERROR_FORMAT; }

    // The length of a chain whose streams differ, decoded once: false when nothing decodes. What
    // the streams' last pages give, each stream's length brought to the first one's rate, and
    // more than a little beyond what decodes, is what a lost page took.
    bool measure() {
        length_ = std::numeric_limits<int64_t>::max();
        length_ = conform_.discard(-1, [this](int16_t* d, int64_t n) { return read(d, n); });
        double expected = 0;
        for (int i = 0; i < links_->count(); ++i)
            expected += double(links_->total(i)) * rate_ / links_->rate(i);
        if (const int64_t lost = int64_t(expected) - length_; lost > rate_ / 100)
            undecoded_.store(lost, std::memory_order_relaxed);
        return length_ > 0 && seek(0);
    }

  private:
    bool decodeMore() {
        if (done_) return false;
        int rate = 0, channels = 0;
        const long n = links_->decode(piece_, &rate, &channels);
        if (n <= 0 || !conform_.push(piece_.data(), size_t(n), rate, channels)) {
            conform_.finish();
            done_ = true;
            return conform_.ready() > 0;
        }
        return true;
    }

    std::unique_ptr<Links> links_;
    bool cutOff_;
    int rate_, chans_;
    bool uniform_;
    int64_t length_;
    int64_t pos_ = 0;
    bool done_ = false;
    std::atomic<int64_t> undecoded_{0};
    FormatConformer conform_;
    std::vector<float> piece_;
};

}  // namespace

std::unique_ptr<Source> openOggChain(const std::string& utf8Path, int* error, FileOpen mode,
                                     OggFirstStream* first, FormatRefusal* refusal) {
    *first = {};
    const OggLayout layout = layoutOf(utf8Path);
    if (layout.codec == Codec::Vorbis) first->lastPageFrom = layout.lastPageFrom;
    first->cutOff = layout.cutOff;
    if (layout.startLost && !layout.chained) {
        first->startLostUpTo = layout.firstStreamSeconds;
        first->startLostAtMost = layout.startLostAtMost;
    }
    if ((!layout.chained && !layout.opusStartsLate) || layout.codec == Codec::Other) return nullptr;
    double* unreadableSeconds = &first->unreadableSeconds;
    // The codec's library would refuse the chain (and lose a little memory doing so): the first
    // stream is left to libsndfile, and what the later streams held is said to be lost.
    if (layout.laterHeadersLost) {
        *unreadableSeconds = layout.laterSeconds;
        return nullptr;
    }
    std::unique_ptr<Links> links;
    const std::shared_ptr<ChainFile> file = ChainFile::open(utf8Path);
    if (file && layout.parts.size() == 1) {
        links = openLinks(file, layout.codec, 0, -1);
    } else if (file) {
        std::vector<std::unique_ptr<LazyLinks>> parts;
        for (size_t i = 0; i < layout.parts.size(); ++i) {
            const off_t to = i + 1 < layout.parts.size() ? layout.parts[i + 1].from : -1;
            parts.push_back(LazyLinks::open(file, layout.parts[i].codec, layout.parts[i].from, to));
            if (!parts.back()) break;
        }
        if (parts.back()) links = std::make_unique<MixedLinks>(std::move(parts));
    }
    if (!links) {
        // The library refuses the chain (a later stream's headers are damaged): the first stream
        // is read alone, and what the others held is said to be lost.
        *unreadableSeconds = layout.laterSeconds;
        return nullptr;
    }
    if (links->count() < 1 || links->total() <= 0) {
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    bool uniform = true;
    for (int i = 0; i < links->count(); ++i) {
        const int rate = links->rate(i), chans = links->channels(i);
        if (rate < kMinRate || rate > kMaxRate || chans < 1 || chans > kMaxChannels) {
            *error = BASS_ERROR_FORMAT;
            if (refusal)
                *refusal = rate > kMaxRate   ? FormatRefusal{FormatRefusal::RateAbove, rate}
                           : rate < kMinRate ? FormatRefusal{FormatRefusal::RateBelow, rate}
                           : chans > kMaxChannels
                               ? FormatRefusal{FormatRefusal::ChannelsAbove, chans}
                               : FormatRefusal{};
            return nullptr;
        }
        uniform = uniform && rate == links->rate(0) && chans == links->channels(0);
    }
    auto source = std::make_unique<OggChainSource>(std::move(links), uniform, layout.cutOff);
    // A quick look keeps the estimate: the samples of all streams, each at its own rate.
    if (!uniform && mode == FileOpen::Exact && !source->measure()) {
        *error = BASS_ERROR_FORMAT;
        return nullptr;
    }
    return source;
}

}  // namespace engine
