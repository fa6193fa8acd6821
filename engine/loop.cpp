// A-B loops: a stream that reaches the loop's end continues from its start, with a short
// equal-power crossfade over the join. The loop lives on the stream, under any tempo channel, so
// the stretcher sees continuous audio and the wrap holds at every tempo and pitch.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/core_internal.h"

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
    region->fade = std::min({int64_t(std::lround(rate * kFadeSeconds)), start, end - start});
    const int64_t fade = region->fade;
    if (fade > 0) {
        region->preroll.assign(size_t(fade * chans), 0);
        bool read = source->seek(start - fade);
        for (int64_t got = 0; read && got < fade;) {
            const int64_t r = source->read(region->preroll.data() + got * chans, fade - got);
            if (r <= 0) read = false;
            got += std::max<int64_t>(r, 0);
        }
        const bool back = pos >= length || source->seek(pos);
        if (!read || !back) return false;
        for (int64_t k = 0; k < fade; ++k) {
            const double t = (double(k) + 0.5) / double(fade) * std::numbers::pi / 2.0;
            region->gainOut.push_back(float(std::cos(t)));
            region->gainIn.push_back(float(std::sin(t)));
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
    stream->setLoop(0, 0);
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
