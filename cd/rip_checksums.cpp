#include "cd/rip_checksums.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

namespace cd {

TrackChecksums::TrackChecksums(uint64_t totalFrames, bool firstTrack, bool lastTrack)
    : first_(firstTrack ? kAccurateRipEdgeFrames : 1),
      last_(lastTrack
                ? (totalFrames > kAccurateRipEdgeFrames ? totalFrames - kAccurateRipEdgeFrames : 0)
                : totalFrames) {
    crc_ = uint32_t(::crc32(0L, Z_NULL, 0));
}

inline void TrackChecksums::addFrame(uint32_t frame) {
    const uint64_t position = ++index_;
    if (position >= first_ && position <= last_) {
        const uint64_t product = uint64_t(frame) * position;
        v1_ += uint32_t(product);
        v2_ += uint32_t(product) + uint32_t(product >> 32);
    }
    const auto left = int16_t(frame & 0xffff), right = int16_t(frame >> 16);
    const uint32_t l = uint32_t(left < 0 ? -int32_t(left) : left);
    const uint32_t r = uint32_t(right < 0 ? -int32_t(right) : right);
    peak_ = std::max(peak_, std::max(l, r));
}

void TrackChecksums::add(const uint8_t* pcm, size_t bytes) {
    if (bytes == 0) return;
    crc_ = uint32_t(::crc32(crc_, pcm, uInt(bytes)));
    size_t i = 0;
    while (pendingBytes_ > 0 && i < bytes) {
        pending_[pendingBytes_++] = pcm[i++];
        if (pendingBytes_ == 4) {
            addFrame(uint32_t(pending_[0]) | uint32_t(pending_[1]) << 8 |
                     uint32_t(pending_[2]) << 16 | uint32_t(pending_[3]) << 24);
            pendingBytes_ = 0;
        }
    }
    for (; i + 4 <= bytes; i += 4)
        addFrame(uint32_t(pcm[i]) | uint32_t(pcm[i + 1]) << 8 | uint32_t(pcm[i + 2]) << 16 |
                 uint32_t(pcm[i + 3]) << 24);
    while (i < bytes) pending_[pendingBytes_++] = pcm[i++];
}

namespace {

int digitSum(uint32_t n) {
    int sum = 0;
    for (; n > 0; n /= 10) sum += int(n % 10);
    return sum;
}

}  // namespace

DiscIds discIds(const DiscLayout& layout) {
    DiscIds ids;
    ids.tracks = int(layout.trackStarts.size());
    if (layout.trackStarts.empty()) return ids;
    int n = 0;
    for (size_t i = 0; i < layout.trackStarts.size(); ++i) {
        const uint32_t start = layout.trackStarts[i];
        ids.accurateRip1 += start;
        ids.accurateRip2 += std::max<uint32_t>(start, 1) * uint32_t(i + 1);
        n += digitSum((start + kLeadInSectors) / 75);
    }
    ids.accurateRip1 += layout.leadOut;
    ids.accurateRip2 += layout.leadOut * uint32_t(ids.tracks + 1);
    const uint32_t seconds =
        (layout.leadOut + kLeadInSectors) / 75 - (layout.trackStarts.front() + kLeadInSectors) / 75;
    ids.freedb = uint32_t(n % 0xff) << 24 | seconds << 8 | uint32_t(ids.tracks);
    return ids;
}

std::string hex8(uint32_t value) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", value);
    return buf;
}

std::string accurateRipUrl(const DiscIds& ids) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "http://www.accuraterip.com/accuraterip/%x/%x/%x/dBAR-%03d-%08x-%08x-%08x.bin",
                  ids.accurateRip1 & 0xf, (ids.accurateRip1 >> 4) & 0xf,
                  (ids.accurateRip1 >> 8) & 0xf, ids.tracks, ids.accurateRip1, ids.accurateRip2,
                  ids.freedb);
    return buf;
}

}  // namespace cd
