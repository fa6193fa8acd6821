#include "engine/decode/sound_file.h"

#include <sys/types.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>

namespace engine {

// libsndfile's virtual I/O over a stdio stream with a few bytes of its header read as others: a
// BW64 magic as "RF64", the data size a writer never filled in as "to the end of the file" (an
// RF64 file's as the whole frames it holds), a
// Wave64 extensible header's format tag as the float tag its sub-format gives, or a later data
// chunk's name as "JUNK" (libsndfile refuses such a file).
struct PatchedFile {
    std::FILE* file = nullptr;
    off_t start = 0;  // where the sound file starts in it (after an ID3v2 tag)
    struct Patch {
        off_t at = -1;  // from `start`
        char bytes[4] = {};
    };
    std::vector<Patch> patches;
};
namespace {

// libsndfile's virtual I/O over a PatchedFile, from its start.
sf_count_t vLength(void* user) {
    const auto* p = static_cast<PatchedFile*>(user);
    const off_t at = ftello(p->file);
    if (fseeko(p->file, 0, SEEK_END) != 0) return -1;
    const off_t end = ftello(p->file);
    fseeko(p->file, at, SEEK_SET);
    return end - p->start;
}
sf_count_t vSeek(sf_count_t offset, int whence, void* user) {
    const auto* p = static_cast<PatchedFile*>(user);
    if (fseeko(p->file, off_t(offset) + (whence == SEEK_SET ? p->start : 0), whence) != 0)
        return -1;
    return ftello(p->file) - p->start;
}
sf_count_t vRead(void* ptr, sf_count_t count, void* user) {
    const auto* p = static_cast<PatchedFile*>(user);
    const off_t at = ftello(p->file) - p->start;
    const size_t n = std::fread(ptr, 1, size_t(count), p->file);
    for (const auto& patch : p->patches) {
        if (patch.at < 0) continue;
        for (off_t i = std::max(at, patch.at); i < patch.at + 4 && i < at + off_t(n); ++i)
            static_cast<char*>(ptr)[i - at] = patch.bytes[i - patch.at];
    }
    return sf_count_t(n);
}
sf_count_t vWrite(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t vTell(void* user) {
    const auto* p = static_cast<PatchedFile*>(user);
    return ftello(p->file) - p->start;
}

uint32_t le32(const unsigned char* b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
uint64_t le64(const unsigned char* b) {
    return uint64_t(le32(b)) | uint64_t(le32(b + 4)) << 32;
}

// What a WAV file's header says of its data against what the file holds.
struct WavData {
    // The frames its data chunk declares beyond the end of the file; 0 when it holds them all,
    // when its sizes are left open, or when it is no WAV file.
    int64_t missing = 0;
    // Where the size of a data chunk that was never closed lies: a RIFF file whose data and RIFF
    // sizes still say "empty", as a recorder writes them before the audio and leaves them when it
    // is stopped by a crash or a power cut, with audio after them. -1 for other files.
    off_t unclosedSizeAt = -1;
    // The same of an RF64 or BW64 file, whose data size lies in its ds64 chunk (8 bytes, left 0),
    // and the whole frames it holds in bytes.
    off_t unclosedDs64At = -1;
    uint64_t heldBytes = 0;
    // Where the data chunks after the first start (a writer's fault; players take the first).
    std::vector<off_t> laterData;
    // A PCM or float header whose bits per sample do not fit its frames (24 bits in frames of
    // 32-bit samples), its byte rate the frames': the bits the frames give, over the frame size
    // and the bits.
    std::optional<PatchedFile::Patch> bitsToFrames;
    // The format chunk's channel count; 0 when there is none.
    unsigned channels = 0;
};
// The frames an AIFF or AIFC file's common chunk counts beyond the end of the file, its sound data
// chunk cut short (libsndfile counts only what it holds); 0 for a whole file, for compressed
// samples and for other formats.
int64_t aiffMissingFrames(std::FILE* f) {
    auto be = [](const unsigned char* b, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | b[i];
        return v;
    };
    unsigned char head[12];
    if (fseeko(f, 0, SEEK_END) != 0) return 0;
    const int64_t fileSize = ftello(f);
    std::rewind(f);
    if (std::fread(head, 1, 12, f) != 12 || std::memcmp(head, "FORM", 4) != 0) return 0;
    const bool aifc = std::memcmp(head + 8, "AIFC", 4) == 0;
    if (!aifc && std::memcmp(head + 8, "AIFF", 4) != 0) return 0;
    int64_t frames = -1, frameBytes = 0, soundEnd = -1, soundStart = -1;
    int64_t at = 12;
    for (int chunk = 0; chunk < 64 && at + 8 <= fileSize; ++chunk) {
        unsigned char c[8 + 22];
        if (fseeko(f, at, SEEK_SET) != 0 || std::fread(c, 1, 8, f) != 8) return 0;
        const int64_t size = be(c + 4, 4);
        if (std::memcmp(c, "COMM", 4) == 0) {
            const size_t want = aifc ? 22 : 18;
            if (size < int64_t(want) || std::fread(c + 8, 1, want, f) != want) return 0;
            const int64_t channels = be(c + 8, 2), bits = be(c + 14, 2);
            frames = be(c + 10, 4);
            int64_t sampleBytes = (bits + 7) / 8;
            if (aifc) {
                const std::string_view kind(reinterpret_cast<const char*>(c + 26), 4);
                if (kind == "fl32" || kind == "FL32")
                    sampleBytes = 4;
                else if (kind == "fl64" || kind == "FL64")
                    sampleBytes = 8;
                else if (kind != "NONE" && kind != "sowt" && kind != "twos" && kind != "raw ")
                    return 0;
            }
            frameBytes = channels * sampleBytes;
        } else if (std::memcmp(c, "SSND", 4) == 0) {
            if (std::fread(c + 8, 1, 4, f) != 4) return 0;
            soundStart = at + 16 + be(c + 8, 4);
            soundEnd = at + 8 + size;
        }
        at += 8 + size + (size & 1);
    }
    if (frames < 0 || frameBytes <= 0 || soundStart < 0 || soundEnd <= fileSize) return 0;
    const int64_t held = std::max<int64_t>(0, fileSize - soundStart) / frameBytes;
    return std::max<int64_t>(0, frames - held);
}

WavData wavDataOf(std::FILE* f) {
    WavData w;
    unsigned char head[12];
    if (fseeko(f, 0, SEEK_END) != 0) return w;
    const int64_t fileSize = ftello(f);
    std::rewind(f);
    if (std::fread(head, 1, 12, f) != 12 || std::memcmp(head + 8, "WAVE", 4) != 0) return w;
    const bool riff = std::memcmp(head, "RIFF", 4) == 0;
    if (!riff && std::memcmp(head, "RF64", 4) != 0 && std::memcmp(head, "BW64", 4) != 0) return w;
    uint64_t ds64Data = 0;
    off_t ds64DataAt = -1;
    unsigned blockAlign = 0;
    bool pcm = false;                       // samples of a fixed size, blockAlign bytes a frame
    uint32_t rate = 0, bytesPerSecond = 0;  // for compressed audio (MP3, ADPCM)
    bool seenData = false;
    int64_t at = 12;
    for (int chunk = 0; chunk < 64 && at + 8 <= fileSize; ++chunk) {
        unsigned char c[8];
        if (fseeko(f, off_t(at), SEEK_SET) != 0 || std::fread(c, 1, 8, f) != 8) return w;
        const uint32_t size = le32(c + 4);
        unsigned char body[16] = {};
        const size_t want = std::min<size_t>(size, sizeof body);
        if (std::fread(body, 1, want, f) != want) return w;
        if (std::memcmp(c, "ds64", 4) == 0 && size >= 16) {
            ds64Data = le64(body + 8);
            ds64DataAt = off_t(at + 16);
        }
        if (std::memcmp(c, "fmt ", 4) == 0 && size >= 14) {
            const unsigned tag = body[0] | body[1] << 8;
            pcm = tag == 1 || tag == 3 || tag == 6 || tag == 7 || tag == 0xFFFE;
            rate = le32(body + 4);
            bytesPerSecond = le32(body + 8);
            blockAlign = body[12] | body[13] << 8;
            const unsigned channels = body[2] | body[3] << 8, bits = body[14] | body[15] << 8;
            w.channels = channels;
            const unsigned sample = channels ? blockAlign / channels : 0;
            // (An extensible header's bits are its samples' size: those that count are apart.)
            const bool sizes = tag == 3
                                   ? sample == 4 || sample == 8
                                   : (sample >= 1 && sample <= 4) || (tag == 0xFFFE && sample == 8);
            // Only where the byte rate agrees with the frames and not with the bits, and the frame
            // size is not the bits / 8 alone: one written without the channels is read by the
            // bits, as elsewhere.
            if ((tag == 1 || tag == 3 || tag == 0xFFFE) && size >= 16 &&
                sample * channels == blockAlign && sizes && bits && (bits + 7) / 8 != sample &&
                !(channels > 1 && blockAlign == (bits + 7) / 8) &&
                bytesPerSecond == rate * blockAlign &&
                bytesPerSecond != rate * channels * ((bits + 7) / 8))
                w.bitsToFrames = PatchedFile::Patch{
                    off_t(at + 8 + 12), {char(body[12]), char(body[13]), char(8 * sample), 0}};
        }
        if (std::memcmp(c, "data", 4) == 0 && seenData) {
            if (w.laterData.size() < 16) w.laterData.push_back(off_t(at));
            at += 8 + int64_t(size) + (size & 1);
            continue;
        }
        if (std::memcmp(c, "data", 4) == 0) {
            seenData = true;
            const int64_t held = fileSize - (at + 8);
            if (riff && size == 0 && pcm && blockAlign && held >= int64_t(blockAlign) &&
                int64_t(le32(head + 4)) + 8 <= at + 8)
                w.unclosedSizeAt = off_t(at + 4);
            if (!riff && size == 0xFFFFFFFFu && ds64Data == 0 && ds64DataAt >= 0 && pcm &&
                blockAlign && held >= int64_t(blockAlign)) {
                w.unclosedDs64At = ds64DataAt;
                w.heldBytes = uint64_t(held - held % blockAlign);
                return w;
            }
            const uint64_t declared = riff || size != 0xFFFFFFFFu ? size : ds64Data;
            // Sizes a writer to a pipe leaves in place of the one it could not go back to write:
            // 0xFFFFFFFF (ffmpeg) and 0x7FFFF000 (sox) give no length.
            if (declared == 0 || (riff && (declared == 0xFFFFFFFFu || declared == 0x7FFFF000u)) ||
                blockAlign == 0)
                return w;
            if (declared >= uint64_t(held)) {
                // A compressed frame's bytes are not known: its rate of bytes gives the time.
                const uint64_t lacking = declared - uint64_t(held);
                w.missing = pcm              ? int64_t(lacking / blockAlign)
                            : bytesPerSecond ? int64_t(double(lacking) * rate / bytesPerSecond)
                                             : 0;
                return w;
            }
            at += 8 + int64_t(declared) + int64_t(declared & 1);
            continue;
        }
        at += 8 + int64_t(size) + (size & 1);
    }
    return w;
}

// Sony Wave64's chunk identifiers: "riff", "wave" and "fmt " each followed by the same twelve
// bytes.
constexpr unsigned char kW64Tail[12] = {0x2e, 0x91, 0xcf, 0x11, 0xa5, 0xd6,
                                        0x28, 0xdb, 0x04, 0xc1, 0x00, 0x00};
constexpr unsigned char kW64ChunkTail[12] = {0xf3, 0xac, 0xd3, 0x11, 0x8c, 0xd1,
                                             0x00, 0xc0, 0x4f, 0x8e, 0xdb, 0x8a};
// The tail of a WAVE_FORMAT_EXTENSIBLE sub-format after its two-byte format tag.
constexpr unsigned char kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};

// Where a Wave64 file at `start` of `f` has the format tag of an extensible header whose samples
// are floats, and the four bytes to read there instead: the plain float tag and the channel
// count. libsndfile takes any extensible Wave64 header for integers, so it reads such floats, as
// ffmpeg and others write them, as loud noise, and those of 64 bits not at all. Null for any
// other file.
std::optional<PatchedFile::Patch> w64FloatTag(std::FILE* f, off_t start) {
    unsigned char head[40];
    if (fseeko(f, start, SEEK_SET) != 0 || std::fread(head, 1, 40, f) != 40 ||
        std::memcmp(head, "riff", 4) != 0 || std::memcmp(head + 4, kW64Tail, 12) != 0 ||
        std::memcmp(head + 24, "wave", 4) != 0)
        return std::nullopt;
    off_t at = start + 40;
    for (int chunk = 0; chunk < 64; ++chunk) {
        unsigned char c[24 + 40];
        if (fseeko(f, at, SEEK_SET) != 0 || std::fread(c, 1, 24, f) != 24) return std::nullopt;
        const uint64_t size = le64(c + 16);  // the chunk's header included
        if (size < 24 || size > (uint64_t(1) << 62)) return std::nullopt;
        if (std::memcmp(c + 4, kW64ChunkTail, 12) == 0 && std::memcmp(c, "fmt ", 4) == 0) {
            if (size < 24 + 40 || std::fread(c + 24, 1, 40, f) != 40) return std::nullopt;
            const unsigned char* fmt = c + 24;
            if (fmt[0] != 0xfe || fmt[1] != 0xff || fmt[24] != 3 || fmt[25] != 0 ||
                std::memcmp(fmt + 26, kSubFormatTail, 14) != 0)
                return std::nullopt;
            PatchedFile::Patch p;
            p.at = at + 24 - start;
            p.bytes[0] = 3;  // WAVE_FORMAT_IEEE_FLOAT
            p.bytes[1] = 0;
            p.bytes[2] = char(fmt[2]);
            p.bytes[3] = char(fmt[3]);
            return p;
        }
        at += off_t((size + 7) & ~uint64_t(7));
    }
    return std::nullopt;
}

// WAVE's speaker bit of one of libsndfile's channel positions; -1 for one WAVE has no bit for.
int waveSpeakerBit(int position) {
    switch (position) {
        case SF_CHANNEL_MAP_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT:
            return 0;
        case SF_CHANNEL_MAP_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT:
            return 1;
        case SF_CHANNEL_MAP_CENTER:
        case SF_CHANNEL_MAP_FRONT_CENTER:
            return 2;
        case SF_CHANNEL_MAP_LFE:
            return 3;
        case SF_CHANNEL_MAP_REAR_LEFT:
            return 4;
        case SF_CHANNEL_MAP_REAR_RIGHT:
            return 5;
        case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
            return 6;
        case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
            return 7;
        case SF_CHANNEL_MAP_REAR_CENTER:
            return 8;
        case SF_CHANNEL_MAP_SIDE_LEFT:
            return 9;
        case SF_CHANNEL_MAP_SIDE_RIGHT:
            return 10;
        case SF_CHANNEL_MAP_TOP_CENTER:
            return 11;
        case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
            return 12;
        case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
            return 13;
        case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
            return 14;
        case SF_CHANNEL_MAP_TOP_REAR_LEFT:
            return 15;
        case SF_CHANNEL_MAP_TOP_REAR_CENTER:
            return 16;
        case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
            return 17;
        default:
            return -1;
    }
}

// A FLAC file whose header counts fewer samples than its frames hold (damaged, or written by a
// tool that counted wrong): libsndfile would stop every read at that count, as if the rest were
// not there. libFLAC finds the frame holding the last sample counted and looks one frame on. The
// count then goes as a pipe's writer leaves it, unknown, and the file is measured by reading it.
bool flacHoldsMoreThanItsCount(const std::string& utf8Path) {
    struct Look {
        FLAC__uint64 counted = 0;
        bool seeking = true, more = false;
    } look;
    FLAC__StreamDecoder* d = FLAC__stream_decoder_new();
    if (!d) return false;
    const auto write = [](const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                          const FLAC__int32* const[], void* user) {
        auto* l = static_cast<Look*>(user);
        if (!l->seeking ||
            frame->header.number.sample_number + frame->header.blocksize > l->counted)
            l->more = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    };
    const auto error = [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {};
    if (FLAC__stream_decoder_init_file(d, utf8Path.c_str(), write, nullptr, error, &look) ==
            FLAC__STREAM_DECODER_INIT_STATUS_OK &&
        FLAC__stream_decoder_process_until_end_of_metadata(d)) {
        look.counted = FLAC__stream_decoder_get_total_samples(d);
        if (look.counted > 0 && FLAC__stream_decoder_seek_absolute(d, look.counted - 1)) {
            look.seeking = false;
            FLAC__stream_decoder_process_single(d);
        }
    }
    FLAC__stream_decoder_delete(d);
    return look.more;
}

}  // namespace

int64_t id3v2Bytes(std::FILE* f) {
    int64_t total = 0;
    unsigned char h[10];
    while (fseeko(f, off_t(total), SEEK_SET) == 0 && std::fread(h, 1, 10, f) == 10 &&
           std::memcmp(h, "ID3", 3) == 0 && h[3] != 0xff && h[4] != 0xff &&
           !((h[6] | h[7] | h[8] | h[9]) & 0x80)) {
        const int64_t size = int64_t(h[6]) << 21 | int64_t(h[7]) << 14 | int64_t(h[8]) << 7 | h[9];
        total += 10 + size + ((h[5] & 0x10) ? 10 : 0);  // a footer repeats the header
    }
    return total;
}

bool SoundFile::isWaveMagic(const char* m) {
    return std::memcmp(m, "RIFF", 4) == 0 || std::memcmp(m, "RF64", 4) == 0 ||
           std::memcmp(m, "BW64", 4) == 0;
}

SoundFile::SoundFile(const std::string& utf8Path) : path_(utf8Path) {
    std::FILE* f = std::fopen(utf8Path.c_str(), "rb");
    const off_t start = f ? off_t(id3v2Bytes(f)) : 0;
    char magic[4] = {};
    const bool bw64 = f && fseeko(f, start, SEEK_SET) == 0 && std::fread(magic, 1, 4, f) == 4 &&
                      std::memcmp(magic, "BW64", 4) == 0;
    const WavData wav = f && start == 0 ? wavDataOf(f) : WavData{};
    missing_ = wav.missing ? wav.missing : f && start == 0 ? aiffMissingFrames(f) : 0;
    wavChannels_ = int(wav.channels);
    const auto w64Float = f ? w64FloatTag(f, start) : std::nullopt;
    // The stream information block follows "fLaC" and its block header; its sample count is the
    // low 4 bits of its 14th byte and the 4 bytes after.
    unsigned char flacInfo[22] = {};
    const bool flacCountsShort = f && fseeko(f, start, SEEK_SET) == 0 &&
                                 std::fread(flacInfo, 1, sizeof flacInfo, f) == sizeof flacInfo &&
                                 std::memcmp(flacInfo, "fLaC", 4) == 0 &&
                                 (flacInfo[4] & 0x7f) == 0 && flacHoldsMoreThanItsCount(utf8Path);
    if (!bw64 && wav.unclosedSizeAt < 0 && wav.unclosedDs64At < 0 && wav.laterData.empty() &&
        start == 0 && !w64Float && !flacCountsShort && !wav.bitsToFrames) {
        if (f) std::fclose(f);
        sf_ = sf_open(utf8Path.c_str(), SFM_READ, &info_);
        decodeOpusAtItsRate();
        return;
    }
    patched_ = std::make_unique<PatchedFile>();
    patched_->file = f;
    patched_->start = start;
    if (bw64) patched_->patches.push_back({0, {'R', 'F', '6', '4'}});
    // All ones: libsndfile's own "the data runs to the end of the file", as a writer streaming
    // to a pipe leaves it.
    if (wav.unclosedSizeAt >= 0)
        patched_->patches.push_back({wav.unclosedSizeAt, {-1, -1, -1, -1}});
    if (wav.unclosedDs64At >= 0)
        for (int half = 0; half < 2; ++half) {
            PatchedFile::Patch p{wav.unclosedDs64At + 4 * half, {}};
            for (int b = 0; b < 4; ++b) p.bytes[b] = char(wav.heldBytes >> (32 * half + 8 * b));
            patched_->patches.push_back(p);
        }
    if (w64Float) patched_->patches.push_back(*w64Float);
    for (const off_t at : wav.laterData) patched_->patches.push_back({at, {'J', 'U', 'N', 'K'}});
    if (wav.bitsToFrames) patched_->patches.push_back(*wav.bitsToFrames);
    if (flacCountsShort) {
        patched_->patches.push_back({8 + 13, {char(flacInfo[21] & 0xf0), 0, 0, 0}});
        patched_->patches.push_back({8 + 14, {0, 0, 0, 0}});
    }
    fseeko(f, start, SEEK_SET);
    static SF_VIRTUAL_IO io{vLength, vSeek, vRead, vWrite, vTell};
    sf_ = sf_open_virtual(&io, SFM_READ, &info_, patched_.get());
    decodeOpusAtItsRate();
}

// libsndfile decodes Opus at the rate of the input it was made from (its header's "input sample
// rate", a note for players), and at 8 kHz when that is 0 ("not given") or no rate at all:
// everything above 4 kHz would be lost. Such a stream decodes at Opus's own rate.
void SoundFile::decodeOpusAtItsRate() {
    if (!sf_ || (info_.format & SF_FORMAT_SUBMASK) != SF_FORMAT_OPUS) return;
    int given = 0;
    if (sf_command(sf_, SFC_GET_ORIGINAL_SAMPLERATE, &given, int(sizeof given)) != SF_TRUE ||
        given > 0)
        return;
    int rate = 48000;
    SF_INFO now{};
    if (sf_command(sf_, SFC_SET_ORIGINAL_SAMPLERATE, &rate, int(sizeof rate)) == SF_TRUE &&
        sf_command(sf_, SFC_GET_CURRENT_SF_INFO, &now, int(sizeof now)) == 0)
        info_ = now;
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

std::vector<int> SoundFile::speakerBits() const {
    const int n = info_.channels;
    if (!sf_ || n < 1) return {};
    std::vector<int> map(size_t(n), SF_CHANNEL_MAP_INVALID);
    if (sf_command(sf_, SFC_GET_CHANNEL_MAP_INFO, map.data(), int(sizeof(int)) * n) == SF_TRUE) {
        for (int& position : map) position = waveSpeakerBit(position);
        return map;
    }
    if ((info_.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_FLAC) return {};
    // libsndfile gives no places for FLAC: the mask a writer kept from its WAVE source.
    FLAC__StreamMetadata* tags = nullptr;
    if (!FLAC__metadata_get_tags(path_.c_str(), &tags) || !tags) return {};
    uint32_t mask = 0;
    const FLAC__StreamMetadata_VorbisComment& comments = tags->data.vorbis_comment;
    constexpr std::string_view kKey = "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=";
    for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
        const std::string_view entry(reinterpret_cast<const char*>(comments.comments[i].entry),
                                     comments.comments[i].length);
        // Field names are of any case.
        if (entry.size() <= kKey.size() ||
            !std::equal(kKey.begin(), kKey.end(), entry.begin(), [](char a, char b) {
                return a == std::toupper(static_cast<unsigned char>(b));
            }))
            continue;
        const std::string value(entry.substr(kKey.size()));
        char* end = nullptr;
        const unsigned long v = std::strtoul(value.c_str(), &end, 0);
        if (end && *end == '\0' && v <= 0x3ffff) mask = uint32_t(v);
    }
    FLAC__metadata_object_delete(tags);
    map.clear();
    for (int bit = 0; bit < 18; ++bit)
        if (mask & (1u << bit)) map.push_back(bit);
    if (map.size() != size_t(n)) return {};
    return map;
}

SoundFile::~SoundFile() {
    if (sf_) sf_close(sf_);
    if (patched_) std::fclose(patched_->file);
}

}  // namespace engine
