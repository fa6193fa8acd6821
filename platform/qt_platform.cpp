#include "platform/qt_platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>
#include <cstdlib>

#include "platform/settings.h"
#include "platform/window_thread.h"

namespace platform {

namespace {
QWidget* owner() {
    return QApplication::activeWindow();
}
}  // namespace

Answer QtPlatform::messageBox(const MessageBox& box) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (box.icon) {
        case Icon::Information:
            icon = QMessageBox::Information;
            break;
        case Icon::Question:
            icon = QMessageBox::Question;
            break;
        case Icon::Exclamation:
            icon = QMessageBox::Warning;
            break;
        case Icon::Critical:
            icon = QMessageBox::Critical;
            break;
        case Icon::None:
            break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (box.buttons) {
        case Buttons::Ok:
            buttons = QMessageBox::Ok;
            break;
        case Buttons::OkCancel:
            buttons = QMessageBox::Ok | QMessageBox::Cancel;
            break;
        case Buttons::YesNo:
            buttons = QMessageBox::Yes | QMessageBox::No;
            break;
        case Buttons::YesNoCancel:
            buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            break;
        case Buttons::RetryCancel:
        case Buttons::NoSoundDevice:
            buttons = QMessageBox::Retry | QMessageBox::Cancel;
            break;
    }
    QMessageBox mb(icon, QString::fromStdString(box.title), QString::fromStdString(box.text),
                   buttons, owner());
    QPushButton* withoutSound = nullptr;
    if (box.buttons == Buttons::NoSoundDevice) {
        mb.button(QMessageBox::Retry)
            ->setText(QCoreApplication::translate("platform", "&Try again"));
        withoutSound =
            mb.addButton(QCoreApplication::translate("platform", "&Continue without sound"),
                         QMessageBox::AcceptRole);
        mb.setDefaultButton(withoutSound);
    }
    // The busy pointer must not hide the box's buttons.
    const bool wasBusy = busy_;
    if (wasBusy) QApplication::restoreOverrideCursor();
    const int r = mb.exec();
    if (wasBusy) QApplication::setOverrideCursor(Qt::WaitCursor);
    if (withoutSound && mb.clickedButton() == withoutSound) return Answer::Ok;
    switch (r) {
        case QMessageBox::Cancel:
            return Answer::Cancel;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Retry:
            return Answer::Retry;
        default:
            return Answer::Ok;
    }
}

std::string QtPlatform::qtFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i];
        const QString pattern = parts[i + 1];
        // Qt shows the patterns in brackets; keep the description's own text before them.
        const int bracket = desc.indexOf('(');
        if (bracket >= 0) desc = desc.left(bracket).trimmed();
        QStringList pats;
        for (const QString& p : pattern.split(';', Qt::SkipEmptyParts)) {
            pats << p.toLower();
            if (p.toLower() != p.toUpper()) pats << p.toUpper();
        }
        pats.removeDuplicates();
        out << QString("%1 (%2)").arg(desc, pats.join(' '));
    }
    return out.join(";;").toStdString();
}

std::optional<std::string> QtPlatform::openFile(const FileDialog& d) {
    QFileDialog dialog(owner(), QString::fromStdString(d.title), startFolder(d),
                       QString::fromStdString(qtFilter(d.filter)));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!d.initialName.empty()) dialog.selectFile(QString::fromStdString(d.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString f = dialog.selectedFiles().front();
    rememberFolder(d, f);
    return QDir::toNativeSeparators(f).toStdString();
}

std::optional<std::string> QtPlatform::saveFile(const FileDialog& d) {
    QFileDialog dialog(owner(), QString::fromStdString(d.title), startFolder(d),
                       QString::fromStdString(qtFilter(d.filter)));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!(d.flags & kDialogOverwritePrompt)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // A name typed without an extension gets the one of the chosen type: the first, until
    // another is chosen in the list of types.
    const QStringList extensions = filterExtensions(d.filter);
    if (!extensions.isEmpty()) dialog.setDefaultSuffix(extensions.front());
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& chosen) {
            const int star = chosen.indexOf("*.");
            if (star < 0) return;
            const QString ext = chosen.mid(star + 2).section(' ', 0, 0).section(')', 0, 0);
            if (!ext.isEmpty() && ext != "*") dialog.setDefaultSuffix(ext.toLower());
        });
    if (!d.initialName.empty()) dialog.selectFile(QString::fromStdString(d.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString typed = dialog.selectedFiles().front();
    const QString f = withTypedExtension(typed, extensions, dialog.defaultSuffix());
    // The dialog asked about the name as typed; the one with the extension is asked about here.
    if (f != typed && (d.flags & kDialogOverwritePrompt) && QFileInfo::exists(f) &&
        QMessageBox::question(owner(), QString::fromStdString(d.title),
                              QFileDialog::tr("%1 already exists.\nDo you want to replace it?")
                                  .arg(QFileInfo(f).fileName())) != QMessageBox::Yes)
        return std::nullopt;
    rememberFolder(d, f);
    return QDir::toNativeSeparators(f).toStdString();
}

QString QtPlatform::withTypedExtension(const QString& chosen, const QStringList& extensions,
                                       const QString& suffix) {
    if (suffix.isEmpty() || extensions.contains(QFileInfo(chosen).suffix().toLower()))
        return chosen;
    return chosen + "." + suffix;
}

QStringList QtPlatform::filterExtensions(const std::string& filter) {
    QStringList out;
    const QStringList parts = QString::fromStdString(filter).split('|');
    for (int i = 1; i < parts.size(); i += 2)
        for (const QString& p : parts[i].split(';', Qt::SkipEmptyParts)) {
            const QString ext = p.trimmed().section('.', -1).toLower();
            if (!ext.isEmpty() && ext != "*" && !out.contains(ext)) out << ext;
        }
    return out;
}

QString QtPlatform::folderKey(const FileDialog& d) {
    if (!d.folderKey.empty()) return "folders/" + QString::fromStdString(d.folderKey);
    return "folders/" + filterExtensions(d.filter).join('-');
}

QString QtPlatform::startFolder(const FileDialog& d) {
    if (!d.initialDir.empty()) return QString::fromStdString(d.initialDir);
    const QString remembered = settings().value(folderKey(d)).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) return remembered;
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QFileInfo(music).isDir()) return music;
    return QDir::homePath();
}

void QtPlatform::rememberFolder(const FileDialog& d, const QString& chosen) {
    settings().setValue(folderKey(d), QFileInfo(chosen).absolutePath());
}

std::optional<std::string> QtPlatform::chooseFolder(const FileDialog& d) {
    const QString f =
        QFileDialog::getExistingDirectory(owner(), QString::fromStdString(d.title), startFolder(d));
    if (f.isEmpty()) return std::nullopt;
    settings().setValue(folderKey(d), f);
    return QDir::toNativeSeparators(f).toStdString();
}

void QtPlatform::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

std::string QtPlatform::programFolder() {
    // Never beside the executable: an installed program's folder belongs to the package.
    // Each running copy has its own folder in it.
    if (!work_)
        work_ = std::make_unique<WorkFolder>(
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/quorvin");
    return QDir::toNativeSeparators(work_->path()).toStdString();
}

std::string QtPlatform::musicFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) folder = QDir::homePath();
    return QDir::toNativeSeparators(folder).toStdString();
}

bool QtPlatform::openUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

bool QtPlatform::startMixer() {
    for (const char* prog : {"pavucontrol", "pavucontrol-qt", "gnome-control-center", "kmix",
                             "alsamixergui", "qasmixer"}) {
        const QString path = QStandardPaths::findExecutable(prog);
        if (path.isEmpty()) continue;
        QStringList args;
        if (QString(prog) == "gnome-control-center") args << "sound";
        if (QProcess::startDetached(path, args)) return true;
    }
    return false;
}

void QtPlatform::exitProgram(int code) {
    QApplication::closeAllWindows();
    finishInOrderWork();  // the saves asked for last land before the program ends
    std::exit(code);
}

}  // namespace platform
