// One format out of a stream whose parts differ: an MP3 of files joined end to end, an Ogg file of
// chained streams. Each part's samples go in at its own rate and channel count, and come out as
// 16-bit samples at the first part's, as players deliver them: remixed (mono to both sides of
// stereo, to mono as the mean of all, to stereo by the engine's stereo downmix, otherwise by the
// usual speaker places of the two counts, see placeGains(), or channel by channel past eight
// channels, which have no usual places) and resampled (libsoxr, high quality).
// Threads: one at a time.
#pragma once

#include <soxr.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

class FormatConformer {
  public:
    FormatConformer(int rate, int channels);
    ~FormatConformer();
    FormatConformer(const FormatConformer&) = delete;
    FormatConformer& operator=(const FormatConformer&) = delete;

    // `frames` interleaved frames of a part at `rate` with `channels` (1..16), full scale 1.0.
    // False when no resampler could be made for that rate.
    bool push(const float* samples, size_t frames, int rate, int channels);
    // The end of the stream: what the resampler still holds comes out.
    void finish();
    // Frames ready to be taken, and taking up to `frames` of them into `dst`.
    size_t ready() const { return (out_.size() - outAt_) / size_t(channels_); }
    size_t take(int16_t* dst, size_t frames);
    // Up to `frames` frames into `dst`, at most `left`, calling `more` to decode the next piece
    // whenever none is ready (false at the stream's end); the frames given.
    template <class More>
    int64_t fill(int16_t* dst, int64_t frames, int64_t left, More&& more) {
        int64_t got = 0;
        const int64_t want = frames < left ? frames : left;
        while (got < want) {
            if (ready() == 0) {
                if (!more() && ready() == 0) break;
                continue;
            }
            got += int64_t(take(dst + got * channels_, size_t(want - got)));
        }
        return got;
    }
    // Reads a stream through `read` (the stream's own read in this format, 0 at its end) and throws
    // the frames away: up to `frames` of them, or to the end when `frames` is negative; the frames
    // read. For the length of a stream whose parts differ, and for a seek, which only decoding from
    // the start can find in one.
    template <class Read>
    int64_t discard(int64_t frames, Read&& read) {
        constexpr int64_t kBlock = 4096;
        std::vector<int16_t> scratch(size_t(kBlock) * size_t(channels_));
        int64_t done = 0;
        while (frames < 0 || done < frames) {
            const int64_t want = frames < 0 || frames - done > kBlock ? kBlock : frames - done;
            const int64_t n = read(scratch.data(), want);
            if (n <= 0) break;
            done += n;
        }
        return done;
    }
    // Forgets everything, for a new pass from the stream's start.
    void reset();

  private:
    void resample(const float* in, size_t frames);  // in == nullptr drains
    void dropResampler();
    void append(const float* v, size_t frames);

    int rate_, channels_;
    int inRate_ = 0;
    int placedFrom_ = 0;        // the channel count place_ was made for
    std::vector<float> place_;  // its gains, see placeGains()
    soxr_t soxr_ = nullptr;
    std::vector<float> mix_, res_;
    std::vector<int16_t> out_;
    size_t outAt_ = 0;
};

}  // namespace engine
