// CD audio streams: a track read sector by sector through paranoia and handed to the engine as a
// Source of 16-bit stereo at 44100 Hz, shifted by the drive's read offset.
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "disc/cd_ext.h"
#include "disc/cd_internal.h"

namespace engine::cd {

namespace {

int64_t floorDiv(int64_t a, int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The sectors of the disc's data tracks, first and end of each.
using SectorRanges = std::vector<std::pair<int32_t, int32_t>>;

SectorRanges dataSectors(const Disc& disc) {
    SectorRanges data;
    for (const TrackEntry& t : disc.tracks)
        if (!t.audio) data.emplace_back(t.lsn, t.lsn + t.sectors);
    return data;
}

bool inRanges(const SectorRanges& ranges, int32_t sector) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [sector](const auto& r) { return sector >= r.first && sector < r.second; });
}

class CdTrackSource : public Source {
  public:
    // The track's audio starts at disc frame `startFrame` (its first sector times 588 plus the
    // read offset); sectors outside [0, leadout) and those of data tracks (which a read offset
    // reaches at the track's edges: they hold no audio) read as silence.
    CdTrackSource(std::unique_ptr<SectorReader> reader, int64_t startFrame, int32_t sectors,
                  int32_t leadout, SectorRanges data)
        : reader_(std::move(reader)),
          startFrame_(startFrame),
          sectors_(sectors),
          leadout_(leadout),
          data_(std::move(data)) {}

    int rate() const override { return 44100; }
    int channels() const override { return 2; }
    int64_t lengthFrames() const override { return int64_t(sectors_) * kFramesPerSector; }
    DWORD ctype() const override { return BASS_CTYPE_STREAM_CD; }
    int lastError() const override { return BASS_ERROR_CDREAD; }

    int64_t read(int16_t* dst, int64_t frames) override {
        if (failed_) return -1;
        int64_t done = 0;
        const int64_t length = lengthFrames();
        while (done < frames && pos_ < length) {
            const int64_t discFrame = startFrame_ + pos_;
            const auto sector = int32_t(floorDiv(discFrame, kFramesPerSector));
            const int offset = int(discFrame - int64_t(sector) * kFramesPerSector);
            if (sector != bufferedSector_) {
                if (sector < 0 || sector >= leadout_ || inRanges(data_, sector)) {
                    buffer_.fill(0);
                } else if (!reader_->read(sector, buffer_.data())) {
                    // Deliver what was read; the failure is reported by the next call.
                    failed_ = true;
                    bufferedSector_ = kNone;
                    return done > 0 ? done : -1;
                }
                bufferedSector_ = sector;
            }
            int64_t n =
                std::min<int64_t>({kFramesPerSector - offset, frames - done, length - pos_});
            std::memcpy(dst + done * 2, buffer_.data() + offset * 2, size_t(n) * 4);
            done += n;
            pos_ += n;
        }
        return done;
    }

    bool seek(int64_t frame) override {
        if (frame < 0 || frame > lengthFrames()) return false;
        pos_ = frame;
        failed_ = false;
        return true;
    }

  private:
    static constexpr int32_t kNone = INT32_MIN;
    std::unique_ptr<SectorReader> reader_;
    int64_t startFrame_;
    int32_t sectors_, leadout_;
    SectorRanges data_;
    int64_t pos_ = 0;
    int32_t bufferedSector_ = kNone;
    bool failed_ = false;
    std::array<int16_t, kFramesPerSector * 2> buffer_{};
};

// The counters of each CD stream, while its source lives.
std::mutex gReportsMutex;
std::map<HSTREAM, std::weak_ptr<ReadCounters>> gReports;

// The audio of `t` (its sectors shifted by the drive's read offset) as a source.
std::unique_ptr<Source> openRange(Drive& drive, const Disc& disc, uint64_t generation,
                                  const TrackEntry& t, int* error,
                                  std::shared_ptr<ReadCounters> counters) {
    auto fail = [&](int code) -> std::unique_ptr<Source> {
        if (error) *error = code;
        return nullptr;
    };
    // The sectors the shifted track touches, inside the disc.
    const int64_t startFrame = int64_t(t.lsn) * kFramesPerSector + drive.readOffset.load();
    const int64_t firstSector = floorDiv(startFrame, kFramesPerSector);
    const int64_t endSector =
        floorDiv(startFrame + int64_t(t.sectors) * kFramesPerSector - 1, kFramesPerSector) + 1;
    auto lo = int32_t(std::clamp<int64_t>(firstSector, 0, disc.leadout));
    auto hi = int32_t(std::clamp<int64_t>(endSector, 0, disc.leadout));
    // Nor the sectors of a data track beside it, which are never read.
    SectorRanges data = dataSectors(disc);
    while (lo < hi && inRanges(data, lo)) ++lo;
    while (hi > lo && inRanges(data, hi - 1)) --hi;
    std::unique_ptr<SectorReader> reader;
    if (hi > lo) {
        reader = drive.openReader(lo, hi - lo, std::move(counters), generation);
        if (!reader) return fail(BASS_ERROR_CDREAD);
    }
    if (error) *error = BASS_OK;
    return std::make_unique<CdTrackSource>(std::move(reader), startFrame, t.sectors, disc.leadout,
                                           std::move(data));
}

}  // namespace

std::unique_ptr<Source> openTrackSource(DWORD drive, DWORD track, int* error,
                                        std::shared_ptr<ReadCounters> counters) {
    auto fail = [&](int code) -> std::unique_ptr<Source> {
        if (error) *error = code;
        return nullptr;
    };
    auto d = driveAt(drive);
    if (!d) return fail(BASS_ERROR_DEVICE);
    uint64_t generation = 0;
    auto disc = d->disc(&generation);
    if (!disc) return fail(BASS_ERROR_NOCD);
    if (track == kHiddenTrack) {
        // The first track's pregap, read as a track of its own.
        if (disc->tracks.empty()) return fail(BASS_ERROR_CDTRACK);
        const TrackEntry& first = disc->tracks.front();
        if (!first.audio || first.lsn <= 0) return fail(BASS_ERROR_NOTAUDIO);
        TrackEntry hidden = first;
        hidden.lsn = 0;
        hidden.sectors = first.lsn;
        return openRange(*d, *disc, generation, hidden, error, std::move(counters));
    }
    if (track >= disc->tracks.size()) return fail(BASS_ERROR_CDTRACK);
    const TrackEntry& t = disc->tracks[track];
    if (!t.audio || t.sectors <= 0) return fail(BASS_ERROR_NOTAUDIO);
    return openRange(*d, *disc, generation, t, error, std::move(counters));
}

namespace {

HSTREAM createTrackStream(DWORD drive, DWORD track, DWORD flags) {
    if (flags & ~(BASS_STREAM_DECODE | BASS_STREAM_AUTOFREE)) {
        setError(BASS_ERROR_ILLPARAM);
        return 0;
    }
    int error = BASS_OK;
    auto counters = std::make_shared<ReadCounters>();
    auto source = openTrackSource(drive, track, &error, counters);
    if (!source) {
        setError(error);
        return 0;
    }
    HSTREAM h = createSourceStream(std::move(source), flags);
    if (h) {
        std::lock_guard lk(gReportsMutex);
        std::erase_if(gReports, [](const auto& e) { return e.second.expired(); });
        gReports[h] = counters;
    }
    return h;
}

}  // namespace

}  // namespace engine::cd

HSTREAM BASS_CD_StreamCreate(DWORD drive, DWORD track, DWORD flags) {
    if (track == engine::cd::kHiddenTrack) {
        engine::setError(BASS_ERROR_CDTRACK);
        return 0;
    }
    return engine::cd::createTrackStream(drive, track, flags);
}

namespace engine {

HSTREAM cdHiddenTrackStreamCreate(DWORD drive, DWORD flags) {
    return cd::createTrackStream(drive, cd::kHiddenTrack, flags);
}

bool cdStreamReadReport(HSTREAM stream, CdReadReport* out) {
    std::shared_ptr<cd::ReadCounters> c;
    {
        std::lock_guard lk(cd::gReportsMutex);
        auto it = cd::gReports.find(stream);
        if (it != cd::gReports.end()) c = it->second.lock();
    }
    if (!c || !out) {
        setError(c ? BASS_ERROR_ILLPARAM : BASS_ERROR_HANDLE);
        return false;
    }
    out->sectorsRead = c->sectorsRead.load();
    out->corrected = c->corrected.load();
    out->skipped = c->skipped.load();
    out->reReads = c->reReads.load();
    out->readErrors = c->readErrors.load();
    setError(BASS_OK);
    return true;
}

}  // namespace engine
