// What a rip offers beyond the files: AccurateRip verdicts from a database file the test writes
// (in the rip and in cd-verify), the database file's faults, the MusicBrainz disc ID against a
// published example, a hidden track before track 1, the cue sheet and playlist, album artist and
// pre-emphasis tags, and test and copy.
#include <sndfile.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>

#include "disc/basscd.h"
#include "disc/cd_ext.h"
#include "rip/accuraterip_db.h"
#include "rip/cd_commands.h"
#include "rip/rip_disc.h"
#include "rip/verify_command.h"
#include "tests/cd/cd_image.h"
#include "tests/rip/rip_fixture.h"
#include "tests/support/audio_fixtures.h"

namespace fs = std::filesystem;

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// --- dBAR files as the database serves them -------------------------------------------------

struct Submission {
    uint32_t id1, id2, freedb;
    std::vector<std::pair<uint8_t, uint32_t>> tracks;  // confidence, checksum
};

void putLe32(std::string& s, uint32_t v) {
    for (int k = 0; k < 4; ++k) s += char((v >> (8 * k)) & 0xff);
}

std::string dbar(const std::vector<Submission>& subs) {
    std::string s;
    for (const Submission& sub : subs) {
        s += char(sub.tracks.size());
        putLe32(s, sub.id1);
        putLe32(s, sub.id2);
        putLe32(s, sub.freedb);
        for (const auto& [confidence, crc] : sub.tracks) {
            s += char(confidence);
            putLe32(s, crc);
            putLe32(s, 0x450450u);  // the frame 450 checksum: not compared
        }
    }
    return s;
}

class RipVerify : public DiscTest {
  protected:
    static std::vector<uint8_t> trackAudio(int drive, DWORD track) {
        const HSTREAM s = BASS_CD_StreamCreate(DWORD(drive), track, BASS_STREAM_DECODE);
        std::vector<uint8_t> got, buf(65536);
        for (int n; s && (n = int(BASS_ChannelGetData(s, buf.data(), DWORD(buf.size())))) > 0;)
            got.insert(got.end(), buf.begin(), buf.begin() + n);
        BASS_StreamFree(s);
        return got;
    }
    std::string writeFile(const std::string& name, const std::string& bytes) const {
        const std::string path = discDir.file(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

using cdimage::namedDisc;

// --- AccurateRip verdicts ----------------------------------------------------------------------

// The format, and the names: FLAC files named by title only (the order comes from their
// track-number tags); WAV files carry no tags (the order comes from their names).
class RipVerdicts : public RipVerify,
                    public ::testing::WithParamInterface<std::pair<cd::RipFormat, const char*>> {};

TEST_P(RipVerdicts, RipAndCdVerifyGiveEachTracksVerdictFromTheDatabaseFile) {
    const auto [format, nameTemplate] = GetParam();
    cdimage::Disc d = namedDisc(4, 20);
    const char* titles[] = {"Zulu", "Yankee", "X-ray", "Whiskey"};  // names sort backwards
    for (size_t i = 0; i < 4; ++i) d.tracks[i].title = titles[i];
    const int drive = addDisc(d);
    // A first rip gives the checksums (checked against their definitions in test_rip.cpp).
    const cd::DiscRip plain = cd::ripDisc(drive, options(format));
    ASSERT_EQ(plain.status, cd::DiscRip::Status::Done) << plain.message;
    const auto& t = plain.tracks;
    ASSERT_NE(t[0].accurateRipV1, t[0].accurateRipV2);
    const cd::DiscIds& ids = plain.ids;
    // Track 1 matches v1 (5), track 2 v2 (7), track 3 neither, track 4 has no submission; a
    // submission of another disc that would match every track is not taken.
    const std::string db = writeFile(
        "dBAR.bin", dbar({{ids.accurateRip1 + 1,
                           ids.accurateRip2,
                           ids.freedb,
                           {{9, t[0].accurateRipV2},
                            {9, t[1].accurateRipV2},
                            {9, t[2].accurateRipV2},
                            {9, t[3].accurateRipV2}}},
                          {ids.accurateRip1,
                           ids.accurateRip2,
                           ids.freedb,
                           {{5, t[0].accurateRipV1}, {2, 0xdeadbeefu}, {4, 0x12345678u}, {0, 0}}},
                          {ids.accurateRip1,
                           ids.accurateRip2,
                           ids.freedb,
                           {{3, 0xbadbadu}, {7, t[1].accurateRipV2}, {0, 0}, {0, 0}}}}));
    const std::string want[] = {"accurate (confidence 5, v1)", "accurate (confidence 7, v2)",
                                "not accurate", "not in database"};

    const std::string folder = outDir.file("verified");
    std::ostringstream out, err;
    EXPECT_EQ(cd::cdRipCommand({discDir.file("disc.cue"), "all", folder, "--format",
                                format == cd::RipFormat::Wav ? "wav" : "flac", "--name",
                                nameTemplate, "--accuraterip-db", db},
                               out, err),
              1);
    EXPECT_NE(err.str().find("NOT every track is accurate in AccurateRip"), std::string::npos)
        << err.str();
    const std::string log = readText(folder + "/The Band - Night Album.log");
    for (int k = 0; k < 4; ++k) {
        EXPECT_NE(out.str().find("AccurateRip: " + want[k]), std::string::npos) << out.str();
        const size_t at = log.find("\nTrack 0" + std::to_string(k + 1) + "\n");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(log.find("  AccurateRip: ", at), log.find("  AccurateRip: " + want[k] + "\n", at))
            << log;
    }

    // The same verdicts from the files on disk, in track order.
    std::ostringstream vout, verr;
    EXPECT_EQ(cd::cdVerifyCommand({folder, "--accuraterip-db", db}, vout, verr), 1) << verr.str();
    EXPECT_EQ(vout.str(), "Track 01: " + want[0] + "\nTrack 02: " + want[1] +
                              "\nTrack 03: " + want[2] + "\nTrack 04: " + want[3] + "\n");
    // Every track matching: success.
    const std::string good = writeFile("good.bin", dbar({{ids.accurateRip1,
                                                          ids.accurateRip2,
                                                          ids.freedb,
                                                          {{1, t[0].accurateRipV2},
                                                           {1, t[1].accurateRipV2},
                                                           {2, t[2].accurateRipV1},
                                                           {1, t[3].accurateRipV2}}}}));
    // (A text file named like a lossy rip is passed over as the log is.)
    std::ofstream(folder + "/Notes.OGG") << "tracks ripped on the old drive\n";
    std::ostringstream gout, gerr;
    EXPECT_EQ(cd::cdVerifyCommand({folder, "--accuraterip-db=" + good}, gout, gerr), 0)
        << gout.str() << gerr.str();
    EXPECT_NE(gout.str().find("Track 03: accurate (confidence 2, v1)"), std::string::npos);

    // A folder that lost a track: the others are compared as the tracks they are on the disc
    // (the last one as the last).
    const size_t entry = log.find("  File: ", log.find("\nTrack 02\n")) + 8;
    std::filesystem::remove(folder + "/" + log.substr(entry, log.find('\n', entry) - entry));
    std::ostringstream pout, perr;
    EXPECT_EQ(cd::cdVerifyCommand({folder, "--accuraterip-db", good}, pout, perr), 0)
        << pout.str() << perr.str();
    EXPECT_EQ(pout.str(),
              "Track 01: accurate (confidence 1, v2)\nTrack 03: accurate "
              "(confidence 2, v1)\nTrack 04: accurate (confidence 1, v2)\n");
    // Their disc ID differs from the database file's: a note beside the verdicts, not among them.
    EXPECT_NE(perr.str().find("quorvin cd-verify: note: the files give the disc ID"),
              std::string::npos)
        << perr.str();
}

// A disc whose first track holds data: its files are numbered as on the disc (2, 3, 4), and
// cd-verify finds them where AccurateRip counts audio tracks only (1, 2, 3), as the rip does; so
// too when the first file is gone.
TEST_F(RipVerify, CdVerifyCountsAudioTracksWhereADataTrackComesFirst) {
    cdimage::Disc d = namedDisc(3, 20);
    cdimage::Track data;
    data.data = true;
    data.sectors = 300;
    d.tracks.insert(d.tracks.begin(), data);
    const int drive = addDisc(d);
    const cd::DiscRip plain = cd::ripDisc(drive, options());
    ASSERT_EQ(plain.status, cd::DiscRip::Status::Done) << plain.message;
    std::vector<uint32_t> v2;
    for (const cd::TrackRip& t : plain.tracks)
        if (t.status == cd::TrackRip::Status::Ripped) v2.push_back(t.accurateRipV2);
    ASSERT_EQ(v2.size(), 3u);
    const cd::DiscIds& ids = plain.ids;
    const std::string db = writeFile("dBAR.bin", dbar({{ids.accurateRip1,
                                                        ids.accurateRip2,
                                                        ids.freedb,
                                                        {{4, v2[0]}, {4, v2[1]}, {4, v2[2]}}}}));
    const std::string folder = outDir.file("enhanced");
    std::ostringstream out, err, vout, verr;
    EXPECT_EQ(cd::cdRipCommand({discDir.file("disc.cue"), "all", folder, "--accuraterip-db", db},
                               out, err),
              0)
        << err.str();
    const std::string accurate = ": accurate (confidence 4, v2)\n";
    EXPECT_EQ(cd::cdVerifyCommand({folder, "--accuraterip-db", db}, vout, verr), 0) << verr.str();
    EXPECT_EQ(vout.str(), "Track 02" + accurate + "Track 03" + accurate + "Track 04" + accurate);
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().starts_with("02")) std::filesystem::remove(e.path());
    std::ostringstream lout, lerr;
    EXPECT_EQ(cd::cdVerifyCommand({folder, "--accuraterip-db", db}, lout, lerr), 0) << lerr.str();
    EXPECT_EQ(lout.str(), "Track 03" + accurate + "Track 04" + accurate);
}

INSTANTIATE_TEST_SUITE_P(Formats, RipVerdicts,
                         ::testing::Values(std::make_pair(cd::RipFormat::Flac, "%t"),
                                           std::make_pair(cd::RipFormat::Wav, "%N - %t")),
                         [](const auto& info) {
                             return std::string(cd::ripFormatExtension(info.param.first) + 1);
                         });

// A malformed or truncated database file is refused with its fault named, never read past.
class DatabaseFileFaults
    : public RipVerify,
      public ::testing::WithParamInterface<std::pair<std::string, const char*>> {};

TEST_P(DatabaseFileFaults, AreRefusedWithTheReason) {
    const auto& [bytes, reason] = GetParam();
    cd::AccurateRipDb db;
    std::string error;
    EXPECT_FALSE(cd::parseAccurateRipDb(bytes, db, error));
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    // Both commands stop before reading anything, with the same reason.
    const std::string path = writeFile("bad.bin", bytes);
    std::ostringstream out, err, vout, verr;
    EXPECT_EQ(cd::cdRipCommand({"missing.cue", "all", outDir.file("x"), "--accuraterip-db", path},
                               out, err),
              1);
    EXPECT_NE(err.str().find(reason), std::string::npos) << err.str();
    EXPECT_EQ(cd::cdVerifyCommand({outDir.path().string(), "--accuraterip-db", path}, vout, verr),
              1);
    EXPECT_NE(verr.str().find(reason), std::string::npos) << verr.str();
    EXPECT_FALSE(fs::exists(outDir.file("x")));
}

const std::string kOneTrack = dbar({{1, 2, 3, {{4, 5}}}});

INSTANTIATE_TEST_SUITE_P(
    Faults, DatabaseFileFaults,
    ::testing::Values(
        std::make_pair(std::string(), "is empty"),
        std::make_pair(std::string(1, '\0') + kOneTrack.substr(1), "has no tracks"),
        std::make_pair(kOneTrack.substr(0, 7), "cut short: submission 1"),
        std::make_pair(kOneTrack + kOneTrack.substr(0, 20), "cut short: submission 2"),
        std::make_pair(std::string(cd::kMaxAccurateRipDbBytes + 1, '\1'), "too large")));

// --- the MusicBrainz disc ID -------------------------------------------------------------

TEST(MusicBrainzDiscId, PublishedExampleAndTheAudioSessionOfAnEnhancedCd) {
    // MusicBrainz's worked example: six tracks at MSF sectors 150, 15363, 32314, 46592, 63414
    // and 80489, lead-out 95462 (the layout holds LBAs: 150 less).
    cd::DiscLayout audio;
    for (uint32_t msf : {150u, 15363u, 32314u, 46592u, 63414u, 80489u})
        audio.trackStarts.push_back(msf - 150);
    audio.leadOut = 95462 - 150;
    EXPECT_EQ(cd::musicBrainzDiscId(audio), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
    EXPECT_EQ(cd::musicBrainzUrl(audio),
              "https://musicbrainz.org/cdtoc/attach?id=49HHV7Eb8UKF3aQiNmu1GR8vKTY-&tracks=6&toc="
              "1+6+95462+150+15363+32314+46592+63414+80489");
    // The same audio with a data session after it (starting 11400 sectors after the audio's
    // lead-out): the data track is not part of the ID.
    cd::DiscLayout enhanced = audio;
    enhanced.trackStarts.push_back(audio.leadOut + 11400);
    enhanced.audio.assign(6, true);
    enhanced.audio.push_back(false);
    enhanced.leadOut = audio.leadOut + 11400 + 30000;
    EXPECT_EQ(cd::musicBrainzDiscId(enhanced), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
    // A disc image has that gap only where it lays it out, as the data track's INDEX 00: the
    // audio's lead-out is where the audio ends, the data track right after it or its gap.
    cd::DiscLayout image = enhanced;
    image.image = true;
    image.trackStarts.back() = audio.leadOut;
    image.leadOut = audio.leadOut + 30000;
    EXPECT_EQ(cd::musicBrainzDiscId(image), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
    image.pregaps = enhanced.trackStarts;
    image.pregaps.back() = audio.leadOut;
    image.trackStarts.back() = audio.leadOut + 11400;
    image.leadOut = enhanced.leadOut;
    EXPECT_EQ(cd::musicBrainzDiscId(image), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
    // A data track too close to the last audio track for the gap, from an image or a drive: the
    // lead-out is the data track's start, never before the last audio track.
    for (const bool fromImage : {true, false}) {
        cd::DiscLayout soon{{0, 11500, 11600}, {true, true, false}, 20000};
        soon.image = fromImage;
        EXPECT_NE(cd::musicBrainzUrl(soon).find("&toc=1+2+11750+150+11650"), std::string::npos)
            << cd::musicBrainzUrl(soon);
    }
}

// --- hidden track, cue sheet, playlist, album artist, pre-emphasis --------------------------

class RipSheets : public RipVerify, public ::testing::WithParamInterface<bool> {};

TEST_P(RipSheets, HiddenTrackCueSheetPlaylistAndTags) {
    const bool audibleHidden = GetParam();
    cdimage::Disc d = namedDisc(3, 30);
    d.performer = "Various";
    d.genre = "\"Hip-Hop\"";  // as ripping programs remark them
    d.date = "1999-05-17";
    d.catalog = "0123456789012";
    d.tracks[0].pregap = 10;  // before track 1's INDEX 01: a hidden track, or silence
    d.tracks[0].silentPregap = !audibleHidden;
    d.tracks[0].pre = d.tracks[0].dcp = true;
    d.tracks[0].isrc = "USABC0912345";
    d.tracks[0].performer = "Alice";
    d.tracks[1].pregap = 5;  // track 2's INDEX 00, at the end of track 1's file
    d.tracks[1].silentPregap = true;
    const int drive = addDisc(d);
    const cd::DiscRip rip = cd::ripDisc(drive, options(cd::RipFormat::Flac));
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    ASSERT_TRUE(rip.allClean());
    ASSERT_EQ(rip.tracks.size(), audibleHidden ? 4u : 3u);
    const size_t one = audibleHidden ? 1 : 0;  // track 1's index

    if (audibleHidden) {
        // Track 00 is the image's first 10 sectors, bit for bit.
        EXPECT_EQ(rip.tracks[0].number, 0);
        EXPECT_EQ(rip.tracks[0].bytes, 10u * 2352);
        const auto image = cdimage::trackBytes(d.tracks[0], 0);
        SF_INFO info{};
        SNDFILE* sf = sf_open(rip.tracks[0].path.c_str(), SFM_READ, &info);
        ASSERT_NE(sf, nullptr);
        std::vector<int16_t> got(size_t(info.frames) * 2);
        sf_readf_short(sf, got.data(), info.frames);
        sf_close(sf);
        ASSERT_EQ(got.size() * 2, 10u * 2352);
        EXPECT_EQ(std::memcmp(got.data(), image.data(), got.size() * 2), 0);
    }
    EXPECT_EQ(fs::path(rip.cuePath).filename(), "Various - Night Album.cue");
    const std::string hiddenFile = "FILE \"00 - Hidden track.flac\" WAVE\n";
    const std::string track1 =
        "  TRACK 01 AUDIO\n    TITLE \"Song 1\"\n    PERFORMER \"Alice\"\n    FLAGS DCP PRE\n"
        "    ISRC USABC0912345\n";
    EXPECT_EQ(readText(rip.cuePath),
              "REM GENRE \"Hip-Hop\"\nREM DATE 1999\nCATALOG 0123456789012\nREM DISCID " +
                  cd::hex8(rip.ids.freedb) + "\nREM MUSICBRAINZ_DISCID " + rip.musicBrainzId +
                  "\nPERFORMER \"Various\"\nTITLE \"Night Album\"\n" +
                  (audibleHidden
                       ? hiddenFile + track1 + "    INDEX 00 00:00:00\n" +
                             "FILE \"01 - Song 1.flac\" WAVE\n"
                       : "FILE \"01 - Song 1.flac\" WAVE\n" + track1 + "    PREGAP 00:00:10\n") +
                  "    INDEX 01 00:00:00\n"
                  "  TRACK 02 AUDIO\n    TITLE \"Song 2\"\n    PERFORMER \"Various\"\n"
                  "    INDEX 00 00:00:20\n"
                  "FILE \"02 - Song 2.flac\" WAVE\n    INDEX 01 00:00:00\n"
                  "FILE \"03 - Song 3.flac\" WAVE\n  TRACK 03 AUDIO\n    TITLE \"Song 3\"\n"
                  "    PERFORMER \"Various\"\n    INDEX 01 00:00:00\n");
    const std::string playlist = readText(rip.playlistPath);
    EXPECT_EQ(playlist.rfind("#EXTM3U\n", 0), 0u);
    EXPECT_NE(playlist.find("#EXTINF:0,Alice - Song 1\n01 - Song 1.flac\n"), std::string::npos);
    EXPECT_EQ(playlist.find("00 - Hidden track.flac") != std::string::npos, audibleHidden);

    // Album artist on every track (track 1's performer differs); pre-emphasis on track 1 only.
    for (size_t k = one; k < rip.tracks.size(); ++k) {
        TagLib::FileRef f(rip.tracks[k].path.c_str());
        ASSERT_FALSE(f.isNull());
        const TagLib::PropertyMap p = f.file()->properties();
        EXPECT_EQ(p["ALBUMARTIST"].toString().to8Bit(true), "Various");
        EXPECT_EQ(p["DATE"].toString().to8Bit(true), "1999");
        EXPECT_EQ(p["GENRE"].toString().to8Bit(true), "Hip-Hop");
        EXPECT_EQ(p.contains("PRE_EMPHASIS"), k == one) << k;
    }
    const std::string log = readText(rip.logPath);
    const size_t at = log.find("\nTrack 01\n");
    EXPECT_LT(log.find("  Pre-emphasis: yes", at), log.find("\nTrack 02\n"));
    EXPECT_EQ(log.find("Pre-emphasis", log.find("\nTrack 02\n")), std::string::npos);
    EXPECT_NE(log.find("MusicBrainz disc ID: " + rip.musicBrainzId + "\n"), std::string::npos);

    // The sheet opens as the disc it was ripped from: its table of contents, and its tracks'
    // audio bit for bit.
    std::string why;
    const int copy = engine::cdAddImage(rip.cuePath, &why);
    ASSERT_GE(copy, 0) << why;
    engine::CdToc was, again;
    ASSERT_TRUE(engine::cdReadToc(DWORD(drive), &was));
    ASSERT_TRUE(engine::cdReadToc(DWORD(copy), &again));
    ASSERT_EQ(again.tracks.size(), was.tracks.size());
    EXPECT_EQ(again.leadOutLba, was.leadOutLba);
    EXPECT_EQ(again.year, "1999");
    for (size_t t = 0; t < was.tracks.size(); ++t) {
        const auto &a = was.tracks[t], &b = again.tracks[t];
        EXPECT_EQ(std::tie(b.startLba, b.sectors, b.pregapLba, b.preEmphasis, b.copyPermitted),
                  std::tie(a.startLba, a.sectors, a.pregapLba, a.preEmphasis, a.copyPermitted))
            << t;
        EXPECT_EQ(b.isrc, a.isrc);
        EXPECT_TRUE(trackAudio(copy, DWORD(t)) == trackAudio(drive, DWORD(t))) << t;
    }
}

INSTANTIATE_TEST_SUITE_P(HiddenAudio, RipSheets, ::testing::Bool());

// A full disc of 99 tracks with a hidden track before the first: its sheet names 100 files, and
// opens again.
TEST_F(RipVerify, ASheetOf99TracksAndAHiddenOneOpensAgain) {
    cdimage::Disc d;
    d.tracks = cdimage::audioTracks(99, 2);
    d.tracks[0].sectors = 4;
    d.tracks[0].pregap = 2;  // a hidden track of two sectors
    const cd::DiscRip rip = cd::ripDisc(addDisc(d), options());
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    ASSERT_EQ(rip.tracks.size(), 100u);
    std::string why;
    const int copy = engine::cdAddImage(rip.cuePath, &why);
    ASSERT_GE(copy, 0) << why;
    engine::CdToc again;
    ASSERT_TRUE(engine::cdReadToc(DWORD(copy), &again));
    EXPECT_EQ(again.tracks.size(), 99u);
}

TEST_F(RipVerify, AlbumArtistIsTheMp3sTpe2) {
    cdimage::Disc d = namedDisc(2, 20);
    d.tracks[1].performer = "Guest";
    const cd::DiscRip rip = cd::ripDisc(addDisc(d), options(cd::RipFormat::Mp3));
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    for (const cd::TrackRip& t : rip.tracks) {
        TagLib::MPEG::File f(t.path.c_str());
        ASSERT_NE(f.ID3v2Tag(), nullptr);
        const auto& frames = f.ID3v2Tag()->frameListMap()["TPE2"];
        ASSERT_FALSE(frames.isEmpty()) << t.path;
        EXPECT_EQ(frames.front()->toString().to8Bit(true), "The Band");
    }
    // Decoded, an MP3 holds other samples than the disc: it is not called "not accurate"; nor is a
    // WMA rip, which the program does not decode, passed over.
    cd::RipOptions wma = options(cd::RipFormat::Wma);
    wma.folder += "-wma";
    ASSERT_EQ(cd::ripDisc(addDisc(d), wma).status, cd::DiscRip::Status::Done);
    cd::RipOptions opus = options(cd::RipFormat::Opus);  // decoded at 48 kHz
    opus.folder += "-opus";
    ASSERT_EQ(cd::ripDisc(addDisc(d), opus).status, cd::DiscRip::Status::Done);
    const std::string db = writeFile("dBAR.bin", kOneTrack);
    for (const std::string& folder :
         {options(cd::RipFormat::Mp3).folder, wma.folder, opus.folder}) {
        std::ostringstream out, err;
        EXPECT_EQ(cd::cdVerifyCommand({folder, "--accuraterip-db", db}, out, err), 1);
        EXPECT_NE(err.str().find("only a WAV or FLAC rip can be verified"), std::string::npos)
            << err.str();
    }
}

// --- test and copy -------------------------------------------------------------------------

class TestAndCopy : public RipVerify, public ::testing::WithParamInterface<bool> {};

TEST_P(TestAndCopy, BothReadsAreComparedAndAMismatchMarked) {
    const bool mismatch = GetParam();
    const int drive = addDisc(namedDisc(3, 20));
    auto o = options();
    o.testAndCopy = true;
    cd::RipHooks hooks;
    int starts[3] = {};
    // Track 2's audio changes between its test read and its copy (a disc that does not read
    // the same twice).
    hooks.trackStarted = [&](int index, HSTREAM) {
        if (++starts[index] == 2 && index == 1 && mismatch) {
            std::fstream bin(discDir.file("disc.bin"),
                             std::ios::binary | std::ios::in | std::ios::out);
            bin.seekp(20 * 2352 + 5000);
            bin.write("\x7f\x7f\x7f\x7f", 4);
        }
    };
    const cd::DiscRip rip = cd::ripDisc(drive, o, hooks);
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    for (int k = 0; k < 3; ++k) {
        const cd::TrackRip& t = rip.tracks[size_t(k)];
        EXPECT_EQ(starts[k], 2);
        EXPECT_TRUE(t.tested);
        EXPECT_EQ(t.testMismatch(), mismatch && k == 1) << k;
    }
    EXPECT_EQ(rip.allClean(), !mismatch);
    const std::string log = readText(rip.logPath);
    EXPECT_NE(log.find("  Test CRC32: "), std::string::npos);
    EXPECT_EQ(log.find("  Test and copy: MISMATCH") != std::string::npos, mismatch);
    EXPECT_EQ(cd::ripFaultSummary(rip).find("The test read and the copy differ: track 2") !=
                  std::string::npos,
              mismatch)
        << cd::ripFaultSummary(rip);
}

INSTANTIATE_TEST_SUITE_P(Mismatch, TestAndCopy, ::testing::Bool());

}  // namespace
