// The mixer: reads each playing channel's ring, applies volume, pan and attribute slides, adds the
// channels. It runs on the output callback (PortAudio's thread, the null clock's thread, or the
// caller of nullOutputStep): no locks, no allocation, no I/O.
#include <algorithm>
#include <cmath>

#include "engine/output/output_internal.h"

namespace engine::detail {

namespace {

void applySlideRequest(Channel& ch, PlayState& ps) {
    PlayState::SlideRequest r;
    uint32_t s1 = 0;
    if (!ps.readSlide(ps.seenSlideSeq, s1, r)) return;
    const int freq = r.freq, cancel = r.cancel;
    const float vol = r.vol, pan = r.pan;
    const int64_t frames = r.frames;
    ps.seenSlideSeq = s1;
    if (cancel) {
        if (cancel & 1) ps.slideFreq = false;
        if (cancel & 2) ps.slideVol = false;
        if (cancel & 4) ps.slidePan = false;
        return;
    }
    ps.slideLeft = std::max<int64_t>(1, frames);
    const double n = double(ps.slideLeft);
    ps.slideVol = vol >= 0.0f;
    if (ps.slideVol) {
        ps.volTarget = vol;
        ps.volStep = float((vol - ch.volume.load()) / n);
    }
    ps.slidePan = pan >= -1.0f;
    if (ps.slidePan) {
        ps.panTarget = pan;
        ps.panStep = float((pan - ch.pan.load()) / n);
    }
    ps.slideFreq = freq > 0;
    if (ps.slideFreq) {
        ps.freqTarget = freq;
        ps.freqNow = ch.freq.load();
        ps.freqStep = (freq - ps.freqNow) / n;
    }
}

// Advances a running slide by `frames`.
void advanceSlide(Channel& ch, PlayState& ps, int frames) {
    if (!(ps.slideVol || ps.slidePan || ps.slideFreq)) return;
    const int64_t step = std::min<int64_t>(frames, ps.slideLeft);
    ps.slideLeft -= step;
    const bool done = ps.slideLeft <= 0;
    if (ps.slideVol)
        ch.volume = done ? ps.volTarget
                         : std::clamp(ch.volume.load() + ps.volStep * float(step), 0.0f, 1.0f);
    if (ps.slidePan)
        ch.pan =
            done ? ps.panTarget : std::clamp(ch.pan.load() + ps.panStep * float(step), -1.0f, 1.0f);
    if (ps.slideFreq) {
        ps.freqNow += ps.freqStep * double(step);
        ch.freq = done ? ps.freqTarget : int(std::lround(ps.freqNow));
    }
    if (done) {
        ps.slideVol = ps.slidePan = ps.slideFreq = false;
        ps.pendingSlides.fetch_add(1);
    }
}

// Adds the channel's next `frames` frames to `dst`. Returns how many of them the channel was still
// playing for: `frames`, or where its last chunk ended.
int mixChannel(Channel& ch, PlayState& ps, float* dst, int frames) {
    const uint32_t gen = ps.gen.load(std::memory_order_acquire);
    if (ps.playedOutGen == gen) return 0;  // played out, not yet stopped
    applySlideRequest(ch, ps);
    // Gains ramp from the last block's to this block's, so volume changes do not click.
    const float master = out().master.load(std::memory_order_relaxed);
    advanceSlide(ch, ps, frames);
    const float vol = ch.volume.load(std::memory_order_relaxed) * master;
    const float pan = ch.pan.load(std::memory_order_relaxed);
    const float gl = vol * (pan > 0 ? 1.0f - pan : 1.0f);
    const float gr = vol * (pan < 0 ? 1.0f + pan : 1.0f);
    if (ps.lastL < 0) ps.lastL = gl, ps.lastR = gr;
    const float dl = (gl - ps.lastL) / float(frames), dr = (gr - ps.lastR) / float(frames);
    float curL = ps.lastL, curR = ps.lastR;
    int done = 0, live = frames;
    while (Chunk* head = ps.ring.front()) {
        Chunk& c = *head;
        if (c.gen != gen) {  // data from before a seek
            ps.ring.pop();
            ps.rdOffset = 0;
            continue;
        }
        const int n = std::min(frames - done, c.frames - ps.rdOffset);
        const float* src = c.data + ps.rdOffset * 2;
        float* o = dst + done * 2;
        for (int i = 0; i < n; ++i) {
            o[2 * i] += src[2 * i] * curL;
            o[2 * i + 1] += src[2 * i + 1] * curR;
            curL += dl;
            curR += dr;
        }
        ps.rdOffset += n;
        done += n;
        double pos =
            c.frames ? c.startPos + (c.endPos - c.startPos) * ps.rdOffset / c.frames : c.endPos;
        if (c.wrapBy > 0 && pos >= c.wrapAt) pos -= c.wrapBy;
        ps.published.store(pack(gen, pos), std::memory_order_release);
        if (ps.rdOffset >= c.frames) {
            if (c.ends) ps.pendingEnds.fetch_add(c.ends);
            const bool final = c.final;
            ps.ring.pop();
            ps.rdOffset = 0;
            if (final) {
                ps.finished.store(true);
                ps.playedOutGen = gen;
                live = done;
                break;
            }
        }
        if (done >= frames) break;
    }
    ps.lastL = gl;
    ps.lastR = gr;
    return live;
}

// Skips chunks from before a seek at the head of the ring.
void dropStale(PlayState& ps) {
    const uint32_t gen = ps.gen.load(std::memory_order_acquire);
    bool dropped = false;
    for (Chunk* c = ps.ring.front(); c && c->gen != gen; c = ps.ring.front()) {
        ps.ring.pop();
        dropped = true;
    }
    if (dropped) ps.rdOffset = 0;
}

}  // namespace

void mix(float* dst, int frames, bool manual) {
    Output& o = out();
    o.epoch.fetch_add(1, std::memory_order_acq_rel);
    std::fill(dst, dst + frames * 2, 0.0f);
    int live = 0;  // frames mixed while a channel was playing
    for (auto& slot : o.slots) {
        Channel* ch = slot.load(std::memory_order_acquire);
        if (!ch) continue;
        PlayState* ps = ch->play.get();
        const int mode = ps->mode.load(std::memory_order_acquire);
        if (mode == kPlaying) {
            live = std::max(live, mixChannel(*ch, *ps, dst, frames));
        } else if (mode == kPaused) {
            dropStale(*ps);  // seeks while paused must not fill the ring with dead chunks
        }
    }
    for (int i = 0; i < frames * 2; ++i) dst[i] = std::clamp(dst[i], -1.0f, 1.0f);
    captureMixed(dst, live, manual);
    o.framesPlayed.fetch_add(frames, std::memory_order_relaxed);
    o.epoch.fetch_add(1, std::memory_order_acq_rel);
}

void waitMixPass() {
    const uint32_t e = out().epoch.load(std::memory_order_acquire);
    if (!(e & 1)) return;
    while (out().epoch.load(std::memory_order_acquire) == e) std::this_thread::yield();
}

}  // namespace engine::detail
