// What reading a whole file found (the length of a file that gives none, an MP3's exact length
// and frame index), kept per version of the file: the waveform, the key, Play and the BPM
// detection each open the file, and only the first reads it through. A second open of a file
// being read waits for that reading; opens of other files never wait.
// Threads: any; the lock is held only to look up and record, never while a file is read.
#pragma once

#include <sys/stat.h>

#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// What tells one version of a file from another: a file written again gets a new size, time or
// inode.
struct FileStamp {
    off_t size;
    time_t seconds;
    long nanoseconds;
    ino_t inode;
    bool operator==(const FileStamp&) const = default;
};

inline std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileStamp{st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_ino};
}

template <class Value>
class FileVersionCache {
  public:
    // What `find` finds in `path` read the way `how` names (a reader may read a file in more than
    // one way), the file as it was when stamped `before`, ahead of its opening: kept from before,
    // or found now. It is kept when `worthKeeping` says so and the file did not change meanwhile;
    // a file without a stamp is read every time.
    Value get(const std::string& path, int how, const std::optional<FileStamp>& before,
              const std::function<Value()>& find, bool (*worthKeeping)(const Value&)) {
        if (!before) return find();
        std::promise<Value> mine;
        std::shared_future<Value> found;
        {
            std::lock_guard lock(mutex_);
            for (const Entry& e : entries_)
                if (e.path == path && e.how == how && e.stamp == *before) found = e.value;
            if (!found.valid()) {
                if (entries_.size() >= kKept) entries_.erase(entries_.begin());
                entries_.push_back({path, how, *before, mine.get_future().share()});
            }
        }
        if (found.valid()) return found.get();
        Value value;
        try {
            value = find();
        } catch (...) {
            mine.set_exception(std::current_exception());
            forget(path, how, *before);
            throw;
        }
        mine.set_value(value);
        if (!worthKeeping(value) || stampOf(path) != before) forget(path, how, *before);
        return value;
    }

  private:
    void forget(const std::string& path, int how, const FileStamp& stamp) {
        std::lock_guard lock(mutex_);
        std::erase_if(entries_, [&](const Entry& e) {
            return e.path == path && e.how == how && e.stamp == stamp;
        });
    }
    struct Entry {
        std::string path;
        int how;
        FileStamp stamp;
        std::shared_future<Value> value;
    };
    static constexpr size_t kKept = 8;  // files
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace engine
