// The output capture: a copy of every frame the output plays, written to a WAV file.
//
// Threads (docs/threading.md):
// - The output callback (PortAudio's thread, the null clock's thread, or the caller of
//   nullOutputStep) converts each mixed block to 16-bit and pushes it into a ring: no lock, no
//   allocation, no I/O. Frames that do not fit are counted as lost, except on nullOutputStep's
//   thread, which runs faster than real time and waits for the writer instead.
// - The capture writer, a thread of its own from setCapture to the capture's end, drains the ring
//   into the file through libsndfile, which rewrites the header after every write, so the file on
//   disk is always a complete WAV of what has been written.
// - Control calls (setCapture, captureStatus, BASS_Free's flush) take the capture's mutex.
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/core/core_internal.h"
#include "engine/spsc_ring.h"

namespace engine::detail {
namespace {

constexpr int kRate = 44100;
constexpr size_t kRingSamples = size_t(1) << 19;  // 262144 frames: about 6 s of stereo
// Both WAV sizes are signed 32-bit: the data stops at the last whole frame below that.
constexpr int64_t kMaxFrames = (2147483647 - 36) / 4;

// Output side, outside the capture so that the output callback reads them without making it.
// `capturing` and `pushing` form a handshake: the producer raises `pushing` before it looks at
// `capturing`, and whoever clears `capturing` waits for `pushing` to fall, after which no push is
// under way or can start.
std::atomic<bool> capturing{false};
std::atomic<int> pushing{0};

struct Capture {
    SpscRing<int16_t> ring{kRingSamples};
    std::atomic<int64_t> lost{0};

    std::mutex m;  // everything below; control calls and the writer
    std::condition_variable wake, flushed;
    std::thread writer;
    bool stop = false;
    uint64_t flushAsked = 0, flushDone = 0;
    SNDFILE* file = nullptr;
    int fd = -1;  // the file's descriptor, closed after `file`
    std::string path, error;
    int64_t written = 0;
    bool exitHook = false;
};

// Made by the first setCapture, before `capturing` is ever set; never destroyed: an output
// callback still running while the program ends may touch it.
Capture& cap() {
    static Capture* c = new Capture;
    return *c;
}

// Closes the capture's file, with `m` held.
void closeFile(Capture& c) {
    if (c.file) sf_close(c.file);
    if (c.fd >= 0) ::close(c.fd);
    c.file = nullptr;
    c.fd = -1;
}

// Writer thread: moves what the ring holds into the file until told to stop; answers flushes.
void writerLoop() {
    Capture& c = cap();
    std::vector<int16_t> block(16384);
    std::unique_lock lk(c.m);
    for (;;) {
        const bool stopping = c.stop;
        const uint64_t asked = c.flushAsked;
        lk.unlock();
        for (;;) {
            const size_t n = c.ring.read(block.data(), block.size());
            if (n == 0) break;
            sf_count_t frames = sf_count_t(n / 2);
            std::lock_guard g(c.m);
            if (!c.file) continue;  // after a failure: drain and drop
            frames = std::min<sf_count_t>(frames, kMaxFrames - c.written);
            const sf_count_t done = sf_writef_short(c.file, block.data(), frames);
            c.written += done;
            if (done < frames || c.written >= kMaxFrames) {
                c.error = done < frames ? std::string("cannot write: ") + sf_strerror(c.file)
                                        : "the capture reached the largest size a WAV file "
                                          "can have";
                closeFile(c);
            }
        }
        lk.lock();
        c.flushDone = std::max(c.flushDone, asked);
        c.flushed.notify_all();
        if (stopping) return;
        if (c.flushAsked == asked && !c.stop) c.wake.wait_for(lk, std::chrono::milliseconds(20));
    }
}

// Ends the capture under way: no more pushes, the ring written out, the file closed. With the
// capture's mutex held through `lk` (released while the writer finishes).
void endCapture(std::unique_lock<std::mutex>& lk) {
    Capture& c = cap();
    capturing.store(false);
    while (pushing.load() != 0) std::this_thread::yield();
    if (c.writer.joinable()) {
        c.stop = true;
        c.wake.notify_all();
        lk.unlock();
        c.writer.join();
        lk.lock();
        c.stop = false;
    }
    closeFile(c);
}

}  // namespace

void captureMixed(const float* stereo, int frames, bool mayWait) {
    if (frames <= 0 || !capturing.load(std::memory_order_relaxed)) return;
    pushing.fetch_add(1);
    if (capturing.load()) {
        Capture& c = cap();
        constexpr int kBlock = 256;
        int16_t pcm[kBlock * 2];
        for (int at = 0; at < frames; at += kBlock) {
            const int n = std::min(kBlock, frames - at);
            const float* src = stereo + at * 2;
            for (int i = 0; i < n * 2; ++i)
                pcm[i] = int16_t(std::clamp(std::lrintf(src[i] * 32768.0f), -32768L, 32767L));
            while (mayWait && c.ring.writable() < size_t(n) * 2) {
                c.wake.notify_one();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            const int fit = std::min(n, int(c.ring.writable() / 2));
            if (fit > 0) c.ring.write(pcm, size_t(fit) * 2);
            if (fit < n) c.lost.fetch_add(n - fit, std::memory_order_relaxed);
        }
    }
    pushing.fetch_sub(1);
}

void captureFlush() {
    if (!capturing.load()) return;  // no capture, or one that ended with its file complete
    Capture& c = cap();
    std::unique_lock lk(c.m);
    if (!c.writer.joinable()) return;
    const uint64_t ticket = ++c.flushAsked;
    c.wake.notify_all();
    c.flushed.wait(lk, [&] { return c.flushDone >= ticket; });
}

}  // namespace engine::detail

namespace engine {

using namespace detail;

bool setCapture(const std::string& utf8Path) {
    Capture& c = cap();
    std::unique_lock lk(c.m);
    endCapture(lk);
    if (utf8Path.empty()) return true;  // its status stays for the caller to read
    c.path = utf8Path;
    c.error.clear();
    c.written = 0;
    c.lost = 0;

    c.fd = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (c.fd < 0) {
        c.error = std::string("cannot create: ") + std::strerror(errno);
        return false;
    }
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    c.file = sf_open_fd(c.fd, SFM_WRITE, &info, SF_FALSE);  // the descriptor stays ours
    if (!c.file) {
        c.error = std::string("cannot write: ") + sf_strerror(nullptr);
        closeFile(c);
        return false;
    }
    // The header follows every write, so the file is whole whenever the writer is idle.
    sf_command(c.file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    // Drop what a capture that ended may have left (nothing pushes now).
    while (c.ring.readable()) {
        int16_t scrap[512];
        c.ring.read(scrap, 512);
    }
    c.writer = std::thread(writerLoop);
    if (!c.exitHook) {
        c.exitHook = true;
        std::atexit([] { setCapture({}); });
    }
    capturing.store(true);
    return true;
}

CaptureStatus captureStatus() {
    Capture& c = cap();
    std::lock_guard g(c.m);
    CaptureStatus s;
    s.path = c.path;
    s.recording = c.file != nullptr;
    s.framesWritten = c.written;
    s.framesLost = c.lost.load();
    s.error = c.error;
    return s;
}

}  // namespace engine
