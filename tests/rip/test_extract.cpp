// Extraction to WAV and WMA and the cd-list / cd-rip subcommands, on disc images.
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "disc/basscd.h"
#include "rip/cd_commands.h"
#include "rip/extract.h"
#include "tests/cd/cd_image.h"
#include "tests/cd/wma_probe.h"
#include "tests/support/audio_fixtures.h"

namespace {

using fixtures::le32;

// The file is a 44-byte header whose sizes describe exactly the audio behind it, and that audio
// is `audio`.
void expectWav(const std::string& path, const std::vector<uint8_t>& audio) {
    auto b = fixtures::readBytes(path);
    ASSERT_EQ(b.size(), 44 + audio.size());
    EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
    EXPECT_EQ(le32(b, 4), audio.size() + 36);
    EXPECT_EQ(std::memcmp(b.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(le32(b, 24), 44100u);
    EXPECT_EQ(le32(b, 28), 176400u);
    EXPECT_EQ(b[32], 4);
    EXPECT_EQ(b[34], 16);
    EXPECT_EQ(le32(b, 40), audio.size());
    EXPECT_EQ(std::memcmp(b.data() + 44, audio.data(), audio.size()), 0);
}

class CdExtract : public ::testing::Test {
  protected:
    void SetUp() override {
        engine::cdUseDeviceDrives(false);
        engine::cdRemoveImages();
        disc.title = "Disc";
        disc.performer = "Band";
        disc.tracks = cdimage::audioTracks(3, 120);
        disc.tracks[0].sectors = 400;
        disc.tracks[1].title = "Second";
        cdimage::Track data;
        data.data = true;
        disc.tracks.push_back(data);
        cue = cdimage::write(dir.file("disc"), disc);
        drive = engine::cdAddImage(cue);
        ASSERT_GE(drive, 0);
    }
    void TearDown() override { engine::cdSetTestFaults(drive, {}); }

    fixtures::TempDir dir;
    cdimage::Disc disc;
    std::string cue;
    int drive = -1;
};

TEST_F(CdExtract, WavIsTheTrackBitForBitAfterALongerOne) {
    const std::string out = dir.file("out.wav");
    uint64_t lastProgress = 0;
    HSTREAM seen = 0;
    cd::ExtractHooks hooks;
    hooks.onStream = [&](HSTREAM s) { seen = s; };
    hooks.progress = [&](uint64_t done, uint64_t total) {
        EXPECT_GE(done, lastProgress);
        EXPECT_EQ(total, 400u * 2352);
        lastProgress = done;
    };
    auto r = cd::extractTrackToWav(drive, 0, out, hooks);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_NE(seen, 0u);
    EXPECT_EQ(lastProgress, 400u * 2352);
    expectWav(out, cdimage::trackBytes(disc.tracks[0], 0));
    EXPECT_FALSE(BASS_CD_DoorIsLocked(DWORD(drive)));

    // A shorter track into the same file: the file shrinks to it.
    r = cd::extractTrackToWav(drive, 2, out);
    ASSERT_TRUE(r.ok());
    expectWav(out, cdimage::trackBytes(disc.tracks[2], 2));

    // A data track opens no stream and writes nothing.
    r = cd::extractTrackToWav(drive, 3, dir.file("data.wav"));
    EXPECT_EQ(r.status, cd::ExtractResult::Status::StreamFailed);
    EXPECT_EQ(r.engineError, BASS_ERROR_NOTAUDIO);
    EXPECT_FALSE(std::filesystem::exists(dir.file("data.wav")));
}

TEST_F(CdExtract, ReadFailingHalfWayLeavesAFileWhoseHeaderMatchesItsData) {
    engine::CdTestFaults f;
    f.failReadsFromSector = 100;  // inside the first track
    engine::cdSetTestFaults(drive, f);
    const std::string out = dir.file("part.wav");
    auto r = cd::extractTrackToWav(drive, 0, out);
    EXPECT_EQ(r.status, cd::ExtractResult::Status::ReadFailed);
    EXPECT_EQ(r.bytesRead, 100u * 2352);
    EXPECT_NE(r.message.find("only in part"), std::string::npos) << r.message;
    auto whole = cdimage::trackBytes(disc.tracks[0], 0);
    expectWav(out, std::vector<uint8_t>(whole.begin(), whole.begin() + 100 * 2352));

    r = cd::extractTrackToWav(drive, 0, dir.file("no/such/folder/x.wav"));
    EXPECT_EQ(r.status, cd::ExtractResult::Status::WriteFailed);
    EXPECT_FALSE(r.message.empty());
}

TEST_F(CdExtract, WmaDecodesToTheTrackLengthWithOnlyTheGivenTags) {
    const std::string out = dir.file("t.wma");
    auto r = cd::extractTrackToWma(drive, 0, 128000, out,
                                   {{"Title", "My Title"}, {"Author", ""}, {"WM/Year", "2001"}});
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_GE(r.seconds, 0.0);
    auto info = wmaprobe::probe(out);
    ASSERT_TRUE(info.opened);
    EXPECT_NEAR(info.seconds(), 400.0 / 75.0, 0.1);
    EXPECT_EQ(wmaprobe::tag(info, "Title"), "My Title");
    EXPECT_EQ(wmaprobe::tag(info, "WM/Year"), "2001");
    EXPECT_FALSE(wmaprobe::storesName(out, "Author")) << "an empty text leaves the tag out";

    r = cd::extractTrackToWma(drive, 0, 0, dir.file("none.wma"), {});
    EXPECT_EQ(r.status, cd::ExtractResult::Status::NoBitrate);
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.wma")));
    r = cd::extractTrackToWma(drive, 3, 128000, dir.file("data.wma"), {});
    EXPECT_EQ(r.status, cd::ExtractResult::Status::StreamFailed);
    r = cd::extractTrackToWma(drive, 0, 128000, dir.file("no/such/x.wma"), {});
    EXPECT_EQ(r.status, cd::ExtractResult::Status::EncoderFailed);
    EXPECT_EQ(r.engineError, BASS_ERROR_CREATE);
    EXPECT_FALSE(BASS_CD_DoorIsLocked(DWORD(drive)));
}

TEST_F(CdExtract, ListAndRipCommands) {
    std::ostringstream out, err;
    ASSERT_EQ(cd::cdListCommand({cue}, out, err), 0) << err.str();
    EXPECT_EQ(out.str(),
              "Artist: Band\nAlbum: Disc\n01\t / \t[00:05]\n02\t / Second\t[00:02]\n"
              "03\t / \t[00:02]\n04\tTrack 4\t[data]\n");
    EXPECT_EQ(cd::cdListCommand({}, out, err), 2);
    EXPECT_EQ(cd::cdListCommand({dir.file("missing.cue")}, out, err), 1);
    EXPECT_NE(err.str().find("does not exist"), std::string::npos) << err.str();
    // The hint about the .bin only when the .bin is what is missing.
    const std::string sheet = "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    fixtures::writeBytes(dir.file("nobin.cue"), std::vector<uint8_t>(sheet.begin(), sheet.end()));
    fixtures::writeBytes(dir.file("bad.cue"), std::vector<uint8_t>(sheet.begin(), sheet.end() - 9));
    fixtures::writeBytes(dir.file("bad.bin"), std::vector<uint8_t>(2352));
    for (const char* name : {"nobin.cue", "bad.cue"}) {
        err.str("");
        EXPECT_EQ(cd::cdListCommand({dir.file(name)}, out, err), 1);
        EXPECT_EQ(err.str().find(".bin its FILE line names") != std::string::npos,
                  std::string(name) == "nobin.cue")
            << err.str();
    }

    const std::string wav = dir.file("rip.wav");
    err.str("");
    ASSERT_EQ(cd::cdRipCommand({cue, "2", wav}, out, err), 0) << err.str();
    expectWav(wav, cdimage::trackBytes(disc.tracks[1], 1));

    const std::string wma = dir.file("rip.WMA");
    ASSERT_EQ(cd::cdRipCommand({cue, "1", wma, "--bitrate", "64", "--tag", "title=Ripped",
                                "--tag=WM/Genre=Test"},
                               out, err),
              0)
        << err.str();
    auto info = wmaprobe::probe(wma);
    EXPECT_NEAR(info.seconds(), 400.0 / 75.0, 0.1);
    EXPECT_EQ(wmaprobe::tag(info, "Title"), "Ripped");
    EXPECT_EQ(wmaprobe::tag(info, "WM/Genre"), "Test");
    EXPECT_LE(info.bitRate, 64000 + 1000);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{cue, "0", wav},
                                                {cue, "x", wav},
                                                {cue, "1", dir.file("a.mp3")},
                                                {cue, "1", wav, "--bitrate", "128"},
                                                {cue, "1", wma, "--bitrate", "7"},
                                                {cue, "1", wma, "--tag", "Nope=1"},
                                                {cue, "1"}})
        EXPECT_EQ(cd::cdRipCommand(bad, out, err), 2) << bad.size();
    EXPECT_EQ(cd::cdRipCommand({cue, "9", wav}, out, err), 1);

    // A rip that fails leaves the file that was there alone, and no temporary file.
    fixtures::writeBytes(wav, {1, 2, 3});
    engine::CdTestFaults f;
    f.failReadsFromSector = 10;
    engine::cdSetTestFaults(drive, f);
    err.str("");
    EXPECT_EQ(cd::cdRipCommand({cue, "1", wav}, out, err), 1);
    EXPECT_NE(err.str().find("only in part"), std::string::npos) << err.str();
    EXPECT_EQ(fixtures::readBytes(wav), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(cd::cdRipCommand({cue, "3", wav}, out, err), 1) << "data track";
    // Nor is a file the image reads written over.
    const std::string whole = dir.file("whole.wav"), wavCue = dir.file("whole.cue");
    fixtures::writeWav(whole, fixtures::sine(440, 1.0));
    const auto wholeBytes = fixtures::readBytes(whole);
    const std::string wavSheet =
        "FILE \"whole.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    fixtures::writeBytes(wavCue, std::vector<uint8_t>(wavSheet.begin(), wavSheet.end()));
    err.str("");
    EXPECT_EQ(cd::cdRipCommand({wavCue, "1", whole}, out, err), 1);
    EXPECT_NE(err.str().find("a file of the disc image itself"), std::string::npos) << err.str();
    EXPECT_EQ(fixtures::readBytes(whole), wholeBytes);
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.path().filename().string().find("part") != std::string::npos;
    EXPECT_EQ(files, 0);
}

// Whatever fails, a file already at the output stays as it was and no temporary file is left;
// a link planted where a temporary file might go is never followed; a name with a colon is a
// file name.
TEST_F(CdExtract, OutputsAreReplacedOnlyByCompleteFiles) {
    namespace fs = std::filesystem;
    std::ostringstream out, err;
    const std::string victim = dir.file("victim");
    fixtures::writeBytes(victim, {7, 7, 7});
    const std::string wav = dir.file("rip.wav");
    fs::create_symlink(victim, dir.file(".rip.wav.quorvin-part"));
    ASSERT_EQ(cd::cdRipCommand({cue, "2", wav}, out, err), 0) << err.str();
    expectWav(wav, cdimage::trackBytes(disc.tracks[1], 1));
    EXPECT_EQ(fixtures::readBytes(victim), (std::vector<uint8_t>{7, 7, 7}));

    const std::string wma = dir.file("TRACK1:a.WMA");
    ASSERT_TRUE(cd::extractTrackToWma(drive, 1, 128000, wma, {}).ok());
    const auto good = fixtures::readBytes(wma);
    EXPECT_NEAR(wmaprobe::probe(wma).seconds(), 120.0 / 75.0, 0.1);
    engine::CdTestFaults f;
    f.failReadsFromSector = 400 + 60;
    engine::cdSetTestFaults(drive, f);
    EXPECT_EQ(cd::extractTrackToWma(drive, 1, 128000, wma, {}).status,
              cd::ExtractResult::Status::ReadFailed);
    EXPECT_EQ(cd::cdRipCommand({cue, "2", wma}, out, err), 1);
    EXPECT_EQ(fixtures::readBytes(wma), good);

    int entries = 0;
    for (auto& e : fs::directory_iterator(dir.path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 6) << "disc.cue, disc.bin, victim, the link, rip.wav, the WMA file";
}

}  // namespace
