// The CD layer on disc images the tests write: drive table, door, tracks, CD-Text, the drive
// stand-in, and track audio read back bit for bit.
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "disc/basscd.h"
#include "disc/cd_ext.h"
#include "disc/cd_internal.h"
#include "tests/cd/cd_image.h"
#include "tests/support/audio_fixtures.h"

namespace {

std::map<std::string, std::string> parseBlock(const char* block) {
    std::map<std::string, std::string> out;
    for (const char* p = block; *p; p += std::strlen(p) + 1) {
        std::string s = p;
        auto eq = s.find('=');
        out[s.substr(0, eq)] = eq == std::string::npos ? "" : s.substr(eq + 1);
    }
    return out;
}

class CdDrives : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { engine::cdUseDeviceDrives(false); }

    // Three audio tracks (1 s, 2 s, 0.5 s) and a data track; CD-Text for the disc and tracks 1
    // and 3.
    int addStandardImage(const std::string& base = "disc") {
        cdimage::Disc disc;
        disc.title = "Album Ünïcode";
        disc.performer = "The Band";
        disc.tracks = cdimage::audioTracks(3, 75);
        disc.tracks[1].sectors = 150;
        disc.tracks[2].sectors = 38;
        disc.tracks[0].title = "First";
        disc.tracks[0].performer = "Singer A";
        disc.tracks[2].title = "Third";
        cdimage::Track data;
        data.data = true;
        data.sectors = 30;
        disc.tracks.push_back(data);
        discSpec = disc;
        cue = cdimage::write(dir.file(base), disc);
        return engine::cdAddImage(cue);
    }

    fixtures::TempDir dir;
    cdimage::Disc discSpec;
    std::string cue;
};

// An image chosen again after its sheet was mended is read again, as a disc put in again; chosen
// again unchanged, it stays as it is (its streams play on).
TEST_F(CdDrives, AnImageChangedOnDiskIsReadAgainWhenAddedAgain) {
    const int d = addStandardImage();
    ASSERT_GE(d, 0);
    EXPECT_EQ(BASS_CD_GetTracks(DWORD(d)), 4);
    const HSTREAM playing = BASS_CD_StreamCreate(DWORD(d), 0, BASS_STREAM_DECODE);
    ASSERT_NE(playing, 0u);
    EXPECT_EQ(engine::cdAddImage(cue), d);
    char buf[4096];
    EXPECT_GT(BASS_ChannelGetData(playing, buf, sizeof buf), 0);
    cdimage::Disc two;
    two.tracks = cdimage::audioTracks(2, 75);
    ASSERT_EQ(cdimage::write(dir.file("disc"), two), cue);
    EXPECT_EQ(engine::cdAddImage(cue), d);
    EXPECT_EQ(BASS_CD_GetTracks(DWORD(d)), 2);
    // The stream of the disc before reads no more, as for a disc taken out: never the new
    // image's sectors at the old track's place.
    std::vector<char> more(100000);  // of the 172304 bytes left of the first track
    const DWORD got = BASS_ChannelGetData(playing, more.data(), DWORD(more.size()));
    EXPECT_TRUE(got == DWORD(-1) || got < more.size()) << got;
    BASS_StreamFree(playing);
}

TEST_F(CdDrives, ImageDriveAnswersLikeADriveWithoutADoor) {
    int d = addStandardImage();
    ASSERT_GE(d, 0);
    EXPECT_EQ(engine::cdAddImage(cue), d) << "the same image is one drive";
    EXPECT_STREQ(engine::cdDriveShortName(DWORD(d)), "disc.cue");
    ASSERT_NE(BASS_CD_GetDriveDescription(DWORD(d)), nullptr);
    EXPECT_GT(std::strlen(BASS_CD_GetDriveDescription(DWORD(d))), 0u);
    EXPECT_EQ(BASS_CD_GetDriveDescription(DWORD(engine::cdDriveCount())), nullptr);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);

    BASS_CD_INFO info{};
    ASSERT_TRUE(BASS_CD_GetInfo(DWORD(d), &info));
    EXPECT_TRUE(info.flags & BASS_CD_RWFLAG_READCDDA);
    EXPECT_EQ(info.canopen, 0u);
    EXPECT_EQ(info.canlock, 0u);

    for (DWORD action : {BASS_CD_DOOR_OPEN, BASS_CD_DOOR_CLOSE, BASS_CD_DOOR_LOCK}) {
        EXPECT_FALSE(BASS_CD_Door(DWORD(d), action));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTSUPPORTED);
    }
    EXPECT_FALSE(BASS_CD_DoorIsOpen(DWORD(d)));
    EXPECT_FALSE(BASS_CD_DoorIsLocked(DWORD(d))) << "a lock that failed does not count";
    EXPECT_TRUE(BASS_CD_IsReady(DWORD(d)));
}

TEST_F(CdDrives, TracksAndLengthsAreCheckedAgainstTheDisc) {
    int d = addStandardImage();
    ASSERT_GE(d, 0);
    EXPECT_EQ(BASS_CD_GetTracks(DWORD(d)), 4);
    EXPECT_EQ(BASS_CD_GetTrackLength(DWORD(d), 0), 75 * 2352);
    EXPECT_EQ(BASS_CD_GetTrackLength(DWORD(d), 1), 150 * 2352);
    EXPECT_EQ(BASS_CD_GetTrackLength(DWORD(d), 2), 38 * 2352);
    EXPECT_EQ(BASS_CD_GetTrackLength(DWORD(d), 3), -1);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAUDIO);
    EXPECT_EQ(BASS_CD_GetTrackLength(DWORD(d), 4), -1);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CDTRACK);
    EXPECT_EQ(BASS_CD_GetTrackLength(DWORD(d), 0xffffffffu), -1);
    EXPECT_EQ(BASS_CD_GetTracks(999), -1);
}

TEST_F(CdDrives, CdTextBlockHasDiscAndTrackEntriesInUtf8) {
    int d = addStandardImage();
    const char* block = BASS_CD_GetID(DWORD(d), BASS_CDID_TEXT);
    ASSERT_NE(block, nullptr);
    auto keys = parseBlock(block);
    EXPECT_EQ(keys["TITLE0"], "Album Ünïcode");
    EXPECT_EQ(keys["PERFORMER0"], "The Band");
    EXPECT_EQ(keys["TITLE1"], "First");
    EXPECT_EQ(keys["PERFORMER1"], "Singer A");
    EXPECT_EQ(keys["TITLE3"], "Third");
    EXPECT_EQ(keys.count("TITLE2"), 0u);
    EXPECT_EQ(keys.count("PERFORMER3"), 0u);
    EXPECT_EQ(BASS_CD_GetID(DWORD(d), 1), nullptr);

    cdimage::Disc plain;
    plain.tracks = cdimage::audioTracks(2, 10);
    int p = engine::cdAddImage(cdimage::write(dir.file("plain"), plain));
    ASSERT_GE(p, 0);
    EXPECT_EQ(BASS_CD_GetID(DWORD(p), BASS_CDID_TEXT), nullptr);
    EXPECT_EQ(BASS_CD_GetTracks(DWORD(p)), 2);
}

// A cue sheet's text in UTF-8 (with or without a byte-order mark) or in Latin-1 reads the same,
// and so does a .toc file's, in UTF-8 or with cdrdao's octal escapes of Latin-1.
enum class CueEncoding { Utf8WithMark, Utf8, Latin1, TocUtf8, TocEscaped };
const std::string kCueEncodingNames[] = {"Utf8WithMark", "Utf8", "Latin1", "TocUtf8", "TocEscaped"};

class CueText : public ::testing::TestWithParam<CueEncoding> {};

TEST_P(CueText, IsReadAsUtf8OrElseLatin1) {
    engine::cdUseDeviceDrives(false);
    fixtures::TempDir dir;
    std::string sheet =
        "PERFORMER \"Sigur R\xc3\xb3s\"\nFILE \"x.bin\" BINARY\n  TRACK 01 AUDIO\n"
        "    TITLE \"Hopp\xc3\xadpolla\"\n    INDEX 01 00:00:00\n";
    if (GetParam() == CueEncoding::Utf8WithMark) sheet = "\xef\xbb\xbf" + sheet;
    // Read as Windows-1252, as Windows programs write it: its signs at 0x80-0x9F too (’).
    if (GetParam() == CueEncoding::Latin1) {
        sheet = cdimage::latin1(sheet);
        sheet.insert(sheet.find("Hopp") + 4, "\x92");
    }
    const bool toc = GetParam() == CueEncoding::TocUtf8 || GetParam() == CueEncoding::TocEscaped;
    if (toc) {
        const bool escaped = GetParam() == CueEncoding::TocEscaped;
        const auto text = [](const char* key, const std::string& value) {
            return std::string("CD_TEXT {\n LANGUAGE 0 {\n  ") + key + " \"" + value +
                   "\"\n }\n}\n";
        };
        // The language map on one line, or over three as most writers of .toc files lay it out.
        sheet = std::string("CD_DA\nCD_TEXT {\n LANGUAGE_MAP ") +
                (escaped ? "{\n  0 : EN\n }" : "{ 0 : EN }") + "\n LANGUAGE 0 {\n  PERFORMER \"" +
                std::string(escaped ? "Sigur R\\363s" : "Sigur R\xc3\xb3s") +
                "\"\n }\n}\nTRACK AUDIO\n" +
                text("TITLE", escaped ? "Hopp\\355polla" : "Hopp\xc3\xadpolla") +
                "FILE \"t.bin\" 0 00:00:05\nTRACK AUDIO\n" + text("TITLE", "Say \\\"Hi\\\"") +
                "FILE \"t.bin\" 00:00:05\n";
    }
    const std::string sheetFile = dir.file(toc ? "t.toc" : "t.cue");
    fixtures::writeBytes(sheetFile, std::vector<uint8_t>(sheet.begin(), sheet.end()));
    fixtures::writeBytes(dir.file("t.bin"), std::vector<uint8_t>(10 * 2352));
    const int d = engine::cdAddImage(sheetFile);
    ASSERT_GE(d, 0);
    const char* block = BASS_CD_GetID(DWORD(d), BASS_CDID_TEXT);
    ASSERT_NE(block, nullptr);
    auto keys = parseBlock(block);
    EXPECT_EQ(keys["PERFORMER0"], "Sigur R\xc3\xb3s");
    EXPECT_EQ(keys["TITLE1"], GetParam() == CueEncoding::Latin1 ? "Hopp\xe2\x80\x99\xc3\xadpolla"
                                                                : "Hopp\xc3\xadpolla");
    if (toc) EXPECT_EQ(keys["TITLE2"], "Say \"Hi\"");
    engine::cdRemoveImages();
}

INSTANTIATE_TEST_SUITE_P(Encodings, CueText,
                         ::testing::Values(CueEncoding::Utf8WithMark, CueEncoding::Utf8,
                                           CueEncoding::Latin1, CueEncoding::TocUtf8,
                                           CueEncoding::TocEscaped),
                         [](const auto& info) { return kCueEncodingNames[int(info.param)]; });

TEST_F(CdDrives, BrokenImagesAreRefusedOrTrimmed) {
    cdimage::Disc disc;
    disc.tracks = cdimage::audioTracks(2, 20);
    std::string cueMissingBin = cdimage::write(dir.file("nobin"), disc);
    std::filesystem::remove(dir.file("nobin.bin"));
    EXPECT_EQ(engine::cdAddImage(cueMissingBin), -1);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(engine::cdAddImage(dir.file("does-not-exist.cue")), -1);
    fixtures::writeBytes(dir.file("empty.cue"), {});
    fixtures::writeBytes(dir.file("empty.bin"), {});
    EXPECT_EQ(engine::cdAddImage(dir.file("empty.cue")), -1);

    // A .bin cut short in the second track: the track ends where the data ends, and no read
    // goes past it.
    std::string cut = cdimage::write(dir.file("cut"), disc);
    std::filesystem::resize_file(dir.file("cut.bin"), 30 * 2352);
    int d = engine::cdAddImage(cut);
    ASSERT_GE(d, 0);
    EXPECT_EQ(BASS_CD_GetTrackLength(DWORD(d), 0), 20 * 2352);
    EXPECT_EQ(BASS_CD_GetTrackLength(DWORD(d), 1), 10 * 2352);
    int err = 0;
    auto src = engine::cd::openTrackSource(DWORD(d), 1, &err);
    ASSERT_TRUE(src);
    std::vector<int16_t> buf(40 * 588 * 2);
    EXPECT_EQ(src->read(buf.data(), 40 * 588), 10 * 588);
    EXPECT_EQ(src->read(buf.data(), 588), 0);
}

TEST_F(CdDrives, TrackAudioReadsBackBitForBitAndSeeks) {
    int d = addStandardImage();
    int err = -1;
    auto src = engine::cd::openTrackSource(DWORD(d), 1, &err);
    ASSERT_TRUE(src) << err;
    EXPECT_EQ(src->rate(), 44100);
    EXPECT_EQ(src->channels(), 2);
    EXPECT_EQ(src->lengthFrames(), 150 * 588);
    EXPECT_EQ(src->ctype(), BASS_CTYPE_STREAM_CD);

    auto expected = cdimage::trackBytes(discSpec.tracks[1], 1);
    std::vector<int16_t> got;
    std::vector<int16_t> buf(1000 * 2);  // blocks that do not fall on sector boundaries
    for (int64_t n; (n = src->read(buf.data(), 1000)) > 0;)
        got.insert(got.end(), buf.begin(), buf.begin() + n * 2);
    ASSERT_EQ(got.size() * 2, expected.size());
    EXPECT_EQ(std::memcmp(got.data(), expected.data(), expected.size()), 0);

    ASSERT_TRUE(src->seek(12345));
    ASSERT_EQ(src->read(buf.data(), 1000), 1000);
    EXPECT_EQ(std::memcmp(buf.data(), expected.data() + 12345 * 4, 4000), 0);
    EXPECT_FALSE(src->seek(150 * 588 + 1));

    EXPECT_FALSE(engine::cd::openTrackSource(DWORD(d), 3, &err));
    EXPECT_EQ(err, BASS_ERROR_NOTAUDIO);
    EXPECT_FALSE(engine::cd::openTrackSource(DWORD(d), 7, &err));
    EXPECT_EQ(err, BASS_ERROR_CDTRACK);
}

TEST_F(CdDrives, StandInOpenDoorAndFailingReads) {
    int d = addStandardImage();
    int err = 0;
    auto playing = engine::cd::openTrackSource(DWORD(d), 0, &err);
    ASSERT_TRUE(playing);

    engine::CdTestFaults open;
    open.doorOpen = true;
    ASSERT_TRUE(engine::cdSetTestFaults(d, open));
    EXPECT_TRUE(BASS_CD_DoorIsOpen(DWORD(d)));
    EXPECT_FALSE(BASS_CD_IsReady(DWORD(d)));
    EXPECT_EQ(BASS_CD_GetTracks(DWORD(d)), -1);
    EXPECT_EQ(BASS_CD_GetID(DWORD(d), BASS_CDID_TEXT), nullptr);
    std::vector<int16_t> buf(588 * 2);
    EXPECT_EQ(playing->read(buf.data(), 588), -1) << "a stream of the removed disc fails";
    EXPECT_FALSE(engine::cd::openTrackSource(DWORD(d), 0, &err));

    ASSERT_TRUE(engine::cdSetTestFaults(d, {}));
    EXPECT_FALSE(BASS_CD_DoorIsOpen(DWORD(d)));
    EXPECT_EQ(BASS_CD_GetTracks(DWORD(d)), 4);
    EXPECT_EQ(playing->read(buf.data(), 588), -1) << "the old stream stays failed";

    // Reads failing from sector 100 (the 26th sector of track 2): the sectors before it come,
    // then -1.
    engine::CdTestFaults scratched;
    scratched.failReadsFromSector = 100;
    ASSERT_TRUE(engine::cdSetTestFaults(d, scratched));
    auto src = engine::cd::openTrackSource(DWORD(d), 1, &err);
    ASSERT_TRUE(src);
    std::vector<int16_t> big(150 * 588 * 2);
    EXPECT_EQ(src->read(big.data(), 150 * 588), 25 * 588);
    EXPECT_EQ(src->read(big.data(), 588), -1);
    engine::cdSetTestFaults(d, {});
}

TEST_F(CdDrives, QueriesAnswerWhileTheDriveIsBusy) {
    int d = addStandardImage();
    engine::CdTestFaults hold;
    hold.holdQueries = true;
    ASSERT_TRUE(engine::cdSetTestFaults(d, hold));
    // The poller is stuck on this drive; the window's queries still answer from the last state.
    for (int i = 0; i < 100; ++i) {
        EXPECT_FALSE(BASS_CD_DoorIsOpen(DWORD(d)));
        EXPECT_TRUE(BASS_CD_IsReady(DWORD(d)));
        EXPECT_EQ(BASS_CD_GetTracks(DWORD(d)), 4);
    }
    // Nor does a door action wait for the drive: it is queued for the poller.
    bool quick = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (quick && std::chrono::steady_clock::now() < until) {
        auto door = std::async(std::launch::async,
                               [d] { return BASS_CD_Door(DWORD(d), BASS_CD_DOOR_LOCK); });
        quick = door.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
        if (!quick) engine::cdSetTestFaults(d, {});  // lets the waiting call finish
    }
    EXPECT_TRUE(quick) << "a door action waited for the busy drive";
    ASSERT_TRUE(engine::cdSetTestFaults(d, {}));
    EXPECT_TRUE(BASS_CD_IsReady(DWORD(d)));
}

// Drives plugged in while the program runs appear within a few seconds; one unplugged fails
// cleanly and its stream stops reading. Disc images stand in for the machine's devices.
TEST_F(CdDrives, DrivesPluggedInAppearAndUnpluggedOnesFailCleanly) {
    addStandardImage("first");
    cdimage::Disc small;
    small.tracks = cdimage::audioTracks(2, 30);
    const std::string plugged = cdimage::write(dir.file("plugged"), small);
    const std::vector<std::string> one{plugged}, none;
    const uint64_t generation = engine::cdDriveListGeneration();
    const int before = engine::cdDriveCount();
    engine::cdSetTestDeviceList(&one);
    // The poller's own rescan, within a few seconds.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (engine::cdDriveCount() == before && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(engine::cdDriveCount(), before + 1);
    const DWORD d = DWORD(before);
    EXPECT_NE(engine::cdDriveListGeneration(), generation);
    EXPECT_TRUE(engine::cdDrivePresent(d));
    EXPECT_EQ(BASS_CD_GetTracks(d), 2);
    int err = 0;
    auto src = engine::cd::openTrackSource(d, 0, &err);
    ASSERT_TRUE(src) << err;
    std::vector<int16_t> buf(588 * 2);
    EXPECT_EQ(src->read(buf.data(), 588), 588);

    engine::cdSetTestDeviceList(&none);
    engine::cdRescanDrives();
    EXPECT_FALSE(engine::cdDrivePresent(d));
    EXPECT_EQ(engine::cdDriveCount(), before + 1) << "indexes stay";
    EXPECT_NE(BASS_CD_GetDriveDescription(d), nullptr);
    EXPECT_EQ(BASS_CD_GetTracks(d), -1);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_CD_Door(d, BASS_CD_DOOR_LOCK));
    EXPECT_EQ(BASS_CD_StreamCreate(d, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    std::vector<int16_t> rest(30 * 588 * 2);
    EXPECT_EQ(src->read(rest.data(), 30 * 588), -1) << "the stream of the unplugged drive fails";
    EXPECT_TRUE(engine::cdDrivePresent(0)) << "the image added by path stays";
    engine::cdSetTestDeviceList(nullptr);
}

}  // namespace
