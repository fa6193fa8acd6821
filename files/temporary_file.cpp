#include "files/temporary_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <system_error>

#include "files/fault_injection.h"
#include "files/file_io.h"
#include "files/texts.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>
#else
#include <direct.h>
#endif

namespace fs = std::filesystem;

namespace files {

namespace {

// The file a save to `path` replaces: where its symbolic links lead, so that a link stays a link
// and its file gets the new content (as other programs save through one); `path` itself when it
// is no link. A link that leads nowhere leads to the file it names; one that leads to anything
// but a file (a device, a pipe, a folder) is not followed.
fs::path linkTarget(const fs::path& path) {
    std::error_code ec;
    fs::path at = path;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(at, ec)); ++hops) {
        const fs::path to = fs::read_symlink(at, ec);
        if (ec) return path;
        at = to.is_absolute() ? to : at.parent_path() / to;
    }
    const fs::file_status st = fs::symlink_status(at, ec);
    return fs::is_regular_file(st) || st.type() == fs::file_type::not_found ? at : path;
}

// The registry of live temporaries: a fixed table, so that a signal handler can walk it without
// allocating or locking. A slot is Free, Filling (being claimed) or Live.
constexpr int kSlots = 64;
constexpr size_t kPathBytes = 4096;
enum SlotState : int { Free = 0, Filling = 1, Live = 2 };
struct Slot {
    std::atomic<int> state{Free};
    char path[kPathBytes];
};
Slot registry[kSlots];

int enroll(const std::string& path) {
    if (path.size() >= kPathBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (registry[i].state.compare_exchange_strong(expected, Filling)) {
            std::memcpy(registry[i].path, path.c_str(), path.size() + 1);
            registry[i].state.store(Live);
            return i;
        }
    }
    return -1;  // a full table: that temporary is only removed by its owner
}

// Creations between the open and the enrolment, in any thread: an interrupt handled on another
// thread waits for them before it sweeps the registry. `ending` set: the program is ending on a
// signal and takes no new temporaries.
std::atomic<int> creating{0};
std::atomic<bool> ending{false};

// Holds back the signals that remove live temporaries while a temporary is created and enrolled,
// so that a signal handled on this thread can never fall between the two and leave the new file
// behind. (A signal handled on another thread waits for `creating` instead.)
class SignalsHeldBack {
  public:
#ifndef _WIN32
    SignalsHeldBack() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        sigaddset(&held, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~SignalsHeldBack() {
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

  private:
    sigset_t previous_;
#endif
};

void unenroll(int slot) {
    if (slot >= 0) registry[slot].state.store(Free);
}

void removeFile(const std::string& path) {
    std::error_code ec;
    fs::remove(pathFromUtf8(path), ec);
}

// A process over its file-size limit (ulimit -f) gets SIGXFSZ, whose default ends it without a
// word and leaves the temporary: ignored, the write fails with EFBIG, which is reported as any
// failed write is. Once per process, and only when no one chose another action.
void reportFileSizeLimitAsAnError() {
#ifndef _WIN32
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            signal(SIGXFSZ, SIG_IGN);
    });
#endif
}

// The longest file name the folder takes (NAME_MAX of its file system).
size_t longestName(const fs::path& folder) {
#ifndef _WIN32
    const long max = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (max > 0) return size_t(max);
#endif
    return 255;
}

// The temporary's name for `name`: hidden, with a random part, within `longest` bytes. A long
// name is shortened at a whole UTF-8 character.
std::string temporaryName(const std::string& name, const std::string& suffix, size_t longest) {
    const std::string extra = "." + suffix + ".part";
    std::string base = name;
    const size_t room = longest > extra.size() + 1 ? longest - extra.size() - 1 : 0;
    if (base.size() > room) {
        size_t cut = room;
        while (cut > 0 && (uint8_t(base[cut]) & 0xC0) == 0x80) --cut;
        base.resize(cut);
    }
    return "." + base + extra;
}

std::string randomSuffix() {
    static std::mutex mutex;
    static std::mt19937_64 rng{std::random_device{}()};
    const std::lock_guard lock(mutex);
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string s(10, '0');
    for (char& c : s) c = digits[rng() % 36];
    return s;
}

Result cannotSave(const std::string& path, const std::string& reason) {
    return Result::failure(fillIn(userText("files", "Cannot write \"%1\": %2"), {path, reason}));
}

}  // namespace

TemporaryFile::~TemporaryFile() {
    discard();
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept {
    *this = std::move(other);
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
    if (this != &other) {
        discard();
        file_ = std::exchange(other.file_, nullptr);
        path_ = std::exchange(other.path_, {});
        destination_ = std::exchange(other.destination_, {});
        failed_ = std::exchange(other.failed_, {});
        slot_ = std::exchange(other.slot_, -1);
    }
    return *this;
}

Result TemporaryFile::create(const std::string& destination) {
    discard();
    failed_.clear();
    destination_ = destination;
    const fs::path dst = linkTarget(pathFromUtf8(destination));
    const fs::path folder = dst.has_parent_path() ? dst.parent_path() : fs::path(".");
    reportFileSizeLimitAsAnError();
    const size_t longest = longestName(folder);
    int err = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = folder / pathFromUtf8(temporaryName(utf8FromPath(dst.filename()),
                                                                       randomSuffix(), longest));
        const std::string candidatePath = utf8FromPath(candidate);
        const SignalsHeldBack held;
        creating.fetch_add(1);
        if (ending.load()) {
            creating.fetch_sub(1);
            return cannotSave(destination, userText("files", "the program is ending"));
        }
        errno = 0;
        // "x": fail when the name exists, so that no one else's file is ever opened.
        std::FILE* f = openFile(candidatePath, "wbx");
        err = errno;
        if (f) {
            file_ = f;
            path_ = candidatePath;
            slot_ = enroll(path_);
            creating.fetch_sub(1);
            return Result::success();
        }
        creating.fetch_sub(1);
        if (err != EEXIST) break;
    }
    return cannotSave(destination, describeError(err));
}

Result TemporaryFile::fail(const std::string& reason) {
    if (failed_.empty()) failed_ = cannotSave(destination_, reason).message;
    return Result::failure(failed_);
}

Result TemporaryFile::write(const void* data, size_t bytes) {
    if (!failed_.empty()) return Result::failure(failed_);
    if (!file_) return fail(userText("files", "the file is not open"));
    const IoResult r = writeFile(file_, data, bytes);
    if (r.error) return fail(describeError(r.error));
    return Result::success();
}

Result TemporaryFile::seek(long offset) {
    if (!failed_.empty()) return Result::failure(failed_);
    if (!file_) return fail(userText("files", "the file is not open"));
    errno = 0;
    if (std::fseek(file_, offset, SEEK_SET) != 0) return fail(describeError(errno));
    return Result::success();
}

Result TemporaryFile::closeStream() {
    if (file_) {
        const int flushError = flushFile(file_);
        errno = 0;
        const bool closed = std::fclose(file_) == 0;
        const int closeError = errno;
        file_ = nullptr;
        if (flushError)
            fail(describeError(flushError));
        else if (!closed)
            fail(describeError(closeError));
    }
    if (!failed_.empty()) return Result::failure(failed_);
    return Result::success();
}

Result TemporaryFile::commit() {
    if (path_.empty()) return fail(userText("files", "nothing was written"));
    Result r = closeStream();
    if (!r) {
        discard();
        return r;
    }
    r = renameOver(path_, destination_);
    slot_ = -1;  // renameOver took it off the registry
    path_.clear();
    return r;
}

void TemporaryFile::discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!path_.empty()) removeFile(path_);
    path_.clear();
    unenroll(slot_);
    slot_ = -1;
}

std::string TemporaryFile::release() {
    // Whoever takes the path writes the file anew; what this stream holds is not theirs to keep,
    // so it is closed without a flush that could fail on their behalf.
    if (file_) std::fclose(file_);
    file_ = nullptr;
    slot_ = -1;  // stays in the registry until forgetTemporary()/renameOver()
    return std::exchange(path_, {});
}

size_t longestFileName(const std::string& folder) {
    return longestName(pathFromUtf8(folder));
}

Result checkReplaceable(const std::string& destination) {
    const fs::path dst = pathFromUtf8(destination);
    std::error_code ec;
    if (fs::is_directory(dst, ec))
        return cannotSave(destination, userText("files", "it is a folder"));
    const fs::file_status st = fs::status(dst, ec);
    if (!fs::exists(st)) return Result::success();
    // A device or a pipe would be replaced by a file (the save renames over it).
    if (!fs::is_regular_file(st))
        return cannotSave(destination, userText("files", "it is not a regular file"));
    // Write-protected by its mode: refused even for a user whom the mode does not bind.
    constexpr auto anyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (st.permissions() != fs::perms::unknown && (st.permissions() & anyWrite) == fs::perms::none)
        return cannotSave(destination, userText("files", "it is write-protected"));
    // An existing file that cannot be written stays as it is, as a plain save would leave it.
    errno = 0;
    std::FILE* probe = openFile(destination, "r+b");
    if (!probe) return cannotSave(destination, describeError(errno));
    std::fclose(probe);
    return Result::success();
}

Result renameOver(const std::string& temporary, const std::string& destination) {
    const fs::path temp = pathFromUtf8(temporary), dst = linkTarget(pathFromUtf8(destination));
    std::error_code ec;
    const auto perms = fs::status(dst, ec).permissions();
    if (!ec && perms != fs::perms::unknown) fs::permissions(temp, perms, ec);
    ec.clear();
    fs::rename(temp, dst, ec);
    if (ec) {
        const std::string reason = ec.message();
        removeFile(temporary);
        forgetTemporary(temporary);
        return cannotSave(destination, reason);
    }
    forgetTemporary(temporary);
    return Result::success();
}

std::string namingDestination(std::string message, const std::string& temporary,
                              const std::string& destination) {
    if (temporary.empty()) return message;
    for (size_t at = message.find(temporary); at != std::string::npos;
         at = message.find(temporary, at + destination.size()))
        message.replace(at, temporary.size(), destination);
    return message;
}

void forgetTemporary(const std::string& path) {
    for (Slot& s : registry)
        if (s.state.load() == Live && path == s.path) s.state.store(Free);
}

void removeLiveTemporaries(bool programEnding) noexcept {
    if (programEnding) ending.store(true);
        // A temporary being created on another thread is enrolled within microseconds; the wait is
        // bounded all the same, in case that thread waits for something this one holds.
#ifndef _WIN32
    for (int i = 0; i < 2000 && creating.load() > 0; ++i) {
        const timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
    }
#endif
    // Files first, then the folders they were in.
    for (int pass = 0; pass < 2; ++pass)
        for (Slot& s : registry) {
            if (s.state.load() != Live) continue;
#ifdef _WIN32
            const bool gone = pass == 0 ? std::remove(s.path) == 0 : _rmdir(s.path) == 0;
#else
            const bool gone = pass == 0 ? ::unlink(s.path) == 0 : ::rmdir(s.path) == 0;
#endif
            if (gone || pass == 1) s.state.store(Free);
        }
}

void rememberForRemoval(const std::string& path) {
    enroll(path);
}

namespace {
// Async-signal-safe throughout.
extern "C" void removeTemporariesAndEnd(int sig) {
    removeLiveTemporaries(true);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}
}  // namespace

void removeTemporariesOn(int signal) {
    std::signal(signal, removeTemporariesAndEnd);
}

}  // namespace files
