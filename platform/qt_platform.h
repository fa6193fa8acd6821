// The desktop platform on Qt Widgets.
#pragma once

#include "platform/platform.h"

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
    bool openUrl(const std::string& url) override;
    bool startMixer() override;
    void exitProgram(int code) override;

    // "Mp3 Files (*.mp3)|*.MP3|Wav File (*.wav)|*.WAV" -> "Mp3 Files (*.mp3 *.MP3);;..." with
    // the patterns matched without regard to case.
    static std::string qtFilter(const std::string& filter);

private:
    bool busy_ = false;
};

}  // namespace platform
