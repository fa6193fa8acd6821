// A-B loops: a stream that reaches the loop's end continues from its start, with a short
// crossfade over the join whose law follows how alike the two sides are, so the level holds. The
// loop lives on the stream, under any tempo channel, so the stretcher sees continuous audio and
// the wrap holds at every tempo and pitch.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "engine/core/core_internal.h"

namespace engine::detail {

namespace {

constexpr double kFadeSeconds = 0.006;

// The stream at the bottom of a chain (a tempo channel's source), or null.
std::shared_ptr<StreamChannel> streamUnder(std::shared_ptr<Channel> ch) {
    while (ch) {
        if (auto s = std::dynamic_pointer_cast<StreamChannel>(ch)) return s;
        ch = ch->upstream();
    }
    return nullptr;
}

// The normalised correlation of the two sides of a fade (`frames` frames of `chans` channels),
// clamped to [-0.5, 1]: 1 when one is the other scaled, 0 for unrelated material (or silence).
// Weighted by sin(pi t), as the two sides' product weighs in the sum, so that the few periods of
// a low tone that fit in the fade do not bias it.
double fadeCorrelation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int64_t frames,
                       int chans) {
    double ab = 0, aa = 0, bb = 0;
    for (int64_t k = 0; k < frames; ++k) {
        const double w = std::sin((double(k) + 0.5) / double(frames) * std::numbers::pi);
        for (int c = 0; c < chans; ++c) {
            const double x = a[size_t(k * chans + c)], y = b[size_t(k * chans + c)];
            ab += w * x * y;
            aa += w * x * x;
            bb += w * y * y;
        }
    }
    if (aa <= 0 || bb <= 0) return 0;
    return std::clamp(ab / std::sqrt(aa * bb), -0.5, 1.0);
}

// The fade-in's gain at `t` (0 to 1) for two sides of correlation `r`; the fade-out's is the
// gain at 1 - t. The pair keeps the level of the sum: g(t)^2 + g(1-t)^2 + 2r g(t) g(1-t) = 1,
// which is the linear (equal-gain) fade for r = 1 and the equal-power fade for r = 0. Written as
// an even part e and an odd part o = t - 1/2 about the middle, that is
// 2(1+r) e^2 + 2(1-r) o^2 = 1.
double fadeGain(double t, double r) {
    const double o = t - 0.5;
    const double e = std::sqrt(std::max(0.0, (1.0 - 2.0 * (1.0 - r) * o * o) / (2.0 * (1.0 + r))));
    return std::clamp(e + o, 0.0, 1.5);
}

}  // namespace

int64_t LoopRegion::limit(int64_t pos, int64_t want) const {
    return pos < end ? std::min(want, end - pos) : want;
}

void LoopRegion::crossfade(int16_t* dst, int64_t pos, int64_t n, int chans) const {
    const int64_t fadeFrom = end - fade;
    const int64_t first = std::max(pos, fadeFrom);
    const int64_t last = std::min(pos + n, end);
    for (int64_t i = first; i < last; ++i) {
        const int64_t k = i - fadeFrom;
        int16_t* f = dst + (i - pos) * chans;
        const int16_t* in = preroll.data() + k * chans;
        for (int c = 0; c < chans; ++c) {
            const float v = float(f[c]) * gainOut[size_t(k)] + float(in[c]) * gainIn[size_t(k)];
            f[c] = int16_t(std::lrint(std::clamp(v, -32768.0f, 32767.0f)));
        }
    }
}

double LoopRegion::wrap(double before, double after) const {
    if (before >= double(end) || after < double(end)) return after;
    return double(start) + std::fmod(after - double(end), double(end - start));
}

bool StreamChannel::setLoop(int64_t start, int64_t end) {
    if (end <= start) {
        loop.reset();
        return true;
    }
    auto region = std::make_shared<LoopRegion>();
    region->start = start;
    region->end = end;
    // A loop that starts within the fade of the stream's start keeps the whole fade: the frames
    // before the stream's first are silence, so the end fades out into it rather than jumping.
    region->fade = std::min(int64_t(std::lround(rate * kFadeSeconds)), end - start);
    const int64_t fade = region->fade;
    if (fade > 0) {
        // The frames before the start (faded in) and before the end (faded out).
        std::vector<int16_t> tail(size_t(fade * chans));
        region->preroll.assign(size_t(fade * chans), 0);
        const auto readAt = [&](int64_t from, int16_t* dst) {
            const int64_t skip = std::max<int64_t>(0, -from);  // silence before the first frame
            if (skip >= fade) return true;
            if (!source->seek(from + skip)) return false;
            for (int64_t got = skip; got < fade;) {
                const int64_t r = source->read(dst + got * chans, fade - got);
                if (r <= 0) return false;
                got += r;
            }
            return true;
        };
        const bool read =
            readAt(start - fade, region->preroll.data()) && readAt(end - fade, tail.data());
        const bool back = pos >= length || source->seek(pos);
        if (!read || !back) return false;
        const double r = fadeCorrelation(tail, region->preroll, fade, chans);
        for (int64_t k = 0; k < fade; ++k) {
            const double t = (double(k) + 0.5) / double(fade);
            region->gainOut.push_back(float(fadeGain(1.0 - t, r)));
            region->gainIn.push_back(float(fadeGain(t, r)));
        }
    }
    loop = std::move(region);
    return true;
}

}  // namespace engine::detail

namespace engine {

using namespace detail;

BOOL setLoop(DWORD chan, QWORD startByte, QWORD endByte) {
    auto top = findChannel(chan);
    if (!top) return fail(BASS_ERROR_HANDLE, kFalse);
    auto stream = streamUnder(top);
    if (!stream) return fail(BASS_ERROR_NOTAVAIL, kFalse);
    std::lock_guard g(*top->lock);
    const int64_t a = int64_t(startByte / QWORD(stream->frameBytes()));
    const int64_t b = int64_t(endByte / QWORD(stream->frameBytes()));
    if (a >= b) return fail(BASS_ERROR_ILLPARAM, kFalse);
    if (b > stream->lengthFrames()) return fail(BASS_ERROR_POSITION, kFalse);
    if (!stream->setLoop(a, b)) return fail(BASS_ERROR_POSITION, kFalse);
    // Audio decoded ahead may already have passed the loop's end while what is heard is still
    // inside the loop: decode again from what is heard, so the first wrap is not missed.
    bool playing = false;
    const QWORD played = playedPositionBytes(*top, &playing);
    const int64_t heard =
        playing ? int64_t(played / QWORD(top->frameBytes())) : int64_t(top->timelineFrames());
    if (stream->positionFrames() >= b && heard >= a && heard < b && top->seekFrames(heard) &&
        playing)
        flushPlayback(*top, heard);
    return ok(kTrue);
}

BOOL clearLoop(DWORD chan) {
    auto top = findChannel(chan);
    if (!top) return fail(BASS_ERROR_HANDLE, kFalse);
    auto stream = streamUnder(top);
    if (!stream) return fail(BASS_ERROR_NOTAVAIL, kFalse);
    std::lock_guard g(*top->lock);
    const std::shared_ptr<const LoopRegion> was = stream->loop;
    stream->setLoop(0, 0);
    // Audio decoded ahead may already have wrapped to the loop's start while what is heard is
    // still before its end: decode again from what is heard, so that it plays on past the end.
    bool playing = false;
    const QWORD played = playedPositionBytes(*top, &playing);
    const int64_t heard = playing ? int64_t(played / QWORD(top->frameBytes())) : -1;
    // (A tempo channel's stretcher reads ahead of its own place: the stream may have wrapped
    // while that place has not.)
    if (was && playing && heard >= was->start && heard < was->end &&
        (double(stream->positionFrames()) < double(heard) ||
         top->timelineFrames() < double(heard)) &&
        top->seekFrames(heard))
        flushPlayback(*top, heard);
    return ok(kTrue);
}

BOOL getLoop(DWORD chan, QWORD* startByte, QWORD* endByte) {
    auto top = findChannel(chan);
    if (!top) return fail(BASS_ERROR_HANDLE, kFalse);
    auto stream = streamUnder(top);
    if (!stream) return fail(BASS_ERROR_NOTAVAIL, kFalse);
    std::lock_guard g(*top->lock);
    if (!stream->loop) return fail(BASS_ERROR_NOTAVAIL, kFalse);
    if (startByte) *startByte = QWORD(stream->loop->start * stream->frameBytes());
    if (endByte) *endByte = QWORD(stream->loop->end * stream->frameBytes());
    return ok(kTrue);
}

}  // namespace engine
