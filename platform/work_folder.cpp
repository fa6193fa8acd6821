#include "platform/work_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {

namespace {

// A lock that is never taken to be stale by its age: a copy may run for days. It is stale only
// when the process that holds it has gone.
std::unique_ptr<QLockFile> lockFor(const QString& folder) {
    auto lock = std::make_unique<QLockFile>(folder + ".lock");
    lock->setStaleLockTime(0);
    return lock;
}

// A copy's folder is named by its process id.
bool isCopyFolderName(const QString& name) {
    if (name.isEmpty()) return false;
    for (const QChar c : name)
        if (!c.isDigit()) return false;
    return true;
}

// Removes only what copies of this program leave: the root is a folder in the user's cache that
// other tools (and the command line's own spool files while it runs) may share.
void removeLeftovers(const QDir& root) {
    const QFileInfoList entries =
        root.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& e : entries) {
        const QString name = e.fileName();
        if (name.endsWith(".lock")) {
            // Taking a stale lock removes it; a live copy's lock cannot be taken.
            const QString folder = e.absoluteFilePath().chopped(5);
            auto lock = lockFor(folder);
            if (!lock->tryLock(0)) continue;
            QDir(folder).removeRecursively();
            lock->unlock();
        } else if (name.contains(".lock")) {
            continue;  // the lock file's own helpers while a copy removes a stale lock
        } else if (e.isDir() && !e.isSymLink()) {
            // A copy creates its lock before its folder and removes its folder before its lock:
            // a copy's folder without a lock belongs to no running copy.
            if (isCopyFolderName(name) && !QFileInfo::exists(e.absoluteFilePath() + ".lock"))
                QDir(e.absoluteFilePath()).removeRecursively();
        } else if (name == "newwave.wav" || name == "TRACK.WAV") {
            QFile::remove(e.absoluteFilePath());  // work files of the one-folder layout
        }
    }
}

}  // namespace

WorkFolder::WorkFolder(const QString& root, const QString& name) : path_(QDir::cleanPath(root)) {
    QDir().mkpath(path_);
    removeLeftovers(QDir(path_));
    const QString own =
        path_ + '/' + (name.isEmpty() ? QString::number(QCoreApplication::applicationPid()) : name);
    auto lock = lockFor(own);
    if (!lock->tryLock(0) || !QDir().mkpath(own)) return;
    lock_ = std::move(lock);
    path_ = own;
}

WorkFolder::~WorkFolder() {
    if (!lock_) return;
    QDir(path_).removeRecursively();
    lock_->unlock();
}

}  // namespace platform
