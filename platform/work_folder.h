// A running copy's own folder for work files (a render's, a CD extraction's, the command line's
// spool of standard input) under the user's cache folder: ROOT/NAME, held by the lock file
// ROOT/NAME.lock for as long as the copy runs, so that two running copies never remove each other's
// files. One thread at a time (the desktop program's window thread).
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace platform {

class WorkFolder {
  public:
    // Removes what earlier copies left under `root` (folders whose lock is stale, folders named by
    // a process id whose lock is missing, and the work files "newwave.wav" and "TRACK.WAV" of
    // the layout without a folder per copy) and nothing else, then creates and locks this copy's
    // folder, named by the process id unless `name` is given. When the folder cannot be locked,
    // path() is `root` itself.
    explicit WorkFolder(const QString& root, const QString& name = {});
    // Removes this copy's folder with everything in it, then releases its lock.
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const QString& path() const { return path_; }
    // Whether path() is this copy's own folder (not the root, when it could not be locked).
    bool own() const { return lock_ != nullptr; }

  private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace platform
