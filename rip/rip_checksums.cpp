#include "rip/rip_checksums.h"

#include <zlib.h>

extern "C" {
#include <nettle/base64.h>
#include <nettle/sha1.h>
}

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

namespace cd {

TrackChecksums::TrackChecksums(uint64_t totalFrames, bool firstTrack, bool lastTrack)
    : first_(firstTrack ? kAccurateRipEdgeFrames : 1),
      last_(lastTrack
                ? (totalFrames > kAccurateRipEdgeFrames ? totalFrames - kAccurateRipEdgeFrames : 0)
                : totalFrames) {
    crc_ = uint32_t(::crc32(0L, Z_NULL, 0));
}

void TrackChecksums::addFrame(uint32_t frame) {
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

namespace {

uint32_t frameAt(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t word;
        std::memcpy(&word, p, 4);
        return word;
    } else {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
}

// The AccurateRip products of `n` whole frames at the 1-based positions from, from + 1, ...: the
// sums of their low and of their high words. A track is far shorter than 2^32 frames, so each
// product is a 32 x 32-bit multiplication; without branches, the loop is vectorised.
void addProducts(const uint8_t* pcm, size_t n, uint32_t from, uint32_t& low, uint32_t& high) {
    uint32_t lo = 0, hi = 0;
    for (size_t k = 0; k < n; ++k) {
        const uint64_t product = uint64_t(frameAt(pcm + 4 * k)) * uint32_t(from + uint32_t(k));
        lo += uint32_t(product);
        hi += uint32_t(product >> 32);
    }
    low += lo;
    high += hi;
}

// The largest absolute value of `n` 16-bit samples, with the same vectorised loop.
uint32_t peakOf(const uint8_t* pcm, size_t n) {
    int32_t peak = 0;
    for (size_t k = 0; k < n; ++k) {
        const auto sample = int16_t(uint16_t(pcm[2 * k]) | uint16_t(pcm[2 * k + 1]) << 8);
        const int32_t magnitude = sample < 0 ? -int32_t(sample) : int32_t(sample);
        peak = std::max(peak, magnitude);
    }
    return uint32_t(peak);
}

}  // namespace

void TrackChecksums::add(const uint8_t* pcm, size_t bytes) {
    if (bytes == 0) return;
    crc_ = uint32_t(::crc32(crc_, pcm, uInt(bytes)));
    size_t i = 0;
    while (pendingBytes_ > 0 && pendingBytes_ < sizeof pending_ && i < bytes) {
        pending_[pendingBytes_++] = pcm[i++];
        if (pendingBytes_ == sizeof pending_) {
            addFrame(frameAt(pending_));
            pendingBytes_ = 0;
        }
    }
    const size_t frames = (bytes - i) / 4;
    if (frames > 0) {
        // The frames at positions index_ + 1 .. index_ + frames; those in [first_, last_] count.
        const uint64_t from = index_ + 1, to = index_ + frames;
        const uint64_t a = std::max(from, first_), b = std::min(to, last_);
        if (a <= b) {
            uint32_t low = 0, high = 0;
            addProducts(pcm + i + 4 * (a - from), size_t(b - a + 1), uint32_t(a), low, high);
            v1_ += low;
            v2_ += low + high;
        }
        peak_ = std::max(peak_, peakOf(pcm + i, frames * 2));
        index_ = to;
        i += frames * 4;
    }
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
        n += digitSum((start + kLeadInSectors) / 75);
        if (i < layout.audio.size() && !layout.audio[i]) continue;
        ++ids.audioTracks;
        ids.accurateRip1 += start;
        ids.accurateRip2 += std::max<uint32_t>(start, 1) * uint32_t(ids.audioTracks);
    }
    ids.accurateRip1 += layout.leadOut;
    ids.accurateRip2 += layout.leadOut * uint32_t(ids.audioTracks + 1);
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
                  (ids.accurateRip1 >> 8) & 0xf, ids.audioTracks, ids.accurateRip1,
                  ids.accurateRip2, ids.freedb);
    return buf;
}

namespace {

// The audio session: first and last track number, lead-out and track starts, in MSF sectors
// (LBA + 150).
struct AudioSession {
    int last = 0;
    uint32_t leadOut = 0;
    std::vector<uint32_t> starts;
};

constexpr uint32_t kSessionGapSectors = 11400;

AudioSession audioSession(const DiscLayout& layout) {
    AudioSession s;
    size_t n = layout.trackStarts.size();
    uint32_t leadOut = layout.leadOut;
    while (n > 1 && n - 1 < layout.audio.size() && !layout.audio[n - 1]) --n;
    if (n < layout.trackStarts.size()) {
        // The first data track after the audio, and where the audio ends before it: an image
        // says so by the data track's gap (INDEX 00), a drive's table of contents does not.
        const uint32_t data = layout.trackStarts[n], lastAudio = layout.trackStarts[n - 1];
        uint32_t end = data;
        if (layout.image && n < layout.pregaps.size() && layout.pregaps[n] > lastAudio &&
            layout.pregaps[n] < data)
            end = layout.pregaps[n];
        // The gap between the sessions: on a drive's disc wherever there is room for it (a data
        // track closer to the last audio track is in the audio's session), in an image only where
        // the data track's gap is as long.
        const bool sessionGap =
            layout.image ? data - end >= kSessionGapSectors : data > lastAudio + kSessionGapSectors;
        leadOut = sessionGap ? data - kSessionGapSectors : end;
    }
    s.last = int(std::min<size_t>(n, 99));
    s.leadOut = leadOut + kLeadInSectors;
    for (size_t i = 0; i < size_t(s.last); ++i)
        s.starts.push_back(layout.trackStarts[i] + kLeadInSectors);
    return s;
}

}  // namespace

std::string musicBrainzDiscId(const DiscLayout& layout) {
    const AudioSession s = audioSession(layout);
    char text[16];
    sha1_ctx sha;
    sha1_init(&sha);
    auto add = [&](const char* format, uint32_t value) {
        const int n = std::snprintf(text, sizeof text, format, value);
        sha1_update(&sha, size_t(n), reinterpret_cast<const uint8_t*>(text));
    };
    add("%02X", 1);
    add("%02X", uint32_t(s.last));
    add("%08X", s.leadOut);
    for (size_t i = 0; i < 99; ++i) add("%08X", i < s.starts.size() ? s.starts[i] : 0);
    uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&sha, SHA1_DIGEST_SIZE, digest);
    char encoded[BASE64_ENCODE_RAW_LENGTH(SHA1_DIGEST_SIZE) + 1] = {};
    base64_encode_raw(encoded, SHA1_DIGEST_SIZE, digest);
    std::string id(encoded);
    for (char& c : id) c = c == '+' ? '.' : c == '/' ? '_' : c == '=' ? '-' : c;
    return id;
}

std::string musicBrainzUrl(const DiscLayout& layout) {
    const AudioSession s = audioSession(layout);
    std::string url = "https://musicbrainz.org/cdtoc/attach?id=" + musicBrainzDiscId(layout) +
                      "&tracks=" + std::to_string(s.last) + "&toc=1+" + std::to_string(s.last) +
                      "+" + std::to_string(s.leadOut);
    for (uint32_t start : s.starts) url += "+" + std::to_string(start);
    return url;
}

}  // namespace cd
