// What the rip tests start from: no real drives, a disc image added as a drive, and the options
// of a rip into the test's own folder.
#pragma once

#include <gtest/gtest.h>

#include "disc/basscd.h"
#include "rip/rip_disc.h"
#include "tests/cd/cd_image.h"
#include "tests/support/audio_fixtures.h"

class DiscTest : public ::testing::Test {
  protected:
    void SetUp() override {
        engine::cdUseDeviceDrives(false);
        engine::cdRemoveImages();
    }
    // Adds `d` as a drive; its number.
    int addDisc(const cdimage::Disc& d) {
        disc = d;
        const int drive = engine::cdAddImage(cdimage::write(discDir.file("disc"), disc));
        EXPECT_GE(drive, 0);
        return drive;
    }
    cd::RipOptions options(cd::RipFormat format = cd::RipFormat::Flac) const {
        cd::RipOptions o;
        o.folder = (outDir.path() / "rip").string();
        o.format = format;
        return o;
    }

    fixtures::TempDir discDir, outDir;
    cdimage::Disc disc;
};
