// The engine's boundary: what is not a regular file, exceptions inside calls, per-thread error
// codes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <stdexcept>
#include <thread>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "tests/engine/null_output_test.h"
#include "tests/support/audio_fixtures.h"

namespace {

class Boundary : public NullOutputTest {};

TEST_F(Boundary, WhatIsNotARegularFileIsRefusedAtOnceWithItsReason) {
    const std::string wav = write("tone.wav", fixtures::sine(440, 0.2));
    const std::string fifo = dir.file("pipe.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path, reason;
    } cases[] = {{fifo, "is not a regular file"},
                 {dir.path().string(), "is not a regular file"},
                 {"/dev/zero", "is not a regular file"},
                 {dir.file("missing.wav"), "no such file"},
                 {wav + "/inside.wav", "no such file"}};
    for (const Case& c : cases) {
        // A FIFO without a writer would block an open(); this must return at once.
        EXPECT_EQ(BASS_StreamCreateFile(0, c.path.c_str(), 0, 0, BASS_STREAM_DECODE), 0u) << c.path;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN) << c.path;
        int code = 0;
        EXPECT_EQ(engine::openFileSource(c.path, &code), nullptr) << c.path;
        EXPECT_EQ(code, BASS_ERROR_FILEOPEN) << c.path;
        EXPECT_EQ(engine::describeOpenFailure(c.path), c.reason) << c.path;
    }
    EXPECT_EQ(engine::describeOpenFailure(wav), "");
    if (geteuid() != 0) {  // root reads anything
        ASSERT_EQ(chmod(wav.c_str(), 0), 0);
        EXPECT_EQ(engine::describeOpenFailure(wav), "permission denied");
        EXPECT_EQ(BASS_StreamCreateFile(0, wav.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    }
}

void throwingDsp(HDSP, DWORD, void*, DWORD, void* user) {
    if (*static_cast<bool*>(user)) throw std::runtime_error("a procedure failed");
}

TEST_F(Boundary, AnExceptionInsideACallBecomesAnErrorCodeNotTheProgramsEnd) {
    const std::string wav = write("tone.wav", fixtures::sine(440, 1.0));
    bool fire = true;
    // Read by the caller: BASS_ChannelGetData fails with a code.
    const HSTREAM dec = BASS_StreamCreateFile(0, wav.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(BASS_ChannelSetDSP(dec, throwingDsp, &fire, 0), 0u);
    char buf[4096];
    EXPECT_EQ(BASS_ChannelGetData(dec, buf, sizeof buf), -1);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_UNKNOWN);
    fire = false;  // the channel's lock was released: it reads on
    EXPECT_GT(BASS_ChannelGetData(dec, buf, sizeof buf), 0);

    // Played: the decoding that throws stops that channel; the output goes on.
    fire = true;
    const DWORD play = playChannel(wav, BASS_FX_FREESOURCE);
    ASSERT_NE(play, 0u);
    BASS_ChannelSetDSP(play, throwingDsp, &fire, 0);
    EXPECT_FALSE(BASS_ChannelPlay(play, 1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_UNKNOWN);
    fire = false;
    ASSERT_TRUE(BASS_ChannelPlay(play, 1));
    fire = true;
    EXPECT_EQ(engine::nullOutputStep(44100), 44100);
    EXPECT_EQ(BASS_ChannelIsActive(play), BASS_ACTIVE_STOPPED);
}

TEST_F(Boundary, EachThreadReadsTheCodeOfItsOwnLastCall) {
    EXPECT_EQ(BASS_ChannelGetLength(0xDEAD), QWORD(-1));
    ASSERT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    std::thread worker([] {
        EXPECT_EQ(BASS_StreamCreateFile(0, "/no/such/file.wav", 0, 0, BASS_STREAM_DECODE), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    });
    worker.join();
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

}  // namespace
