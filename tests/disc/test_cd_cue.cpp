// Cue sheets are checked before libcdio reads them: a matrix of sheets, each accepted or refused
// with its reason, and the refusals as a user meets them when adding the image.
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "disc/basscd.h"
#include "disc/cd_cue.h"
#include "disc/cd_ext.h"
#include "engine/engine_ext.h"
#include "tests/cd/cd_image.h"
#include "tests/support/audio_fixtures.h"

namespace {

constexpr int64_t kSector = 2352;
const std::string kHead = "FILE \"a.bin\" BINARY\n";

struct CueCase {
    const char* name;
    std::string sheet;
    int64_t binSectors;  // -1: no .bin
    std::string reason;  // empty: accepted; else a part of the reason
};

std::string track(int n, const std::string& index, const std::string& mode = "AUDIO") {
    char head[32];
    std::snprintf(head, sizeof head, "  TRACK %02d %s\n", n, mode.c_str());
    return head + index;
}

std::vector<CueCase> cases() {
    const std::string t1 = track(1, "    INDEX 01 00:00:00\n");
    const std::string t2 = track(2, "    INDEX 01 00:01:00\n");
    return {
        {"TwoTracks", kHead + t1 + t2, 150, ""},
        {"RemsTitlesGapsAndCrLf",
         "REM GENRE Rock\r\nTITLE \"A b\"\r\n" + kHead + t1 +
             track(2, "    PREGAP 00:00:10\n    INDEX 00 00:00:50\n    INDEX 01 00:01:00\n"),
         150, ""},
        {"MacLineEndsAndADosEndOfFileMark",
         "REM GENRE Rock\rTITLE \"A b\"\r" + kHead + t1 + t2 + "\x1a", 150, ""},
        {"DataTrack", kHead + t1 + track(2, "    INDEX 01 00:01:00\n", "MODE1/2352"), 150, ""},
        {"TracksNotFromOne", kHead + track(99, "    INDEX 01 00:00:00\n") + t2, 150, "TRACK 99"},
        {"TrackNumberGoesBack",
         kHead + track(2, "    INDEX 01 00:00:00\n") + track(1, "    INDEX 01 00:01:00\n"), 150,
         "numbered from 1"},
        {"TrackNumberSkips", kHead + t1 + track(3, "    INDEX 01 00:01:00\n"), 150, "TRACK 03"},
        {"LastTrackWithoutIndex", kHead + t1 + track(2, ""), 150, "track 2 has no INDEX 01"},
        {"MiddleTrackWithoutIndex", kHead + track(1, "") + t2, 150, "track 1 has no INDEX 01"},
        {"IndexPastTheBin", kHead + t1 + track(2, "    INDEX 01 00:03:00\n"), 150,
         "past the end of the .bin"},
        {"IndexGoesBack", kHead + t1 + track(2, "    INDEX 00 00:01:10\n    INDEX 01 00:01:00\n"),
         150, "goes back"},
        {"EmptyTrack", kHead + t1 + track(2, "    INDEX 01 00:00:00\n"), 150, "empty"},
        {"IndexOutOfOrder", kHead + t1 + track(2, "    INDEX 02 00:01:00\n"), 150, "out of order"},
        {"SecondsOutOfRange", kHead + t1 + track(2, "    INDEX 01 00:61:00\n"), 150000, "bad time"},
        {"FramesOutOfRange", kHead + t1 + track(2, "    INDEX 01 00:01:75\n"), 150, "bad time"},
        {"IndexBeforeTrack", kHead + "INDEX 01 00:00:00\n" + t1, 150, "before the first TRACK"},
        {"TrackBeforeFile", t1 + kHead, 150, "TRACK before FILE"},
        {"TwoFiles", kHead + kHead + t1, 150, "more than one FILE"},
        {"WaveFile", "FILE \"a.wav\" WAVE\n" + t1, 150, "BINARY"},
        {"EmptyFileName", "FILE \"\" BINARY\n" + t1, 150, "empty name"},
        {"UnclosedQuote", "FILE \"a.bin BINARY\n" + t1, 150, "quote"},
        {"UnknownMode", kHead + track(1, "    INDEX 01 00:00:00\n", "MODE1/2048"), 150, "mode"},
        {"LongLine", "REM " + std::string(2000, 'x') + "\n" + kHead + t1, 150, "too long"},
        {"ControlCharacter", "TITLE \"a\x01b\"\n" + kHead + t1, 150, "control character"},
        {"TitleHoldingQuotes", "TITLE \"Caf\xe9 \"Noir\"\"\n" + kHead + t1, 150, ""},
        {"TitleWithWordsAfterItsQuotes", "TITLE \"a\" b\n" + kHead + t1, 150, "one value"},
        {"UnknownCommand", kHead + t1 + "    BOGUS 1\n", 150, "unknown command"},
        {"NoTracks", kHead, 150, "no TRACK"},
        {"Empty", "", 150, "no FILE"},
        {"MissingBin", kHead + t1, -1, ".bin"},
    };
}

class CueSheets : public ::testing::TestWithParam<CueCase> {};

// A title that holds quotes as they stand keeps them in the disc's CD-Text.
TEST(CueText, ATitleKeepsTheQuotesItHolds) {
    std::string copy, cdText;
    const std::string sheet =
        "TITLE \"The \"Best\" Of\"\n" + kHead + track(1, "    INDEX 01 00:00:00\n");
    ASSERT_EQ(engine::cd::checkCueSheet(sheet, 150 * kSector, &copy, "a.bin", &cdText), "");
    EXPECT_NE(cdText.find("TITLE0=The \"Best\" Of"), std::string::npos);
    EXPECT_NE(copy.find("TITLE \"The 'Best' Of\""), std::string::npos) << copy;
}

// The year and the catalogue number on a sheet's first line are read whatever its encoding (a
// UTF-16 sheet is converted to UTF-8 with a byte-order mark).
TEST(CueText, TheYearAndCatalogueOnTheFirstLineSurviveAByteOrderMark) {
    for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
        const engine::cd::CueDisc date = engine::cd::cueDisc(mark + "REM DATE 2001\n" + kHead);
        EXPECT_EQ(date.year, "2001") << mark.size();
        const engine::cd::CueDisc catalog =
            engine::cd::cueDisc(mark + "CATALOG 0123456789012\n" + kHead);
        EXPECT_EQ(catalog.catalog, "0123456789012") << mark.size();
    }
}

TEST_P(CueSheets, AcceptedOrRefusedWithTheReason) {
    const CueCase& c = GetParam();
    const std::string why = engine::cd::checkCueSheet(c.sheet, c.binSectors * kSector);
    if (c.reason.empty()) {
        EXPECT_EQ(why, "");
    } else {
        EXPECT_NE(why.find(c.reason), std::string::npos) << "reason: " << why;
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, CueSheets, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The sheets that made libcdio write outside its heap, loop for ever or call an audio track
// "[data]" are refused when the image is added, with the reason and the right error code; so is a
// sheet whose FILE names a folder.
TEST(CueImages, RefusalsReachTheUserWithTheirReason) {
    engine::cdUseDeviceDrives(false);
    fixtures::TempDir dir;
    struct {
        std::string sheet;
        int64_t binSectors;
        int code;
        std::string reason;
    } const images[] = {
        {kHead + track(99, "INDEX 01 00:00:00\n") + track(2, "INDEX 01 00:01:00\n"), 150,
         BASS_ERROR_FILEFORM, "TRACK 99"},
        {kHead + track(1, "INDEX 01 00:00:00\n") + track(2, ""), 150, BASS_ERROR_FILEFORM,
         "no INDEX"},
        {kHead + track(1, "INDEX 01 00:00:00\n") + track(2, "INDEX 01 00:03:00\n"), 150,
         BASS_ERROR_FILEFORM, "past the end"},
        {kHead + track(1, "INDEX 01 00:00:00\n"), -1, BASS_ERROR_FILEOPEN, ".bin"},
        // -2: a folder where the sheet names its .bin, alone and after another file.
        {kHead + track(1, "INDEX 01 00:00:00\n"), -2, BASS_ERROR_FILEFORM,
         "FILE \"a.bin\" is a folder, not a file"},
        {"FILE \"x.bin\" BINARY\n" + track(1, "INDEX 01 00:00:00\n") + kHead +
             track(2, "INDEX 01 00:00:00\n"),
         -2, BASS_ERROR_FILEFORM, "line 4: FILE \"a.bin\" is a folder, not a file"},
    };
    int i = 0;
    for (const auto& c : images) {
        const std::string base = dir.file("img" + std::to_string(i++));
        fixtures::writeBytes(base + ".cue", std::vector<uint8_t>(c.sheet.begin(), c.sheet.end()));
        if (c.binSectors >= 0)
            fixtures::writeBytes(base + ".bin",
                                 std::vector<uint8_t>(size_t(c.binSectors * kSector)));
        if (c.binSectors == -2) {
            std::filesystem::create_directories(dir.file("a.bin"));
            fixtures::writeBytes(dir.file("x.bin"), std::vector<uint8_t>(size_t(150 * kSector)));
        }
        std::string why;
        EXPECT_EQ(engine::cdAddImage(base + ".cue", &why), -1) << c.sheet;
        EXPECT_EQ(BASS_ErrorGetCode(), c.code) << c.sheet;
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
}

// A sheet reads the .bin its FILE line names, beside it or by the name at the end of a path written
// on another machine; only a sheet whose named file is not there falls back to its own name.
TEST(CueImages, ReadTheBinTheirSheetNames) {
    engine::cdUseDeviceDrives(false);
    fixtures::TempDir dir;
    fixtures::writeBytes(dir.file("Album (Disc 1).bin"),
                         std::vector<uint8_t>(size_t(150 * kSector)));
    const std::string tracks =
        track(1, "    INDEX 01 00:00:00\n") + track(2, "    INDEX 01 00:01:00\n");
    int i = 0;
    for (const std::string name : {"Album (Disc 1).bin", "C:\\Rips\\Album (Disc 1).bin"}) {
        const std::string sheet = "FILE \"" + name + "\" BINARY\n" + tracks;
        const std::string cue = dir.file("sheet" + std::to_string(i++) + ".cue");
        fixtures::writeBytes(cue, std::vector<uint8_t>(sheet.begin(), sheet.end()));
        std::string why;
        const int drive = engine::cdAddImage(cue, &why);
        ASSERT_GE(drive, 0) << name << ": " << why;
        EXPECT_EQ(BASS_CD_GetTracks(DWORD(drive)), 2) << name;
    }
}

// A first track whose INDEX 01 comes after the start of the .bin, with no INDEX 00, reads as the
// sheet that names the audio before it as the track's pregap.
TEST(CueImages, AudioBeforeTheFirstIndexWithoutIndex0IsTheFirstTracksPregap) {
    engine::cdUseDeviceDrives(false);
    fixtures::TempDir dir;
    fixtures::writeBytes(dir.file("a.bin"), std::vector<uint8_t>(size_t(150 * kSector)));
    std::vector<engine::CdToc> tocs;
    for (const std::string first :
         {"    INDEX 01 00:00:20\n", "    INDEX 00 00:00:00\n    INDEX 01 00:00:20\n"}) {
        const std::string sheet = kHead + track(1, first) + track(2, "    INDEX 01 00:01:00\n");
        const std::string cue = dir.file("disc" + std::to_string(tocs.size()) + ".cue");
        fixtures::writeBytes(cue, std::vector<uint8_t>(sheet.begin(), sheet.end()));
        std::string why;
        const int drive = engine::cdAddImage(cue, &why);
        ASSERT_GE(drive, 0) << why;
        tocs.emplace_back();
        ASSERT_TRUE(engine::cdReadToc(DWORD(drive), &tocs.back()));
    }
    ASSERT_EQ(tocs[0].tracks.size(), 2u);
    EXPECT_EQ(tocs[0].tracks[0].startLba, 20u);
    for (size_t t = 0; t < 2; ++t) {
        EXPECT_EQ(tocs[0].tracks[t].startLba, tocs[1].tracks[t].startLba) << t;
        EXPECT_EQ(tocs[0].tracks[t].pregapLba, tocs[1].tracks[t].pregapLba) << t;
    }
}

// A data track's PREGAP (an enhanced CD's gap of 2:32) is no audio: the audio track before it
// ends where the gap begins, in a sheet of one .bin as in one of several files.
TEST(CueImages, TheAudioBeforeADataTracksPregapEndsWhereTheGapBegins) {
    engine::cdUseDeviceDrives(false);
    fixtures::TempDir dir;
    fixtures::writeBytes(dir.file("a.bin"), std::vector<uint8_t>(size_t(150 * kSector)));
    for (const char* name : {"b.bin", "c.bin"})
        fixtures::writeBytes(dir.file(name), std::vector<uint8_t>(size_t(75 * kSector)));
    const std::string audio = track(1, "    INDEX 01 00:00:00\n");
    int i = 0;
    for (const std::string sheet :
         {kHead + audio + track(2, "    PREGAP 02:32:00\n    INDEX 01 00:01:00\n", "MODE1/2352"),
          "FILE \"b.bin\" BINARY\n" + audio + "FILE \"c.bin\" BINARY\n" +
              track(2, "    PREGAP 02:32:00\n    INDEX 01 00:00:00\n", "MODE1/2352")}) {
        const std::string cue = dir.file("disc" + std::to_string(i++) + ".cue");
        fixtures::writeBytes(cue, std::vector<uint8_t>(sheet.begin(), sheet.end()));
        std::string why;
        const int drive = engine::cdAddImage(cue, &why);
        ASSERT_GE(drive, 0) << why;
        EXPECT_EQ(BASS_CD_GetTrackLength(DWORD(drive), 0), 75 * kSector) << sheet;
    }
}

// A sheet of a .bin per track (each track's gap at the start of its own file or at the end of the
// file before), of one FLAC for the disc or of a WAV per track reads as the same disc written as
// one .bin: its tracks, gaps, flags, ISRCs, CD-Text, what the drive says it can do, and every byte
// of its audio.
TEST(CueImages, OtherLayoutsReadAsTheSameDiscInOneBin) {
    engine::cdUseDeviceDrives(false);
    fixtures::TempDir dir;
    cdimage::Disc disc = cdimage::namedDisc(4, 60);
    disc.tracks[0].pregap = 20;  // audio before track 1's INDEX 01
    disc.tracks[1].pregap = 30;
    disc.tracks[1].silentPregap = true;
    disc.tracks[1].isrc = "USABC0512345";
    disc.tracks[1].pre = true;
    disc.tracks[2].pregap = 15;
    disc.tracks[2].dcp = true;
    disc.tracks[3].data = true;  // an enhanced CD's data track
    struct Seen {
        engine::CdToc toc;
        std::string text;
        DWORD flags = 0;
        std::string readMode;
        std::vector<std::vector<uint8_t>> audio;
    };
    auto read = [](const std::string& cue) {
        Seen seen;
        std::string why;
        const int d = engine::cdAddImage(cue, &why);
        EXPECT_GE(d, 0) << why;
        if (d < 0) return seen;
        EXPECT_TRUE(engine::cdReadToc(DWORD(d), &seen.toc));
        const char* text = BASS_CD_GetID(DWORD(d), BASS_CDID_TEXT);
        for (const char* p = text; p && *p; p += std::strlen(p) + 1)
            seen.text += std::string(p) + '\n';
        BASS_CD_INFO info{};
        EXPECT_TRUE(BASS_CD_GetInfo(DWORD(d), &info));
        seen.flags = info.flags;
        seen.readMode = engine::cdParanoiaMode(DWORD(d));
        for (DWORD t = 0; t < 3; ++t) {
            const HSTREAM s = BASS_CD_StreamCreate(DWORD(d), t, BASS_STREAM_DECODE);
            EXPECT_NE(s, 0u) << BASS_ErrorGetCode();
            std::vector<uint8_t> got, buf(65536);
            for (int n; (n = int(BASS_ChannelGetData(s, buf.data(), DWORD(buf.size())))) > 0;)
                got.insert(got.end(), buf.begin(), buf.begin() + n);
            BASS_StreamFree(s);
            seen.audio.push_back(std::move(got));
        }
        return seen;
    };
    const Seen one = read(cdimage::write(dir.file("one"), disc));
    ASSERT_EQ(one.toc.tracks.size(), 4u);
    EXPECT_EQ(one.toc.tracks[1].isrc, "USABC0512345");
    EXPECT_EQ(one.toc.tracks[2].pregapLba, one.toc.tracks[2].startLba - 15);
    cdimage::Disc audioOnly = disc;  // audio files hold no data track
    audioOnly.tracks.pop_back();
    const Seen oneAudio = read(cdimage::write(dir.file("one audio"), audioOnly));
    using cdimage::Files;
    const struct {
        const char* name;
        Files files;
        bool data;
    } layouts[] = {{"bin per track", Files::PerTrack, true},
                   {"bin per track gaps before", Files::PerTrackGapsBefore, true},
                   {"flac", Files::OneFlac, false},
                   {"wav per track", Files::PerTrackWav, false}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const Seen& want = layout.data ? one : oneAudio;
        const Seen got = read(
            cdimage::write(dir.file(layout.name), layout.data ? disc : audioOnly, layout.files));
        ASSERT_EQ(got.toc.tracks.size(), want.toc.tracks.size());
        for (size_t i = 0; i < want.toc.tracks.size(); ++i) {
            const auto &a = want.toc.tracks[i], &b = got.toc.tracks[i];
            EXPECT_EQ(b.number, a.number);
            EXPECT_EQ(b.startLba, a.startLba) << i;
            EXPECT_EQ(b.sectors, a.sectors) << i;
            EXPECT_EQ(b.pregapLba, a.pregapLba) << i;
            EXPECT_EQ(b.audio, a.audio) << i;
            EXPECT_EQ(b.preEmphasis, a.preEmphasis) << i;
            EXPECT_EQ(b.copyPermitted, a.copyPermitted) << i;
            EXPECT_EQ(b.isrc, a.isrc) << i;
        }
        EXPECT_EQ(got.toc.leadOutLba, want.toc.leadOutLba);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.flags, want.flags);
        // Read through paranoia from one bin, as they are from files: the rip log says which.
        EXPECT_EQ(want.readMode, "full, never skip off");
        EXPECT_EQ(got.readMode.rfind("none", 0), 0u) << got.readMode;
        for (size_t t = 0; t < 3; ++t) {
            EXPECT_GT(want.audio[t].size(), 0u);
            EXPECT_TRUE(got.audio[t] == want.audio[t]) << "track " << t + 1;
        }
    }
}

}  // namespace
