#include "platform/scripted_platform.h"

#include <filesystem>
#include <random>

namespace platform {

Answer ScriptedPlatform::messageBox(const MessageBox& box) {
    messages.push_back(box);
    if (answers.empty())
        return box.buttons == Buttons::YesNo || box.buttons == Buttons::YesNoCancel ? Answer::Yes
                                                                                    : Answer::Ok;
    Answer a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<std::string> ScriptedPlatform::openFile(const FileDialog& dialog) {
    openDialogs.push_back(dialog);
    if (openAnswers.empty()) return std::nullopt;
    auto a = openAnswers.front();
    openAnswers.pop_front();
    return a;
}

std::optional<std::string> ScriptedPlatform::saveFile(const FileDialog& dialog) {
    saveDialogs.push_back(dialog);
    if (saveAnswers.empty()) return std::nullopt;
    auto a = saveAnswers.front();
    saveAnswers.pop_front();
    return a;
}

std::optional<std::string> ScriptedPlatform::chooseFolder(const FileDialog& dialog) {
    folderDialogs.push_back(dialog);
    if (folderAnswers.empty()) return std::nullopt;
    auto a = folderAnswers.front();
    folderAnswers.pop_front();
    return a;
}

void ScriptedPlatform::setBusy(bool busy) {
    ++busyCalls;
    busy_ = busy;
}

std::string ScriptedPlatform::musicFolder() {
    if (music.empty()) {
        std::random_device rd;
        auto p = std::filesystem::temp_directory_path() / ("quorvin-music-" + std::to_string(rd()));
        std::filesystem::create_directories(p);
        music = p.string();
    }
    return music;
}

std::string ScriptedPlatform::programFolder() {
    if (folder.empty()) {
        std::random_device rd;
        auto p =
            std::filesystem::temp_directory_path() / ("quorvin-program-" + std::to_string(rd()));
        std::filesystem::create_directories(p);
        folder = p.string();
    }
    return folder;
}

bool ScriptedPlatform::openUrl(const std::string& url) {
    openedUrls.push_back(url);
    return urlOpens;
}

bool ScriptedPlatform::startMixer() {
    ++mixerStarts;
    return mixerAvailable;
}

void ScriptedPlatform::exitProgram(int code) {
    exitCode = code;
}

}  // namespace platform
