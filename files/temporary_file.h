// Writing a file through a temporary: the data goes to a new file with a random hidden name
// beside the destination, created exclusively (never someone else's file), and is renamed over
// the destination only when complete. A destination that is a symbolic link stays one: the file
// it leads to is the one written (the temporary beside it). Every failure path removes the
// temporary, and a registry of live temporaries lets an interrupted program (Ctrl-C, SIGTERM)
// remove what it leaves.
//
//   files::TemporaryFile t;
//   if (auto r = t.create(destination); !r) return r;       // r.message names the path and why
//   t.write(data, n); ...                                    // or closeStream() and let another
//   if (auto r = t.commit(); !r) return r;                   //   writer fill t.path()
//
// A TemporaryFile that is neither committed nor released removes its file when destroyed.
#pragma once

#include <cstdio>
#include <string>

#include "files/result.h"

namespace files {

class TemporaryFile {
  public:
    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the new, empty temporary beside `destination`, open for writing. Fails, naming the
    // destination and the reason, when its folder takes no new files. Its name is the
    // destination's, hidden, with a random part, shortened when needed to fit the folder's longest
    // name. A file-size limit (ulimit -f) then makes writes fail with EFBIG instead of ending the
    // program.
    Result create(const std::string& destination);

    bool isOpen() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }
    const std::string& destination() const { return destination_; }

    // Appends (or writes at the position seek() chose). After the first failure every later
    // write fails too and commit() refuses.
    Result write(const void* data, size_t bytes);
    Result seek(long offset);
    // Flushes and closes the stream, keeping the file, for a writer that opens path() itself.
    Result closeStream();
    // Closes the stream and renames the temporary over the destination (keeping the permissions
    // of a file being replaced). On failure the temporary is removed and the destination is as
    // it was.
    Result commit();
    // Removes the temporary now.
    void discard();
    // Stops managing the file and returns its path: the caller now removes it or hands it to
    // replaceFile(). It stays in the registry of live temporaries until then.
    std::string release();

  private:
    Result fail(const std::string& reason);

    std::FILE* file_ = nullptr;
    std::string path_, destination_;
    std::string failed_;  // the first failure's message
    int slot_ = -1;       // in the registry of live temporaries
};

// The longest file name (in bytes) that `folder`'s file system takes; 255 when it cannot say.
size_t longestFileName(const std::string& folder);

// Refuses a destination the user's own file there says not to replace: a folder, a device or a
// pipe, or a file that cannot be written (write-protected). A missing destination is fine.
Result checkReplaceable(const std::string& destination);

// Renames `temporary` over `destination`, keeping the permissions of a file being replaced;
// removes `temporary` when that fails. Takes `temporary` off the registry either way.
Result renameOver(const std::string& temporary, const std::string& destination);

// `message` with every mention of the temporary's path replaced by the destination the user
// chose: the temporary is a name the user never saw.
std::string namingDestination(std::string message, const std::string& temporary,
                              const std::string& destination);

// Puts `path` on the registry as well: a file or a folder the program made for its work, removed
// by removeLiveTemporaries (folders once the files are gone, and only when empty).
void rememberForRemoval(const std::string& path);

// Takes `path` off the registry of live temporaries (after its owner removed or renamed it).
void forgetTemporary(const std::string& path);

// Removes every live temporary, after waiting for those being created on other threads.
// Async-signal-safe: for a signal handler, which then re-raises. `programEnding`: from then on no
// temporary can be created (another thread cannot leave one after the sweep).
void removeLiveTemporaries(bool programEnding = false) noexcept;

// Makes `signal` (an interrupt, a termination, a hang-up) remove every live temporary, then end
// the program as the signal would have ended it.
void removeTemporariesOn(int signal);

}  // namespace files
