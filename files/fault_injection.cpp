#include "files/fault_injection.h"

#include <atomic>
#include <mutex>

namespace files {

namespace {

struct Armed {
    std::atomic<int> left{0};  // calls until the failing one; 0 when unarmed
    std::atomic<int> error{0};
};

Armed armed[3];

struct Watch {
    std::atomic<bool> on{false};
    std::mutex mutex;
    std::function<void()> call;
};

Watch& watch() {
    static Watch w;
    return w;
}

// True when this call is the armed one; `error` gets its error number.
bool strikes(Fault kind, int& error) {
    Armed& a = armed[int(kind)];
    int left = a.left.load(std::memory_order_relaxed);
    while (left > 0) {
        if (a.left.compare_exchange_weak(left, left - 1)) {
            if (left != 1) return false;
            error = a.error.load();
            return true;
        }
    }
    return false;
}

}  // namespace

void armFault(Fault kind, int nth, int errorNumber) {
    armed[int(kind)].error = errorNumber;
    armed[int(kind)].left = nth > 0 ? nth : 0;
}

void disarmFaults() {
    for (Armed& a : armed) a.left = 0;
}

void watchWrites(std::function<void()> call) {
    Watch& w = watch();
    const std::lock_guard lock(w.mutex);
    w.on = bool(call);
    w.call = std::move(call);
}

IoResult writeFile(std::FILE* f, const void* data, size_t bytes) {
    if (Watch& w = watch(); w.on.load(std::memory_order_relaxed)) {
        std::function<void()> call;
        {
            const std::lock_guard lock(w.mutex);
            call = w.call;
        }
        if (call) call();
    }
    int injected = 0;
    if (strikes(Fault::Write, injected)) {
        const size_t half = std::fwrite(data, 1, bytes / 2, f);
        // What a full disk leaves: part stored, the rest refused, and the stream in error.
        errno = injected;
        return {half, injected};
    }
    errno = 0;
    const size_t n = std::fwrite(data, 1, bytes, f);
    if (n == bytes) return {n, 0};
    return {n, errno ? errno : EIO};
}

IoResult readFile(std::FILE* f, void* data, size_t bytes) {
    int injected = 0;
    if (strikes(Fault::Read, injected)) {
        const size_t half = std::fread(data, 1, bytes / 2, f);
        errno = injected;
        return {half, injected};
    }
    errno = 0;
    const size_t n = std::fread(data, 1, bytes, f);
    if (n < bytes && std::ferror(f)) return {n, errno ? errno : EIO};
    return {n, 0};
}

int flushFile(std::FILE* f) {
    int injected = 0;
    if (strikes(Fault::Flush, injected)) {
        errno = injected;
        return injected;
    }
    errno = 0;
    if (std::fflush(f) == 0) return 0;
    return errno ? errno : EIO;
}

}  // namespace files
