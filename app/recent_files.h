// The files loaded last, newest first, as the "Recent &Files" menu under Tools: choosing one loads
// it as "Load Audio File" does. Remembered between runs in the program's settings, as the
// file system's bytes, so that any name comes back. Window thread only.
#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QMenu;

namespace app {

class RecentFiles : public QObject {
    Q_OBJECT
  public:
    // At most this many files are kept.
    static constexpr int kMaxFiles = 10;

    // Fills `menu` from the settings; `open` loads a chosen file.
    RecentFiles(QMenu* menu, std::function<void(const std::string&)> open);
    // `path` was loaded: first in the list (once), the list saved.
    void add(const std::string& path);
    std::vector<std::string> files() const { return files_; }
    // The desktop's list of recent files that add() also adds to (desktop_recent.h), off the
    // window thread; empty (the default): none.
    static void setDesktopList(const std::string& listFile);

  private:
    void rebuild();

    QMenu* menu_;
    std::function<void(const std::string&)> open_;
    std::vector<std::string> files_;
};

}  // namespace app
