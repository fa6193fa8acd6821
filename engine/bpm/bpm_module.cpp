#include "engine/bpm/bpm_module.h"

namespace engine::bpm::detail {

Module& module() {
    static Module m;
    return m;
}

// On the thread that produces the channel's audio (the engine's decoder, or a caller of
// BASS_ChannelGetData / BASS_ChannelPlay): copy, never wait.
void tapProc(HDSP, DWORD, void* buffer, DWORD length, void* user) {
    Tap* t = static_cast<Tap*>(user);
    if (!t->enabled.load(std::memory_order_relaxed)) return;
    const int chans = t->chans;
    const size_t frames = length / (2 * size_t(chans));
    if (frames == 0) return;
    if (t->ring.writable() < frames) return;  // the worker fell far behind: drop the block
    const int16_t* s = static_cast<const int16_t*>(buffer);
    float mono[512];
    for (size_t done = 0; done < frames;) {
        const size_t n = std::min<size_t>(512, frames - done);
        t->mixer->mix(s + done * size_t(chans), n, mono);
        t->ring.write(mono, n);
        done += n;
    }
    const Anchor a{t->ring.written(), engine::dspBlockEndSeconds(), engine::dspBlockEndsLoop()};
    t->anchors.write(&a, 1);
}

// On the tempo channel: counts the frames played, nothing else.
void clockProc(HDSP, DWORD, void*, DWORD length, void* user) {
    Tap* t = static_cast<Tap*>(user);
    t->played.fetch_add(length / (2 * uint64_t(t->playChans)), std::memory_order_relaxed);
}

}  // namespace engine::bpm::detail
