// The Nero footer check: the signature, then one walk over the chunks up to END!.
#include "disc/cd_nrg.h"

#include <cdio/cdtext.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace engine::cd {

namespace {

constexpr int64_t kSectorBytes = 2352;
constexpr int64_t kPregapSectors = 150;
constexpr int kMaxTracks = 99;
constexpr int64_t kMaxFooterBytes = 4096;

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint64_t be64(const uint8_t* p) {
    return uint64_t(be32(p)) << 32 | be32(p + 4);
}

constexpr uint32_t id(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

std::string name(uint32_t chunk) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((chunk >> shift) & 0xff);
        s += c >= 0x20 && c < 0x7f ? c : '?';
    }
    return s;
}

// The block size of a track mode in an ETNF/ETN2 table; 0 for a mode libcdio does not take.
int64_t blockSize(uint32_t mode, bool etn2) {
    switch (mode) {
        case 0:
        case 2:
            return 2048;
        case 3:
            return 2336;
        case 6:
        case 0x20:
            return etn2 ? 0 : 2336;
        case 7:
            return 2352;
        default:
            return 0;
    }
}

// Whether libcdio's CD-Text reader takes these packs. Its Nero reader frees the text twice when
// they are refused, so packs it refuses must never reach it.
bool cdTextReads(const uint8_t* data, int64_t len) {
    std::vector<uint8_t> copy(data, data + len);
    cdtext_t* text = cdtext_init();
    if (!text) return false;
    const bool reads = len > 0 && cdtext_data_init(text, copy.data(), copy.size()) == 0;
    cdtext_destroy(text);
    return reads;
}

}  // namespace

std::string checkNrgImage(std::string_view tailText, int64_t fileBytes) {
    const auto* tail = reinterpret_cast<const uint8_t*>(tailText.data());
    const int64_t tailBytes = int64_t(tailText.size());
    if (fileBytes < 20 || tailBytes != std::min<int64_t>(fileBytes, int64_t(kNrgTailBytes)))
        return "the file is too small to be a Nero image";
    const uint8_t* end = tail + tailBytes;
    int64_t footer;
    int64_t signatureBytes;
    if (std::memcmp(end - 8, "NERO", 4) == 0) {
        footer = be32(end - 4);
        signatureBytes = 8;
    } else if (std::memcmp(end - 12, "NER5", 4) == 0) {
        const uint64_t offset = be64(end - 8);
        footer = offset > uint64_t(fileBytes) ? -1 : int64_t(offset);
        signatureBytes = 12;
    } else {
        return "no Nero signature (NERO or NER5) at the end of the file";
    }
    const int64_t chunksEnd = fileBytes - signatureBytes;
    if (footer < 0 || footer > chunksEnd) return "the footer's offset is outside the file";
    if (fileBytes - footer > kMaxFooterBytes) return "the footer is larger than 4096 bytes";

    const uint8_t* p = end - (fileBytes - footer);
    const uint8_t* const limit = end - signatureBytes;
    int tracks = 0;
    bool table = false, cuex = false, dao = false, ended = false, cdText = false;
    int64_t cuexEnd = 0;  // sectors the CUEX table covers
    while (p < limit && !ended) {
        if (limit - p < 8) return "a chunk header runs past the footer";
        const uint32_t chunk = be32(p);
        const int64_t len = be32(p + 4);
        p += 8;
        if (len > limit - p) return "chunk " + name(chunk) + " runs past the footer";
        const uint8_t* data = p;
        p += len;
        const std::string at = "chunk " + name(chunk) + ": ";
        switch (chunk) {
            case id("END!"):
                ended = true;
                break;
            case id("NERO"):
            case id("NER5"):
                return at + "a signature inside the footer";
            case id("CUES"):
                return at + "the old Nero track table (CUES) is not read";
            case id("CUEX"): {
                if (table) return at + "a second track table";
                const int64_t entries = len / 8;
                if (len % 8 != 0 || entries < 4 || entries % 2 != 0)
                    return at + "the table's size is not whole pairs of entries";
                if (be32(data + 4) != uint32_t(-kPregapSectors))
                    return at + "the table does not start at -150";
                tracks = int((entries - 2) / 2);
                if (tracks > kMaxTracks) return at + "more than 99 tracks";
                for (int64_t i = 2; i < entries; i += 2) {
                    const uint8_t* a = data + i * 8;
                    const uint8_t* b = a + 8;
                    if ((a[2] >> 4) > 1) return at + "an address that is neither LBA nor MSF";
                    if (a[1] == b[1]) return at + "a track entry without its end";
                    const auto start = int32_t(be32(a + 4)), next = int32_t(be32(b + 4));
                    if (start < 0 || next <= start)
                        return at + "a track that ends before it starts";
                    cuexEnd = std::max<int64_t>(cuexEnd, next);
                }
                table = cuex = true;
                break;
            }
            case id("ETNF"):
            case id("ETN2"): {
                if (table) return at + "a second track table";
                const bool etn2 = chunk == id("ETN2");
                const int64_t entrySize = etn2 ? 32 : 20;
                if (len % entrySize != 0 || len == 0)
                    return at + "the table's size is not whole entries";
                tracks = int(len / entrySize);
                // libcdio puts a 150-sector gap before every track after the first and reads
                // nothing into it: such a disc would read as sound that is not in the file.
                if (tracks > 1) return at + "a track-at-once image of more than one track";
                for (int i = 0; i < tracks; ++i) {
                    const uint8_t* e = data + i * entrySize;
                    const uint64_t start = etn2 ? be64(e) : be32(e);
                    const uint64_t bytes = etn2 ? be64(e + 8) : be32(e + 4);
                    const uint32_t mode = be32(e + (etn2 ? 16 : 8));
                    const uint64_t startSector = be32(e + (etn2 ? 20 : 12));
                    const int64_t block = blockSize(mode, etn2);
                    const std::string track = at + "track " + std::to_string(i + 1) + ": ";
                    if (block == 0) return track + "unknown track mode " + std::to_string(mode);
                    if (start > uint32_t(-1) || bytes > uint32_t(-1))
                        return track + "an offset beyond 4 GB";
                    if (bytes == 0 || bytes % uint64_t(block) != 0)
                        return track + "its length is not whole sectors";
                    if (startSector * uint64_t(block) != start)
                        return track + "its sector and its offset disagree";
                    if (int64_t(start + bytes) > footer)
                        return track + "runs past the audio into the footer";
                }
                table = true;
                break;
            }
            case id("DAOX"):
            case id("DAOI"): {
                if (!cuex) return at + "without a CUEX track table before it";
                if (dao) return at + "a second DAO chunk";
                // libcdio reads a 64-byte header (older releases) or 22 bytes and an entry per
                // track.
                const int64_t entrySize = chunk == id("DAOX") ? 42 : 30;
                if (len < std::max<int64_t>(64, 22 + std::max(tracks, 1) * entrySize))
                    return at + "shorter than its " + std::to_string(tracks) + " tracks";
                dao = true;
                break;
            }
            case id("SINF"):
            case id("MTYP"):
                if (len != 4) return at + "not 4 bytes long";
                break;
            case id("CDTX"):
                // libcdio reads each CD-Text chunk into new memory and never frees the one before.
                if (cdText) return at + "a second CD-Text chunk";
                if (len % 18 != 0) return at + "not whole CD-Text packs";
                if (!cdTextReads(data, len)) return at + "CD-Text that cannot be read";
                cdText = true;
                break;
            default:
                break;  // read past, as libcdio does
        }
    }
    if (!ended) return "the footer has no END! chunk";
    if (!table || tracks == 0) return "the image has no track table";
    if (cuex && !dao) return "a CUEX track table without its DAO chunk";
    // A DAO image is read at (sector + 150) * 2352.
    if (cuex && (cuexEnd + kPregapSectors) * kSectorBytes > footer)
        return "the tracks run past the audio into the footer";
    return {};
}

}  // namespace engine::cd
