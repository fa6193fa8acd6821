// The desktop platform on Qt Widgets. Every file dialog starts in the folder used last for that
// kind of file (its filter's extensions), else the user's Music folder; a save dialog adds the
// type's extension to a name typed without one. Window thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "platform/platform.h"
#include "platform/work_folder.h"

namespace platform {

class QtPlatform : public Platform {
  public:
    Answer messageBox(const MessageBox& box) override;
    std::optional<std::string> openFile(const FileDialog& dialog) override;
    std::optional<std::string> saveFile(const FileDialog& dialog) override;
    std::optional<std::string> chooseFolder(const FileDialog& dialog) override;
    void setBusy(bool busy) override;
    bool busy() const override { return busy_; }
    std::string programFolder() override;
    std::string musicFolder() override;
    bool openUrl(const std::string& url) override;
    bool startMixer() override;
    void exitProgram(int code) override;

    // "Mp3 Files (*.mp3)|*.MP3|Wav File (*.wav)|*.WAV" -> "Mp3 Files (*.mp3 *.MP3);;..." with
    // the patterns matched without regard to case.
    static std::string qtFilter(const std::string& filter);
    // The extensions a filter lists, lower case, first seen first ("mp3", "wav").
    static QStringList filterExtensions(const std::string& filter);
    // The name a save dialog gives, with `suffix` (the chosen type's extension) added when it
    // ends in none of `extensions`: Qt adds it only to names without a dot ("Mr. Brown").
    static QString withTypedExtension(const QString& chosen, const QStringList& extensions,
                                      const QString& suffix);

  private:
    static QString folderKey(const FileDialog& d);
    static QString startFolder(const FileDialog& d);
    static void rememberFolder(const FileDialog& d, const QString& chosen);

    bool busy_ = false;
    std::unique_ptr<WorkFolder> work_;  // made when first asked for, removed with the platform
};

}  // namespace platform
