#include <gtest/gtest.h>

#include "platform/qt_platform.h"
#include "platform/scripted_platform.h"

using namespace platform;

TEST(QtPlatform, FilterBecomesQtFormWithBothCases) {
    EXPECT_EQ(QtPlatform::qtFilter("Mp3 Files (*.mp3)|*.MP3|Wav File (*.wav)|*.WAV"),
              "Mp3 Files (*.mp3 *.MP3);;Wav File (*.wav *.WAV)");
    EXPECT_EQ(QtPlatform::qtFilter("File Wave (*.wav)|*.wav"), "File Wave (*.wav *.WAV)");
    EXPECT_EQ(QtPlatform::qtFilter("All|*.*"), "All (*.*)");
}

TEST(ScriptedPlatform, AnswersInOrderAndRecords) {
    auto prev = Platform::install(std::make_unique<ScriptedPlatform>());
    auto& p = static_cast<ScriptedPlatform&>(Platform::instance());
    p.openAnswers = {std::string("/tmp/a.wav"), std::nullopt};
    EXPECT_EQ(p.openFile({"t", "f", 0, "", ""}).value(), "/tmp/a.wav");
    EXPECT_FALSE(p.openFile({"t", "f", 0, "", ""}).has_value());
    EXPECT_FALSE(p.openFile({"t", "f", 0, "", ""}).has_value());  // empty queue cancels
    message("Done!", "Quorvin Audio Tools");
    EXPECT_EQ(p.lastMessage(), "Done!");
    EXPECT_EQ(p.openDialogs.size(), 3u);
    Platform::install(std::move(prev));
}
