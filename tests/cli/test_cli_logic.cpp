// The command line's logic run in-process, where a test needs a seam the executable has no option
// for (the WAV size limit).
#include <filesystem>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "cli/commands.h"
#include "files/fault_injection.h"
#include "tests/support/audio_fixtures.h"

namespace fs = std::filesystem;

namespace {

class RenderAtTheSizeLimit : public ::testing::TestWithParam<std::string> {};

// A render that reaches the WAV size limit keeps what it holds under the final name and says so.
TEST_P(RenderAtTheSizeLimit, KeepsTheValidFileUnderItsNameAndSaysSo) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("song.wav"), out = tmp.file("out" + GetParam());
    fixtures::writeWav(in, fixtures::sine(440, 2.0));
    constexpr uint32_t kLimit = 44100 * 4 / 2 + 2;  // half a second and a stray half frame

    std::ostringstream printed, said;
    const int status = cli::renderCommandWithLimit({in, out}, printed, said, kLimit);
    EXPECT_EQ(status, 0) << said.str();
    EXPECT_NE(said.str().find(out), std::string::npos) << said.str();
    EXPECT_NE(said.str().find("largest size"), std::string::npos) << said.str();
    // An MP3 is not the WAV whose limit was reached.
    EXPECT_EQ(said.str().find(GetParam() == ".wav" ? "encoded from" : "a WAV file can have"),
              std::string::npos)
        << said.str();
    EXPECT_EQ(said.str().find(".part"), std::string::npos) << said.str();
    ASSERT_TRUE(fs::exists(out));
    const auto audio = fixtures::readAudio(out);
    EXPECT_NEAR(double(audio.frames()), 22050.0, GetParam() == ".wav" ? 0.0 : 2400.0);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(tmp.path())) ++entries;
    EXPECT_EQ(entries, 2u);  // the input and the result, no temporaries
}

INSTANTIATE_TEST_SUITE_P(WavAndMp3, RenderAtTheSizeLimit, ::testing::Values(".wav", ".mp3"),
                         [](const auto& info) { return info.param.substr(1); });

// A write that fails at any point of a render to MP3 (the WAV step or the MP3 step) is reported
// with OUT's name, never a temporary's, and leaves nothing behind.
TEST(RenderToMp3, AFailedWriteAnywhereNamesTheOutput) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("song.wav"), out = tmp.file("out.mp3");
    fixtures::writeWav(in, fixtures::sine(440, 1.0));
    int failures = 0;
    for (int nth = 1; nth < 500; ++nth) {
        files::armFault(files::Fault::Write, nth, ENOSPC);
        std::ostringstream printed, said;
        const int status = cli::renderCommand({in, out}, printed, said);
        files::disarmFaults();
        if (status == 0) break;  // past the last write
        ++failures;
        EXPECT_NE(said.str().find("\"" + out + "\""), std::string::npos) << nth << said.str();
        EXPECT_EQ(said.str().find(".part"), std::string::npos) << nth << said.str();
        EXPECT_FALSE(fs::exists(out)) << nth;
    }
    EXPECT_GT(failures, 2);
    EXPECT_TRUE(fs::exists(out));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(tmp.path())) ++entries;
    EXPECT_EQ(entries, 2u);
}

}  // namespace
