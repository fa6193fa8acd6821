// The desktop's list of recently used files, shared by the programs of a session
// ($XDG_DATA_HOME/recently-used.xbel, an XBEL file): a file this program loads is added to it, or
// marked used again. The list belongs to every program: one that cannot be read as an XBEL list
// is left as it is, everything in it this program does not change is copied through, and the new
// list replaces the old one only when written in full. Window thread only.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <string>

namespace app {

// `xbel` (empty: no list yet) with `uri` added, or marked used at `now` when listed, for this
// program; nothing when `xbel` is not an XBEL list.
std::optional<QByteArray> withRecentFile(const QByteArray& xbel, const QString& uri,
                                         const QString& mimeType, const QDateTime& now);

// Adds the file `path` (the file system's bytes) to the list in `listFile`. False, with the list
// left as it was, when the list cannot be read or written.
bool addToDesktopRecentList(const std::string& listFile, const std::string& path);

}  // namespace app
