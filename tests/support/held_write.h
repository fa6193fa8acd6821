// Holds the `nth` write of the file layer (counted from construction) on whichever thread makes it,
// until release() or `ready` says so, or 10 s have passed: a test acts on a render while the
// render's writer waits, so that what it does lands at a known place in the file. The hook goes
// with the object, however the test ends.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "files/fault_injection.h"

namespace fixtures {

class HeldWrite {
  public:
    explicit HeldWrite(int nth, std::function<bool()> ready = {}) : ready_(std::move(ready)) {
        files::watchWrites([this, nth] {
            if (++writes_ != nth) return;
            waiting_ = true;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!released() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
        });
    }
    ~HeldWrite() { files::watchWrites({}); }
    HeldWrite(const HeldWrite&) = delete;
    HeldWrite& operator=(const HeldWrite&) = delete;

    // The writer has come to the write it is held at (it waits there until released).
    bool waiting() const { return waiting_; }
    // Waits (at most 10 s) until the writer is held; for a test on a thread of its own.
    void untilWaiting() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!waiting_ && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    }
    void release() { released_ = true; }

  private:
    bool released() const { return released_ || (ready_ && ready_()); }

    std::function<bool()> ready_;
    std::atomic<int> writes_{0};
    std::atomic<bool> waiting_{false}, released_{false};
};

}  // namespace fixtures
