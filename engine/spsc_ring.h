// The engine's one single-producer, single-consumer ring: lock-free and allocation-free once made.
// Threads: one producer thread and one consumer thread at a time (which threads those are is the
// owner's business); each calls only its own side. Counters run on 64 bits and never wrap.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

template <class T>
class SpscRing {
  public:
    explicit SpscRing(size_t capacityPow2) : buf_(capacityPow2), mask_(capacityPow2 - 1) {}
    SpscRing(const SpscRing&) = delete;
    SpscRing& operator=(const SpscRing&) = delete;

    size_t capacity() const { return buf_.size(); }

    // --- producer ---
    size_t writable() const {
        return buf_.size() - size_t(head_.load(std::memory_order_relaxed) -
                                    tail_.load(std::memory_order_acquire));
    }
    // Copies all `n` items in, or nothing when they do not fit.
    bool write(const T* src, size_t n) {
        if (n > writable()) return false;
        const uint64_t h = head_.load(std::memory_order_relaxed);
        copyIn(src, size_t(h) & mask_, n);
        head_.store(h + n, std::memory_order_release);
        return true;
    }
    // The next item to fill in place (null when full); publish() hands it to the consumer.
    T* slot() {
        if (writable() == 0) return nullptr;
        return &buf_[size_t(head_.load(std::memory_order_relaxed)) & mask_];
    }
    void publish() {
        head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    // Items written since the ring was made (either side may ask).
    uint64_t written() const { return head_.load(std::memory_order_acquire); }

    // --- consumer ---
    size_t readable() const {
        return size_t(head_.load(std::memory_order_acquire) -
                      tail_.load(std::memory_order_relaxed));
    }
    // Copies up to `n` items out; returns how many.
    size_t read(T* dst, size_t n) {
        const uint64_t t = tail_.load(std::memory_order_relaxed);
        n = std::min(n, size_t(head_.load(std::memory_order_acquire) - t));
        copyOut(dst, size_t(t) & mask_, n);
        tail_.store(t + n, std::memory_order_release);
        return n;
    }
    // The oldest unread item (null when empty); pop() releases it to the producer.
    T* front() {
        if (readable() == 0) return nullptr;
        return &buf_[size_t(tail_.load(std::memory_order_relaxed)) & mask_];
    }
    void pop() {
        tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // --- producer, reading back what it wrote and the consumer has not released yet ---
    template <class F>
    void forEachUnread(F&& f) const {
        const uint64_t h = head_.load(std::memory_order_relaxed);
        for (uint64_t i = tail_.load(std::memory_order_acquire); i != h; ++i)
            f(buf_[size_t(i) & mask_]);
    }

  private:
    // Copies `n` items in from `src` / out to `dst` from ring index `at` on, wrapping once at most.
    void copyIn(const T* src, size_t at, size_t n) {
        const size_t first = std::min(n, buf_.size() - at);
        std::copy_n(src, first, buf_.begin() + ptrdiff_t(at));
        std::copy_n(src + first, n - first, buf_.begin());
    }
    void copyOut(T* dst, size_t at, size_t n) const {
        const size_t first = std::min(n, buf_.size() - at);
        std::copy_n(buf_.begin() + ptrdiff_t(at), first, dst);
        std::copy_n(buf_.begin(), n - first, dst + first);
    }

    std::vector<T> buf_;
    size_t mask_;
    std::atomic<uint64_t> head_{0}, tail_{0};
};

}  // namespace engine
