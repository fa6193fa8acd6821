#include "app/recent_files.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QVariantList>
#include <algorithm>

#include "app/desktop_recent.h"
#include "platform/settings.h"
#include "platform/window_thread.h"

namespace app {

namespace {
const QString kRecentKey = "recent/files";

std::string& desktopList() {
    static std::string file;
    return file;
}
}  // namespace

void RecentFiles::setDesktopList(const std::string& listFile) {
    desktopList() = listFile;
}

RecentFiles::RecentFiles(QMenu* menu, std::function<void(const std::string&)> open)
    : QObject(menu), menu_(menu), open_(std::move(open)) {
    for (const QVariant& v : platform::settings().value(kRecentKey).toList()) {
        const QByteArray bytes = v.toByteArray();
        if (!bytes.isEmpty() && int(files_.size()) < kMaxFiles)
            files_.push_back(bytes.toStdString());
    }
    rebuild();
}

void RecentFiles::add(const std::string& path) {
    // Another running copy of the program may have added files since this one read the list: the
    // list as stored now, then this copy's, under the new file.
    platform::settings().sync();
    std::vector<std::string> merged{path};
    const auto take = [&merged](const std::string& f) {
        if (!f.empty() && std::find(merged.begin(), merged.end(), f) == merged.end())
            merged.push_back(f);
    };
    for (const QVariant& v : platform::settings().value(kRecentKey).toList())
        take(v.toByteArray().toStdString());
    for (const std::string& f : files_) take(f);
    if (int(merged.size()) > kMaxFiles) merged.resize(kMaxFiles);
    files_ = std::move(merged);
    QVariantList stored;
    for (const std::string& f : files_) stored << QByteArray::fromStdString(f);
    platform::settings().setValue(kRecentKey, stored);
    rebuild();
    // A list that cannot be read or written is left alone: the program's own list has the file.
    // Read and written off the window thread, which never waits on a drive.
    if (!desktopList().empty())
        platform::runInOrderOffWindowThread(
            [list = desktopList(), path] { addToDesktopRecentList(list, path); });
}

void RecentFiles::rebuild() {
    menu_->clear();
    menu_->setEnabled(!files_.empty());
    for (size_t i = 0; i < files_.size(); ++i) {
        const QString shown = QFile::decodeName(QByteArray::fromStdString(files_[i]));
        // "&1 song.mp3" ... "1&0 ...": a digit to choose it by; a '&' in a name is shown as is.
        const QString number = i < 9 ? "&" + QString::number(i + 1) : "1&0";
        QAction* a =
            menu_->addAction(number + "  " + QFileInfo(shown).fileName().replace('&', "&&"));
        a->setObjectName(QString("mnuRecent_%1").arg(i));
        a->setToolTip(shown);
        a->setStatusTip(shown);
        connect(a, &QAction::triggered, this, [this, path = files_[i]] { open_(path); });
    }
}

}  // namespace app
