// A platform for tests: answers dialogs from queues, records every message box, never blocks.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

class ScriptedPlatform : public Platform {
  public:
    // Recorded calls.
    std::vector<MessageBox> messages;
    std::vector<FileDialog> openDialogs;
    std::vector<FileDialog> saveDialogs;
    std::vector<FileDialog> folderDialogs;
    std::vector<std::string> openedUrls;
    int mixerStarts = 0;
    std::optional<int> exitCode;  // set when exitProgram() was called
    int busyCalls = 0;

    // Answers, taken front first. An empty queue answers Ok / cancel.
    std::deque<Answer> answers;
    std::deque<std::optional<std::string>> openAnswers;
    std::deque<std::optional<std::string>> saveAnswers;
    std::deque<std::optional<std::string>> folderAnswers;
    bool mixerAvailable = true;
    bool urlOpens = true;
    std::string folder;  // programFolder(); a fresh temporary folder when empty
    std::string music;   // musicFolder(); a fresh temporary folder when empty

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

    // The last message box's text, or "" when none was shown.
    std::string lastMessage() const { return messages.empty() ? "" : messages.back().text; }

  private:
    bool busy_ = false;
};

}  // namespace platform
