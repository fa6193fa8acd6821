// Channels: the handle table, file and custom-source streams, reading decoding channels, position
// and length, attributes, DSP chains and syncs.
// Threads: every BASS_ call here from any thread (the handle table has its own mutex, a channel's
// processing its lock); BASS_ChannelGetData runs the channel's DSPs and END syncs on its caller's
// thread; free listeners run on the thread that frees. See docs/threading.md.
#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>

#include "engine/core/core_internal.h"

namespace engine {
namespace detail {
namespace {

std::mutex& tableMutex() {
    static std::mutex m;
    return m;
}
std::unordered_map<DWORD, std::shared_ptr<Channel>>& table() {
    static std::unordered_map<DWORD, std::shared_ptr<Channel>> t;
    return t;
}
std::mutex& listenerMutex() {
    static std::mutex m;
    return m;
}
std::vector<std::function<void(DWORD)>>& listeners() {
    static std::vector<std::function<void(DWORD)>> l;
    return l;
}
std::atomic<uint64_t> dspOrder{0};
// Timeline end (seconds) of the block the DSP procedures on this thread are processing; -1 outside.
thread_local double dspBlockEnd = -1.0;
// Whether that block ended at an A-B loop's end, the next one starting at the loop's start.
thread_local bool dspBlockWrapped = false;
// Whether the block being processed follows a seek (or is the channel's first).
thread_local bool dspBlockFresh = false;

}  // namespace

Channel::~Channel() = default;

DWORD newHandle() {
    static std::atomic<DWORD> next{0x1000};
    DWORD h = next.fetch_add(1);
    if (h == 0) h = next.fetch_add(1);
    return h;
}

DWORD registerChannel(std::shared_ptr<Channel> ch) {
    ch->handle = newHandle();
    ch->freq = ch->rate;
    // A channel that can play has its playback state from the start: set once here, before any
    // other thread sees the channel, it is read without the channel's lock.
    if (!ch->isDecode()) ch->play = makePlayState();
    const DWORD h = ch->handle;
    std::lock_guard g(tableMutex());
    table()[h] = std::move(ch);
    return h;
}

std::shared_ptr<Channel> findChannel(DWORD handle) {
    std::lock_guard g(tableMutex());
    auto it = table().find(handle);
    return it == table().end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<Channel>> allChannels() {
    std::lock_guard g(tableMutex());
    std::vector<std::shared_ptr<Channel>> all;
    for (auto& [h, ch] : table()) all.push_back(ch);
    return all;
}

bool freeChannel(DWORD handle) {
    std::shared_ptr<Channel> ch;
    {
        std::lock_guard g(tableMutex());
        auto it = table().find(handle);
        if (it == table().end()) return false;
        ch = it->second;
        table().erase(it);
    }
    detachFromOutput(*ch);
    const DWORD owned = ch->ownedSource();
    std::vector<std::function<void(DWORD)>> ls;
    {
        std::lock_guard g(listenerMutex());
        ls = listeners();
    }
    for (auto& l : ls) l(handle);
    if (owned) freeChannel(owned);
    return true;
}

void freeAllChannels() {
    std::vector<DWORD> handles;
    {
        std::lock_guard g(tableMutex());
        for (auto& [h, ch] : table()) handles.push_back(h);
    }
    // Tempo channels first, so that each frees its own source.
    std::sort(handles.begin(), handles.end(), std::greater<DWORD>());
    for (DWORD h : handles) freeChannel(h);
}

// --- Channel ---------------------------------------------------------------------------------

int64_t Channel::pull(int16_t* dst, int64_t frames, PullEvents& ev) {
    for (;;) {
        if (ended && dspLag == 0) {
            if (!loops()) return 0;
            seekFrames(0);  // a looping channel left at its end by a seek
        }
        int64_t n = 0;
        if (ended) {
            // The source has ended: silence pushes out the frames the chain still holds.
            n = std::min(frames, dspLag);
            std::fill(dst, dst + n * chans, int16_t(0));
            runDsp(dst, n);
            dspLag -= n;
            if (dspLag > 0) return n;
        } else {
            primeLaggingChain(ev);
            if (ended) continue;
            wrappedFrom = -1;
            n = readRaw(dst, frames, ev);
            if (n > 0) {
                emptyLoops = 0;
                runDsp(dst, n);
            }
            if (!ended) return n;
            if (dspLag > 0) {
                if (n > 0) return n;
                continue;
            }
        }
        ++ev.ends;
        if (!loops() || ev.readError) return n;
        if (n == 0 && emptyLoops++ > 0) return 0;  // nothing to loop over
        seekFrames(0);
        if (n > 0) return n;
    }
}

void Channel::primeLaggingChain(PullEvents& ev) {
    const int64_t latency = dspLatency();
    const int64_t room = int64_t(primeBuffer.size()) / chans;
    while (!ended && dspLag < latency && room > 0) {
        wrappedFrom = -1;
        const int64_t n = readRaw(primeBuffer.data(), std::min(room, latency - dspLag), ev);
        if (n <= 0) break;
        runDsp(primeBuffer.data(), n);  // the chain's output for the frames before the seek
        dspLag += n;
    }
    // The source ended before the chain was full (a short file, a seek near the end): silence
    // fills it, its output dropped too, so that what follows is the source's first frame read.
    for (int64_t fill = ended ? latency - dspLag : 0; fill > 0 && room > 0;) {
        const int64_t n = std::min(room, fill);
        std::fill(primeBuffer.begin(), primeBuffer.begin() + n * chans, int16_t(0));
        runDsp(primeBuffer.data(), n);
        fill -= n;
    }
}

int64_t Channel::dspLatency() const {
    int64_t total = 0;
    for (const DspEntry& e : *dsp) total += e.latency;
    return total;
}

void Channel::runDsp(int16_t* samples, int64_t frames) {
    const auto chain = dsp;  // a procedure may change the chain while it runs
    if (chain->empty()) return;
    const DWORD bytes = DWORD(frames * frameBytes());
    // A tempo channel's source runs its own chain inside.
    const double outer = dspBlockEnd;
    const bool outerWrapped = dspBlockWrapped;
    const bool outerFresh = dspBlockFresh;
    dspBlockWrapped = wrappedFrom >= 0;
    dspBlockEnd = (dspBlockWrapped ? double(wrappedFrom) : timelineFrames()) / double(rate);
    dspBlockFresh = freshBlock;
    freshBlock = false;
    wrappedFrom = -1;
    for (const DspEntry& e : *chain) {
        if (e.proc)
            e.proc(e.handle, handle, samples, bytes, e.user);
        else if (e.fx)
            if (const int64_t clipped = e.fx->process(samples, frames, chans, rate);
                clipped > 0 && e.fxType == BASS_FX_PEAKEQ)
                eqClipped.fetch_add(clipped, std::memory_order_relaxed);
    }
    dspBlockEnd = outer;
    dspBlockWrapped = outerWrapped;
    dspBlockFresh = outerFresh;
}

void Channel::addDsp(DspEntry e) {
    e.order = dspOrder.fetch_add(1);
    auto next = std::make_shared<std::vector<DspEntry>>(*dsp);
    auto at = std::find_if(next->begin(), next->end(),
                           [&](const DspEntry& x) { return x.priority < e.priority; });
    next->insert(at, std::move(e));
    dsp = std::move(next);
}

bool Channel::removeDsp(DWORD dspHandle) {
    auto next = std::make_shared<std::vector<DspEntry>>(*dsp);
    auto at = std::find_if(next->begin(), next->end(),
                           [&](const DspEntry& x) { return x.handle == dspHandle; });
    if (at == next->end()) return false;
    next->erase(at);
    dsp = std::move(next);
    return true;
}

const DspEntry* Channel::findEffect(int type) const {
    for (const DspEntry& e : *dsp)
        if (e.fx && e.fxType == type) return &e;
    return nullptr;
}

void Channel::fireSyncs(DWORD type, DWORD data) {
    std::vector<SyncEntry> due;
    {
        std::lock_guard g(syncMutex);
        for (auto it = syncs.begin(); it != syncs.end();) {
            if ((it->type & ~BASS_SYNC_ONETIME) == type) {
                due.push_back(*it);
                if (it->type & BASS_SYNC_ONETIME) {
                    it = syncs.erase(it);
                    continue;
                }
            }
            ++it;
        }
    }
    for (const SyncEntry& s : due)
        if (s.proc) s.proc(s.handle, handle, data, s.user);
}

void Channel::fireEvents(const PullEvents& ev) {
    if (ev.readError) {
        auto failed =
            ev.readErrorChannel == handle ? shared_from_this() : findChannel(ev.readErrorChannel);
        if (failed) failed->fireSyncs(BASS_SYNC_CD_ERROR, 0);
        if (failed.get() != this) fireSyncs(BASS_SYNC_CD_ERROR, 0);
    }
    for (int i = 0; i < ev.ends; ++i) fireSyncs(BASS_SYNC_END, 0);
}

// --- StreamChannel ---------------------------------------------------------------------------

StreamChannel::StreamChannel(std::unique_ptr<Source> src) : source(std::move(src)) {
    rate = source->rate();
    chans = source->channels();
    speakerMask = source->speakerMask();
    ctype = source->ctype();
    length = std::max<int64_t>(0, source->lengthFrames());
    ended = length == 0;
    knownLength = length;
    knownPosition = 0;
}

bool StreamChannel::seekFrames(int64_t frame) {
    if (!moveTo(frame)) return false;
    discontinue();
    return true;
}

void StreamChannel::rewindRaw(int64_t frames) {
    moveTo(int64_t(std::floor(deliveredFrames(frames) + 1e-6)));
}

double StreamChannel::deliveredFrames(int64_t lag) const {
    int64_t at = pos - lag;
    // Read past an A-B loop's end and back at its start: what is not yet delivered is before the
    // end.
    if (loop && pos >= loop->start && at < loop->start) at = loop->end - (loop->start - at);
    return double(std::max<int64_t>(0, at));
}

bool StreamChannel::moveTo(int64_t frame) {
    frame = std::clamp<int64_t>(frame, 0, length);
    if (frame < length && !source->seek(frame)) return false;
    pos = frame;
    ended = pos >= length;
    return true;
}

int64_t StreamChannel::readRaw(int16_t* dst, int64_t frames, PullEvents& ev) {
    if (ended) return 0;
    const int64_t from = pos;
    int64_t want = std::min(frames, length - pos);
    if (loop) want = loop->limit(pos, want);  // a block never spans the loop's end
    int64_t got = 0;
    while (got < want) {
        const int64_t r = source->read(dst + got * chans, want - got);
        if (r < 0) {
            ev.readError = true;
            ev.readErrorChannel = handle;
            ended = true;
            break;
        }
        if (r == 0) break;
        got += r;
    }
    pos += got;
    if (loop && !ended) {
        loop->crossfade(dst, from, got, chans);
        if (got == want && pos == loop->end) {
            if (!moveTo(loop->start)) ended = true;
            if (!ended) wrappedFrom = loop->end;
            return got;
        }
    }
    if (got < frames || pos >= length) ended = true;
    return got;
}

}  // namespace detail

// --- engine calls ----------------------------------------------------------------------------

using namespace detail;

double dspBlockEndSeconds() {
    return dspBlockEnd;
}

bool dspBlockEndsLoop() {
    return dspBlockWrapped;
}

bool dspBlockFollowsSeek() {
    return dspBlockFresh;
}

HDSP setLaggingDsp(DWORD handle, DSPPROC* proc, void* user, int priority, int latencyFrames) {
    return guarded(HDSP(0), [&]() -> HDSP {
        auto ch = findChannel(handle);
        if (!ch) return fail(BASS_ERROR_HANDLE, HDSP(0));
        if (!proc || latencyFrames < 0) return fail(BASS_ERROR_ILLPARAM, HDSP(0));
        // Only a stream can read again what the procedure held when it is removed.
        if (latencyFrames > 0 && !dynamic_cast<StreamChannel*>(ch.get()))
            return fail(BASS_ERROR_NOTAVAIL, HDSP(0));
        DspEntry e;
        e.handle = newHandle();
        e.priority = priority;
        e.proc = proc;
        e.user = user;
        e.latency = latencyFrames;
        std::lock_guard g(*ch->lock);
        const size_t room = size_t(std::min<int64_t>(latencyFrames, 16384) * ch->chans);
        if (ch->primeBuffer.size() < room) ch->primeBuffer.resize(room);
        ch->addDsp(e);
        return ok(e.handle);
    });
}

int64_t faultySamples(DWORD handle) {
    for (auto ch = detail::findChannel(handle); ch; ch = ch->upstream())
        if (const auto* stream = dynamic_cast<const detail::StreamChannel*>(ch.get()))
            return stream->source ? stream->source->faultySamples() : 0;
    return 0;
}

int64_t sourceOverSamples(DWORD handle) {
    for (auto ch = detail::findChannel(handle); ch; ch = ch->upstream())
        if (const auto* stream = dynamic_cast<const detail::StreamChannel*>(ch.get()))
            return stream->source ? stream->source->overSamples() : 0;
    return 0;
}

uint32_t speakerMask(DWORD handle) {
    const auto ch = detail::findChannel(handle);
    return ch ? ch->speakerMask : 0;
}

namespace {
// What `ask` reads of the source of the stream `handle`, or of the stream a tempo channel reads;
// `none` for other channels.
template <class T, class Ask>
T askSource(DWORD handle, T none, Ask ask) {
    for (auto ch = detail::findChannel(handle); ch; ch = ch->upstream())
        if (const auto* stream = dynamic_cast<const detail::StreamChannel*>(ch.get()))
            return stream->source ? ask(*stream->source) : none;
    return none;
}
}  // namespace

int64_t missingFrames(DWORD handle) {
    return askSource(handle, int64_t(0), [](const Source& s) { return s.missingFrames(); });
}

int64_t undecodedFrames(DWORD handle) {
    return askSource(handle, int64_t(0), [](const Source& s) { return s.undecodedFrames(); });
}

int64_t silencedFrames(DWORD handle) {
    return askSource(handle, int64_t(0), [](const Source& s) { return s.silencedFrames(); });
}

bool cutOff(DWORD handle) {
    return askSource(handle, false, [](const Source& s) { return s.cutOff(); });
}

int64_t equalizerClippedSamples(DWORD handle) {
    int64_t clipped = 0;
    for (auto ch = detail::findChannel(handle); ch; ch = ch->upstream())
        clipped += ch->eqClipped.load(std::memory_order_relaxed);
    return clipped;
}

int64_t stretcherClippedSamples(DWORD handle) {
    int64_t clipped = 0;
    for (auto ch = detail::findChannel(handle); ch; ch = ch->upstream())
        clipped += ch->stretchClipped.load(std::memory_order_relaxed);
    return clipped;
}

void addChannelFreeListener(std::function<void(DWORD)> listener) {
    std::lock_guard g(listenerMutex());
    listeners().push_back(std::move(listener));
}

HSTREAM createSourceStream(std::unique_ptr<Source> source, DWORD flags) {
    return guarded(HSTREAM(0), [&]() -> HSTREAM {
        if (!source) return fail(BASS_ERROR_ILLPARAM, HSTREAM(0));
        if (!(flags & BASS_STREAM_DECODE) && !outputReady())
            return fail(BASS_ERROR_INIT, HSTREAM(0));
        // The stretcher and the mixer take kMinRate to kMaxRate and at most kMaxChannels.
        if (source->rate() < kMinRate || source->channels() <= 0 || source->rate() > kMaxRate ||
            source->channels() > kMaxChannels)
            return fail(BASS_ERROR_FORMAT, HSTREAM(0));
        auto ch = std::make_shared<StreamChannel>(std::move(source));
        ch->flags = flags & (BASS_STREAM_DECODE | BASS_STREAM_AUTOFREE | BASS_SAMPLE_LOOP);
        return ok(registerChannel(ch));
    });
}

}  // namespace engine

using namespace engine;
using namespace engine::detail;

namespace {

// A channel by handle, with the handle error set when there is none.
std::shared_ptr<Channel> channelOrFail(DWORD handle) {
    auto ch = findChannel(handle);
    if (!ch) engine::setError(BASS_ERROR_HANDLE);
    return ch;
}

}  // namespace

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    return guarded(HSTREAM(0), [&]() -> HSTREAM {
        (void)length;
        if (mem || offset != 0) return fail(BASS_ERROR_NOTAVAIL, HSTREAM(0));
        if (!file) return fail(BASS_ERROR_FILEOPEN, HSTREAM(0));
        if (!(flags & BASS_STREAM_DECODE) && !outputReady())
            return fail(BASS_ERROR_INIT, HSTREAM(0));
        int error = BASS_OK;
        auto source = openFileSource(static_cast<const char*>(file), &error);
        if (!source) return fail(error, HSTREAM(0));
        return createSourceStream(std::move(source), flags);
    });
}

HMUSIC BASS_MusicLoad(BOOL, const void*, QWORD, DWORD, DWORD, DWORD) {
    return fail(BASS_ERROR_FILEFORM, HMUSIC(0));  // tracker modules are not played
}

BOOL BASS_StreamFree(HSTREAM handle) {
    return guarded(kFalse, [&]() -> BOOL {
        return freeChannel(handle) ? ok(kTrue) : fail(BASS_ERROR_HANDLE, kFalse);
    });
}

BOOL BASS_MusicFree(HMUSIC) {
    return fail(BASS_ERROR_HANDLE, kFalse);
}

namespace {

// The channel's timeline position in frames, with its lock held; kept for callers that find the
// lock held.
int64_t notePosition(Channel& ch) {
    const int64_t frame =
        std::clamp<int64_t>(int64_t(std::floor(ch.timelineFrames() + 1e-6)), 0, ch.lengthFrames());
    ch.knownPosition.store(frame, std::memory_order_relaxed);
    return frame;
}

}  // namespace

QWORD BASS_ChannelGetLength(DWORD handle) {
    auto ch = channelOrFail(handle);
    if (!ch) return QWORD(-1);
    std::unique_lock g(*ch->lock, std::try_to_lock);
    if (!g.owns_lock()) {
        const int64_t known = ch->knownLength.load(std::memory_order_relaxed);
        if (known >= 0) return ok(QWORD(known * ch->frameBytes()));
        g.lock();
    }
    const int64_t length = ch->lengthFrames();
    ch->knownLength.store(length, std::memory_order_relaxed);
    return ok(QWORD(length * ch->frameBytes()));
}

QWORD BASS_ChannelGetPosition(DWORD handle) {
    auto ch = channelOrFail(handle);
    if (!ch) return QWORD(-1);
    bool valid = false;
    const QWORD played = playedPositionBytes(*ch, &valid);
    if (valid) return ok(played);
    std::unique_lock g(*ch->lock, std::try_to_lock);
    if (!g.owns_lock()) {
        const int64_t known = ch->knownPosition.load(std::memory_order_relaxed);
        if (known >= 0) return ok(QWORD(known * ch->frameBytes()));
        g.lock();
    }
    return ok(QWORD(notePosition(*ch) * ch->frameBytes()));
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos) {
    return guarded(kFalse, [&]() -> BOOL {
        auto ch = channelOrFail(handle);
        if (!ch) return kFalse;
        std::lock_guard g(*ch->lock);
        const int64_t frame = int64_t(pos / QWORD(ch->frameBytes()));
        if (frame > ch->lengthFrames()) return fail(BASS_ERROR_POSITION, kFalse);
        if (!ch->seekFrames(frame)) return fail(BASS_ERROR_POSITION, kFalse);
        notePosition(*ch);
        flushPlayback(*ch, frame);
        return ok(kTrue);
    });
}

float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    auto ch = channelOrFail(handle);
    if (!ch) return -1.0f;
    return ok(float(double(pos) / double(ch->frameBytes()) / double(ch->rate)));
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos) {
    auto ch = channelOrFail(handle);
    if (!ch) return QWORD(-1);
    if (!(pos >= 0)) return fail(BASS_ERROR_ILLPARAM, QWORD(-1));
    const double frames = std::floor(double(pos) * ch->rate + 1e-6);
    return ok(QWORD(frames) * QWORD(ch->frameBytes()));
}

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
    auto ch = channelOrFail(handle);
    if (!ch) return kFalse;
    if (!info) return fail(BASS_ERROR_ILLPARAM, kFalse);
    // Samples are always delivered as 16-bit, so BASS_SAMPLE_8BITS is never reported.
    info->freq = DWORD(ch->rate);
    info->chans = DWORD(ch->chans);
    info->flags = ch->flags;
    info->ctype = ch->ctype;
    return ok(kTrue);
}

BOOL BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) {
    auto ch = channelOrFail(handle);
    if (!ch) return kFalse;
    if (freq) *freq = DWORD(ch->freq.load());
    if (volume) *volume = DWORD(std::lround(ch->volume.load() * 100.0f));
    if (pan) *pan = int(std::lround(ch->pan.load() * 100.0f));
    return ok(kTrue);
}

BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) {
    auto ch = channelOrFail(handle);
    if (!ch) return kFalse;
    if ((freq != -1 && freq != 0 && (freq < 100 || freq > 200000)) ||
        (volume != -1 && (volume < 0 || volume > 100)) ||
        (pan != -101 && (pan < -100 || pan > 100)))
        return fail(BASS_ERROR_ILLPARAM, kFalse);
    if (freq == 0) ch->freq = ch->rate;
    if (freq > 0) ch->freq = freq;
    if (volume >= 0) ch->volume = float(volume) / 100.0f;
    if (pan != -101) ch->pan = float(pan) / 100.0f;
    cancelSlide(*ch, freq != -1, volume != -1, pan != -101);
    return ok(kTrue);
}

int BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    return guarded(-1, [&]() -> int {
        auto ch = channelOrFail(handle);
        if (!ch) return -1;
        if (!ch->isDecode()) return fail(BASS_ERROR_DECODE, -1);
        if (!buffer) return fail(BASS_ERROR_ILLPARAM, -1);
        auto* dst = static_cast<int16_t*>(buffer);
        const int64_t frames = int64_t(length) / ch->frameBytes();
        int64_t got = 0;
        PullEvents ev;
        bool atEnd = false;
        {
            std::lock_guard g(*ch->lock);
            if (ch->atEnd() && !ch->loops()) {
                atEnd = true;
            } else {
                while (got < frames) {
                    const int64_t n = ch->pull(dst + got * ch->chans, frames - got, ev);
                    got += n;
                    if (n == 0 && ch->atEnd()) break;
                    if (n == 0 && ev.ends > 0 && ch->loops() && got == 0) break;  // empty loop
                }
            }
            notePosition(*ch);
        }
        ch->fireEvents(ev);
        if (atEnd || (got == 0 && frames > 0)) return fail(BASS_ERROR_ENDED, -1);
        return ok(int(got * ch->frameBytes()));
    });
}

HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC* proc, void* user, int priority) {
    return guarded(HDSP(0), [&]() -> HDSP {
        auto ch = channelOrFail(handle);
        if (!ch) return 0;
        if (!proc) return fail(BASS_ERROR_ILLPARAM, HDSP(0));
        DspEntry e;
        e.handle = newHandle();
        e.priority = priority;
        e.proc = proc;
        e.user = user;
        std::lock_guard g(*ch->lock);
        ch->addDsp(e);
        return ok(e.handle);
    });
}

BOOL BASS_ChannelRemoveDSP(DWORD handle, HDSP dsp) {
    return guarded(kFalse, [&]() -> BOOL {
        auto ch = channelOrFail(handle);
        if (!ch) return kFalse;
        std::lock_guard g(*ch->lock);
        for (const DspEntry& e : *ch->dsp)
            if (e.handle == dsp && e.proc) {
                const bool lagging = e.latency > 0;
                ch->removeDsp(dsp);
                // The frames it held are read again, so that nothing is skipped.
                if (lagging && ch->dspLag > 0) {
                    ch->rewindRaw(ch->dspLag);
                    ch->dspLag = 0;
                }
                return ok(kTrue);
            }
        return fail(BASS_ERROR_HANDLE, kFalse);
    });
}

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user) {
    return guarded(HSYNC(0), [&]() -> HSYNC {
        (void)param;
        auto ch = channelOrFail(handle);
        if (!ch) return 0;
        const DWORD base = type & ~BASS_SYNC_ONETIME;
        if (!proc) return fail(BASS_ERROR_ILLPARAM, HSYNC(0));
        if (base != BASS_SYNC_END && base != BASS_SYNC_SLIDE && base != BASS_SYNC_CD_ERROR)
            return fail(BASS_ERROR_ILLTYPE, HSYNC(0));
        SyncEntry s{newHandle(), type, proc, user};
        std::lock_guard g(ch->syncMutex);
        ch->syncs.push_back(s);
        return ok(s.handle);
    });
}

BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync) {
    return guarded(kFalse, [&]() -> BOOL {
        auto ch = channelOrFail(handle);
        if (!ch) return kFalse;
        std::lock_guard g(ch->syncMutex);
        auto it = std::find_if(ch->syncs.begin(), ch->syncs.end(),
                               [&](const SyncEntry& s) { return s.handle == sync; });
        if (it == ch->syncs.end()) return fail(BASS_ERROR_HANDLE, kFalse);
        ch->syncs.erase(it);
        return ok(kTrue);
    });
}
