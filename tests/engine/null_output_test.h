// An engine initialised on the manual null output, with a folder for the files a test writes.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "tests/support/audio_fixtures.h"

class NullOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        engine::setOutputKind(engine::OutputKind::NullManual);
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    }
    void TearDown() override {
        BASS_Free();
        engine::setOutputKind(engine::OutputKind::Device);
    }
    // A WAV file of `pcm` in the test's folder; its path.
    std::string write(const std::string& name, const fixtures::Pcm& pcm) {
        const std::string path = dir.file(name);
        fixtures::writeWav(path, pcm);
        return path;
    }
    // The program's playing channel: a looping tempo channel over a decoding stream.
    DWORD playChannel(const std::string& path,
                      DWORD flags = BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP) {
        const DWORD s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        return BASS_FX_TempoCreate(s, flags);
    }
    fixtures::TempDir dir;
};
