// CD audio streams: a track read sector by sector through paranoia and handed to the engine as a
// Source of 16-bit stereo at 44100 Hz.
#include <algorithm>
#include <array>
#include <cstring>

#include "engine/cd_internal.h"

namespace engine::cd {

namespace {

class CdTrackSource : public Source {
  public:
    CdTrackSource(std::unique_ptr<SectorReader> reader, int32_t first, int32_t sectors)
        : reader_(std::move(reader)), first_(first), sectors_(sectors) {}

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
            int32_t sector = int32_t(pos_ / kFramesPerSector);
            int offset = int(pos_ % kFramesPerSector);
            if (sector != bufferedSector_) {
                if (!reader_->read(first_ + sector, buffer_.data())) {
                    // Deliver what was read; the failure is reported by the next call.
                    failed_ = true;
                    bufferedSector_ = -1;
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
    std::unique_ptr<SectorReader> reader_;
    int32_t first_, sectors_;
    int64_t pos_ = 0;
    int32_t bufferedSector_ = -1;
    bool failed_ = false;
    std::array<int16_t, kFramesPerSector * 2> buffer_{};
};

}  // namespace

std::unique_ptr<Source> openTrackSource(DWORD drive, DWORD track, int* error) {
    auto fail = [&](int code) -> std::unique_ptr<Source> {
        if (error) *error = code;
        return nullptr;
    };
    auto d = driveAt(drive);
    if (!d) return fail(BASS_ERROR_DEVICE);
    auto disc = d->disc();
    if (!disc) return fail(BASS_ERROR_NOCD);
    if (track >= disc->tracks.size()) return fail(BASS_ERROR_CDTRACK);
    const TrackEntry& t = disc->tracks[track];
    if (!t.audio || t.sectors <= 0) return fail(BASS_ERROR_NOTAUDIO);
    auto reader = d->openReader(t.lsn, t.sectors);
    if (!reader) return fail(BASS_ERROR_CDREAD);
    if (error) *error = BASS_OK;
    return std::make_unique<CdTrackSource>(std::move(reader), t.lsn, t.sectors);
}

}  // namespace engine::cd

HSTREAM BASS_CD_StreamCreate(DWORD drive, DWORD track, DWORD flags) {
    if (flags & ~(BASS_STREAM_DECODE | BASS_STREAM_AUTOFREE)) {
        engine::setError(BASS_ERROR_ILLPARAM);
        return 0;
    }
    int error = BASS_OK;
    auto source = engine::cd::openTrackSource(drive, track, &error);
    if (!source) {
        engine::setError(error);
        return 0;
    }
    return engine::createSourceStream(std::move(source), flags);
}
