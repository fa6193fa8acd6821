// Whole-disc ripping on generated disc images: lossless formats bit-exact (read offset
// included), tags of every format, checksums and disc IDs against a computation of their own,
// file names, Stop, skipped and failed reads, and the command line.
#include <sndfile.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "disc/basscd.h"
#include "disc/cd_ext.h"
#include "files/fault_injection.h"
#include "rip/cd_commands.h"
#include "rip/rip_disc.h"
#include "tests/cd/cd_image.h"
#include "tests/rip/rip_fixture.h"
#include "tests/support/audio_fixtures.h"

namespace fs = std::filesystem;

namespace {

// --- the checksums, written from their definitions --------------------------------------

uint32_t referenceCrc32(const std::vector<uint8_t>& bytes) {
    uint32_t crc = 0xffffffffu;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// AccurateRip: each stereo frame as a little-endian 32-bit word times its 1-based position in
// the track; v1 sums the low words of the products, v2 the low and the high words. The disc's
// first 5 sectors but one frame and its last 5 sectors are left out.
std::pair<uint32_t, uint32_t> referenceAccurateRip(const std::vector<uint8_t>& pcm, bool first,
                                                   bool last) {
    const uint64_t frames = pcm.size() / 4;
    uint32_t v1 = 0, v2 = 0;
    for (uint64_t i = 0; i < frames; ++i) {
        const uint64_t position = i + 1;
        if (first && position < 5 * 588) continue;
        if (last && position > frames - 5 * 588) continue;
        uint32_t word;
        std::memcpy(&word, pcm.data() + i * 4, 4);
        const uint64_t product = uint64_t(word) * position;
        v1 += uint32_t(product);
        v2 += uint32_t(product) + uint32_t(product >> 32);
    }
    return {v1, v2};
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Everything in `folder` (names relative to it), hidden files included.
std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) out.push_back(fs::relative(e.path(), folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<int16_t> decode(const std::string& path) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf) return {};
    std::vector<int16_t> out(size_t(info.frames) * size_t(info.channels));
    sf_readf_short(sf, out.data(), info.frames);
    sf_close(sf);
    return out;
}

// What the flac command says when it tests `path` (decodes it and checks the MD5 signature of
// the audio recorded in its header), with "exit N" added when it fails; nullopt without flac.
std::optional<std::string> flacTest(const std::string& path) {
    if (std::system("command -v flac >/dev/null 2>&1") != 0) return std::nullopt;
    FILE* p = popen(("flac -t --silent '" + path + "' 2>&1").c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    const int status = p ? pclose(p) : -1;
    if (status != 0) out += "exit " + std::to_string(status);
    return out;
}

class Rip : public DiscTest {
  protected:
    // The audio of the whole image, as 16-bit samples, and where each track starts (in frames).
    std::vector<int16_t> imageSamples(std::vector<size_t>* starts = nullptr) const {
        std::vector<int16_t> all;
        for (size_t i = 0; i < disc.tracks.size(); ++i) {
            if (starts) starts->push_back(all.size() / 2);
            auto b = cdimage::trackBytes(disc.tracks[i], int(i));
            const size_t at = all.size();
            all.resize(at + b.size() / 2);
            std::memcpy(all.data() + at, b.data(), b.size());
        }
        return all;
    }
    // The rip's cue sheet opens again as a disc of the tracks ripped, under their numbers on the
    // disc (a track not ripped left out), each track the audio ripped (its CRC32).
    static void expectCueOpensAsTheTracksRipped(const cd::DiscRip& rip) {
        std::string why;
        const int copy = engine::cdAddImage(rip.cuePath, &why);
        ASSERT_GE(copy, 0) << why;
        std::vector<const cd::TrackRip*> ripped;
        for (const cd::TrackRip& t : rip.tracks)
            if (t.status == cd::TrackRip::Status::Ripped) ripped.push_back(&t);
        engine::CdToc toc;
        ASSERT_TRUE(engine::cdReadToc(DWORD(copy), &toc));
        ASSERT_EQ(toc.tracks.size(), ripped.size());
        for (size_t i = 0; i < ripped.size(); ++i) {
            EXPECT_EQ(toc.tracks[i].number, ripped[i]->number);
            std::vector<uint8_t> audio, buf(65536);
            const HSTREAM s = BASS_CD_StreamCreate(DWORD(copy), DWORD(i), BASS_STREAM_DECODE);
            for (int n; s && (n = int(BASS_ChannelGetData(s, buf.data(), DWORD(buf.size())))) > 0;)
                audio.insert(audio.end(), buf.begin(), buf.begin() + n);
            BASS_StreamFree(s);
            EXPECT_EQ(referenceCrc32(audio), ripped[i]->crc32) << "track " << ripped[i]->number;
        }
    }
};

using cdimage::namedDisc;

// --- lossless formats: every track is the image's range, shifted by the read offset ---------

class RipLossless : public Rip,
                    public ::testing::WithParamInterface<std::tuple<cd::RipFormat, int, bool>> {};

TEST_P(RipLossless, TracksAreTheImageRangesShiftedByTheOffset) {
    const auto [format, offset, noise] = GetParam();
    cdimage::Disc d = namedDisc(3, 12);
    for (auto& t : d.tracks) t.noise = noise;  // noise must not be taken for swapped bytes
    const int drive = addDisc(d);
    auto o = options(format);
    o.readOffset = offset;
    const cd::DiscRip rip = cd::ripDisc(drive, o);
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    ASSERT_TRUE(rip.allClean());

    std::vector<size_t> starts;
    const std::vector<int16_t> image = imageSamples(&starts);
    const long long imageFrames = (long long)image.size() / 2;
    for (size_t t = 0; t < 3; ++t) {
        const auto got = decode(rip.tracks[t].path);
        ASSERT_EQ(got.size(), size_t(12 * 588 * 2)) << rip.tracks[t].path;
        size_t mismatches = 0;
        for (size_t f = 0; f < got.size() / 2; ++f) {
            const long long src = (long long)(starts[t] + f) + offset;
            for (size_t c = 0; c < 2; ++c) {
                const int16_t want = src < 0 || src >= imageFrames ? 0 : image[size_t(src) * 2 + c];
                mismatches += got[f * 2 + c] != want;
            }
        }
        EXPECT_EQ(mismatches, 0u) << "track " << t + 1;
        // The signature is set and is that of the audio (it is computed apart from the encoder).
        if (format == cd::RipFormat::Flac) {
            EXPECT_EQ(flacTest(rip.tracks[t].path).value_or(""), "") << rip.tracks[t].path;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RipLossless,
                         ::testing::Values(std::make_tuple(cd::RipFormat::Flac, 0, false),
                                           std::make_tuple(cd::RipFormat::Wav, 0, false),
                                           std::make_tuple(cd::RipFormat::Flac, 30, false),
                                           std::make_tuple(cd::RipFormat::Flac, -667, false),
                                           std::make_tuple(cd::RipFormat::Wav, 0, true)));

// --- every format: named by the template, tagged from CD-Text, of the track's length --------

class RipFormats : public Rip, public ::testing::WithParamInterface<cd::RipFormat> {};

TEST_P(RipFormats, FilesAreNamedAndTaggedFromTheDiscText) {
    const cd::RipFormat format = GetParam();
    const int drive = addDisc(namedDisc(2, 75));
    auto o = options(format);
    o.nameTemplate = "%A/%d/%N - %t";
    o.year = "1999";
    const cd::DiscRip rip = cd::ripDisc(drive, o);
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    for (int t = 0; t < 2; ++t) {
        const cd::TrackRip& tr = rip.tracks[size_t(t)];
        ASSERT_EQ(tr.status, cd::TrackRip::Status::Ripped) << tr.message;
        const std::string want = (fs::path(o.folder) / "The Band" / "Night Album" /
                                  ("0" + std::to_string(t + 1) + " - Song " +
                                   std::to_string(t + 1) + cd::ripFormatExtension(format)))
                                     .string();
        EXPECT_EQ(tr.path, want);
        if (format == cd::RipFormat::Wav) continue;  // WAV carries no tags
        TagLib::FileRef f(tr.path.c_str());
        ASSERT_FALSE(f.isNull()) << tr.path;
        EXPECT_EQ(f.tag()->title().to8Bit(true), "Song " + std::to_string(t + 1));
        EXPECT_EQ(f.tag()->artist().to8Bit(true), "The Band");
        EXPECT_EQ(f.tag()->album().to8Bit(true), "Night Album");
        EXPECT_EQ(f.tag()->year(), 1999u);
        EXPECT_EQ(f.tag()->track(), unsigned(t + 1));
        ASSERT_NE(f.audioProperties(), nullptr);
        EXPECT_NEAR(f.audioProperties()->lengthInMilliseconds(), 1000, 80);
    }
}

INSTANTIATE_TEST_SUITE_P(All, RipFormats, ::testing::ValuesIn(cd::allRipFormats()),
                         [](const auto& info) {
                             std::string s = cd::ripFormatExtension(info.param) + 1;
                             return s;
                         });

// --- checksums and disc IDs --------------------------------------------------------------

TEST_F(Rip, ChecksumsAndDiscIdsMatchTheirDefinitions) {
    cdimage::Disc d = namedDisc(4, 20);
    d.tracks[0].sectors = 33;
    d.tracks[3].sectors = 9;  // shorter than the two edges together
    cdimage::Track data;
    data.data = true;
    data.sectors = 30;
    d.tracks.insert(d.tracks.begin() + 2, data);  // a data track in the middle is skipped
    const int drive = addDisc(d);
    const cd::DiscRip rip = cd::ripDisc(drive, options(cd::RipFormat::Flac));
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    ASSERT_EQ(rip.tracks.size(), 5u);
    EXPECT_EQ(rip.tracks[2].status, cd::TrackRip::Status::DataTrack);

    for (size_t i = 0; i < d.tracks.size(); ++i) {
        if (d.tracks[i].data) continue;
        const auto pcm = cdimage::trackBytes(d.tracks[i], int(i));
        const auto [v1, v2] = referenceAccurateRip(pcm, i == 0, i == d.tracks.size() - 1);
        EXPECT_EQ(rip.tracks[i].crc32, referenceCrc32(pcm)) << "track " << i + 1;
        EXPECT_EQ(rip.tracks[i].accurateRipV1, v1) << "track " << i + 1;
        EXPECT_EQ(rip.tracks[i].accurateRipV2, v2) << "track " << i + 1;
        EXPECT_EQ(rip.tracks[i].peak, 12000u) << "track " << i + 1;
        // Numbered as on the disc, the data track counted: 1, 2, 4 and 5 of 5.
        TagLib::FileRef f(rip.tracks[i].path.c_str());
        ASSERT_FALSE(f.isNull());
        EXPECT_EQ(f.file()->properties()["TRACKTOTAL"].toString().to8Bit(true), "5");
    }
    // Tracks start at 0, 33, 53 (data), 83, 103; lead-out 112. AccurateRip takes the four audio
    // tracks numbered 1..4: 0+33+83+103+112 = 331; 1*1+33*2+83*3+103*4+112*5 = 1288. freedb takes
    // all five: seconds 2,2,2,3,3 (digits 12), length 262/75 - 150/75 = 1.
    EXPECT_EQ(rip.ids.accurateRip1, 0x14bu);
    EXPECT_EQ(rip.ids.accurateRip2, 0x508u);
    EXPECT_EQ(rip.ids.freedb, 0x0c000105u);

    const std::string log = readText(rip.logPath);
    EXPECT_NE(log.find("http://www.accuraterip.com/accuraterip/b/4/1/"
                       "dBAR-004-0000014b-00000508-0c000105.bin"),
              std::string::npos)
        << log;
    char crcLine[32];
    std::snprintf(crcLine, sizeof crcLine, "CRC32: %08X",
                  referenceCrc32(cdimage::trackBytes(d.tracks[1], 1)));
    EXPECT_NE(log.find(crcLine), std::string::npos);
    EXPECT_NE(log.find("Status: data track, skipped"), std::string::npos);
    EXPECT_NE(log.find("Every audio track was read without skips or read errors."),
              std::string::npos);
}

struct IdCase {
    const char* name;
    cd::DiscLayout layout;
    uint32_t accurateRip1, accurateRip2, freedb;
};

class DiscIdLayouts : public ::testing::TestWithParam<IdCase> {};

TEST_P(DiscIdLayouts, AccurateRipCountsAudioTracksFreedbCountsAll) {
    const IdCase& c = GetParam();
    const cd::DiscIds ids = cd::discIds(c.layout);
    EXPECT_EQ(ids.accurateRip1, c.accurateRip1);
    EXPECT_EQ(ids.accurateRip2, c.accurateRip2);
    EXPECT_EQ(ids.freedb, c.freedb);
}

// Three tracks at 0, 15000, 30000, lead-out 45000. freedb (all tracks): seconds 2, 202, 402
// (digits 12), length 602 - 2 = 600 = 0x258, 3 tracks.
INSTANTIATE_TEST_SUITE_P(
    Rip, DiscIdLayouts,
    ::testing::Values(
        // 0+15000+30000+45000 = 90000; 1*1 + 15000*2 + 30000*3 + 45000*4 = 300001
        IdCase{"AudioOnly", {{0, 15000, 30000}, {}, 45000}, 90000, 300001, 0x0c025803},
        // audio 1, 2 then data: 0+15000+45000 = 60000; 1*1 + 15000*2 + 45000*3 = 165001
        IdCase{
            "Enhanced", {{0, 15000, 30000}, {true, true, false}, 45000}, 60000, 165001, 0x0c025803},
        // data then audio 1, 2: 15000+30000+45000 = 90000; 15000*1 + 30000*2 + 45000*3 = 210000
        IdCase{"MixedMode",
               {{0, 15000, 30000}, {false, true, true}, 45000},
               90000,
               210000,
               0x0c025803}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrackChecksums, PiecesSplitInsideFramesGiveTheSameSums) {
    // Random PCM fed in pieces that end inside a frame (1..7 bytes, then larger), so that frames
    // go through the pending bytes, against the sums of the whole taken from their definition.
    std::vector<uint8_t> pcm(4 * cd::kFramesPerSector * 14 + 8);
    uint32_t seed = 12345;
    for (auto& b : pcm) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
    for (bool edges : {false, true}) {
        cd::TrackChecksums sums(pcm.size() / 4, edges, edges);
        const size_t pieces[] = {1, 2, 3, 5, 7, 6, 4093};
        for (size_t at = 0, k = 0; at < pcm.size(); ++k) {
            const size_t n = std::min(pieces[k % std::size(pieces)], pcm.size() - at);
            sums.add(pcm.data() + at, n);
            at += n;
        }
        const auto [v1, v2] = referenceAccurateRip(pcm, edges, edges);
        EXPECT_EQ(sums.accurateRipV1(), v1) << edges;
        EXPECT_EQ(sums.accurateRipV2(), v2) << edges;
        EXPECT_EQ(sums.crc32(), referenceCrc32(pcm)) << edges;
        EXPECT_EQ(sums.frames(), pcm.size() / 4);
    }
}

// --- names ---------------------------------------------------------------------------------

struct NameCase {
    std::string tmpl, title, expected;
};

class RipNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(RipNames, TemplateFieldsAndRefusedCharacters) {
    const NameCase& c = GetParam();
    cd::TrackNaming t{7, c.title, "", "AC/DC", "Live: 1979?", "1979"};
    EXPECT_EQ(cd::expandNameTemplate(c.tmpl, t), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RipNames,
    ::testing::Values(NameCase{"%N - %t", "Song", "07 - Song"},
                      NameCase{"%n. %a - %t (%y) 100%%", "Song", "7. AC_DC - Song (1979) 100%"},
                      NameCase{"%A/%d/%N %t", "A/B", "AC_DC/Live_ 1979_/07 A_B"},
                      NameCase{"%N %t", "a\\b:c*d?e\"f<g>h|i\x01j\x7f", "07 a_b_c_d_e_f_g_h_i_j_"},
                      NameCase{"%N - %t", "", "07 - Track 07"}, NameCase{"%t", "..", "_"},
                      NameCase{"x:/../%t", " Song. ", "x_/_/Song."},
                      NameCase{"%N - %t", "...", "07 - ..."}));

TEST(RipNameTemplate, UnknownFieldsAreRefused) {
    EXPECT_TRUE(cd::validNameTemplate("%A/%d/%N - %t %% %y %n %a"));
    for (const char* bad : {"%q", "%N %", "%N/", ""})
        EXPECT_FALSE(cd::validNameTemplate(bad)) << bad;
}

TEST_F(Rip, NamesNeverOverwriteAnotherTrackOrAnExistingFile) {
    cdimage::Disc d = namedDisc(3, 10);
    d.tracks[1].title = d.tracks[2].title = "#Same";
    const int drive = addDisc(d);
    auto o = options(cd::RipFormat::Wav);
    o.nameTemplate = "%t";
    fs::create_directories(o.folder);
    std::ofstream(fs::path(o.folder) / "Song 1.wav") << "mine";
    // A link that leads nowhere is a name taken too.
    fs::create_symlink(fs::path(o.folder) / "missing" / "x.wav", fs::path(o.folder) / "#Same.wav");
    const cd::DiscRip rip = cd::ripDisc(drive, o);
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done);
    EXPECT_EQ(readText((fs::path(o.folder) / "Song 1.wav").string()), "mine");
    EXPECT_EQ(fs::path(rip.tracks[0].path).filename(), "Song 1 (2).wav");
    EXPECT_EQ(fs::path(rip.tracks[1].path).filename(), "#Same (2).wav");
    EXPECT_EQ(fs::path(rip.tracks[2].path).filename(), "#Same (3).wav");
    EXPECT_FALSE(fs::exists(fs::path(o.folder) / "missing"));
    // The playlist's lines are not taken for comments.
    EXPECT_NE(readText(rip.playlistPath).find("\n./#Same (2).wav\n"), std::string::npos);
}

// --- Stop and faults -----------------------------------------------------------------------

TEST_F(Rip, LongNamesAreShortenedToTheFileSystemsLimit) {
    cdimage::Disc d = namedDisc(2, 10);
    std::string longText;
    while (longText.size() < 400) longText += "Sigur R\xc3\xb3s ";  // two-byte characters inside
    d.title = longText;
    d.tracks[0].title = longText;
    std::string longArtist;
    while (longArtist.size() < 260) longArtist += "Bj\xc3\xb6rk ";
    d.tracks[0].performer = longArtist;
    const int drive = addDisc(d);
    auto o = options(cd::RipFormat::Flac);
    o.nameTemplate = "%a - %t - %N";
    const cd::DiscRip rip = cd::ripDisc(drive, o);
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    EXPECT_TRUE(rip.allClean()) << rip.tracks[0].message;
    ASSERT_FALSE(rip.logPath.empty());
    const std::string name = fs::path(rip.tracks[0].path).filename().string();
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(name.substr(name.size() - 10), " - 01.flac") << name;
    // Both long fields keep a part of a like length.
    EXPECT_EQ(name.substr(0, 11), longArtist.substr(0, 11));
    const size_t title = name.find(" - " + longText.substr(0, 11));
    ASSERT_NE(title, std::string::npos) << name;
    EXPECT_GT(title, 100u) << name;
    EXPECT_EQ(fs::path(rip.logPath).extension(), ".log");
    EXPECT_LE(fs::path(rip.logPath).filename().string().size(), 255u);
    // Cut at a whole character: no two-byte character loses its second byte.
    for (const std::string& path : {rip.tracks[0].path, rip.logPath}) {
        const std::string n = fs::path(path).filename().string();
        for (size_t i = 0; i < n.size(); ++i) {
            if (uint8_t(n[i]) == 0xc3) {
                EXPECT_TRUE(i + 1 < n.size() && (uint8_t(n[i + 1]) & 0xc0) == 0x80) << n;
            }
        }
    }
}

TEST_F(Rip, StopLeavesTheFinishedTracksAndNoPartialFile) {
    const int drive = addDisc(namedDisc(3, 150));
    std::atomic<bool> stop{false};
    cd::RipHooks hooks;
    hooks.trackStarted = [&](int index, HSTREAM) {
        if (index == 1) stop = true;
    };
    const cd::DiscRip rip = cd::ripDisc(drive, options(cd::RipFormat::Flac), hooks, &stop);
    EXPECT_EQ(rip.status, cd::DiscRip::Status::Stopped);
    EXPECT_EQ(rip.tracks[0].status, cd::TrackRip::Status::Ripped);
    EXPECT_EQ(rip.tracks[1].status, cd::TrackRip::Status::Stopped);
    EXPECT_EQ(rip.tracks[2].status, cd::TrackRip::Status::NotReached);
    EXPECT_FALSE(rip.allClean());
    // Only the first track, the log, cue sheet and playlist: no partial file, no temporary.
    const auto files = listing(options(cd::RipFormat::Flac).folder);
    EXPECT_EQ(files, (std::vector<std::string>{"01 - Song 1.flac", "The Band - Night Album.cue",
                                               "The Band - Night Album.log",
                                               "The Band - Night Album.m3u"}));
    const std::string log = readText(rip.logPath);
    EXPECT_NE(log.find("The rip was stopped"), std::string::npos);
    EXPECT_NE(log.find("NOT every track"), std::string::npos);
    // The stopped track's section has no checksums of what it read before the stop.
    const std::string stopped =
        log.substr(log.find("\nTrack 02"), log.find("\nTrack 03") - log.find("\nTrack 02"));
    EXPECT_EQ(stopped.find("CRC32"), std::string::npos) << stopped;
    EXPECT_EQ(stopped.find("AccurateRip v1"), std::string::npos) << stopped;
}

TEST_F(Rip, ABinCutInsideASectorMarksItsLastTrack) {
    disc = namedDisc(2, 10);
    const std::string cue = cdimage::write(discDir.file("disc"), disc);
    fs::resize_file(discDir.file("disc.bin"), 20 * 2352 - 1000);
    const int drive = engine::cdAddImage(cue);
    ASSERT_GE(drive, 0);
    const cd::DiscRip rip = cd::ripDisc(drive, options(cd::RipFormat::Wav));
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    EXPECT_TRUE(rip.tracks[0].clean());
    EXPECT_EQ(rip.tracks[1].status, cd::TrackRip::Status::Ripped);
    EXPECT_EQ(rip.tracks[1].missingBytes, 1000u);
    EXPECT_FALSE(rip.allClean());
    const std::string log = readText(rip.logPath);
    EXPECT_NE(log.find("Status: CUT SHORT: the image is shorter than its cue sheet; the last 1000 "
                       "bytes of the track are missing"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("The image is shorter than its cue sheet: track 2 is cut short."),
              std::string::npos);
}

class RipFaults : public Rip, public ::testing::WithParamInterface<bool> {};

TEST_P(RipFaults, ASkippedOrFailedReadIsMarkedNeverPassedAsGood) {
    const bool fail = GetParam();
    const int drive = addDisc(namedDisc(3, 20));
    engine::cdInjectReadFault(DWORD(drive), 20 + 7, fail);  // inside track 2
    const cd::DiscRip rip = cd::ripDisc(drive, options(cd::RipFormat::Wav));
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done);
    EXPECT_TRUE(rip.tracks[0].clean());
    EXPECT_TRUE(rip.tracks[2].clean());
    EXPECT_FALSE(rip.tracks[1].clean());
    EXPECT_FALSE(rip.allClean());
    const std::string log = readText(rip.logPath);
    const std::string track2 =
        log.substr(log.find("Track 02"), log.find("Track 03") - log.find("Track 02"));
    if (fail) {
        EXPECT_EQ(rip.tracks[1].status, cd::TrackRip::Status::ReadFailed);
        EXPECT_TRUE(rip.tracks[1].path.empty());
        EXPECT_NE(track2.find("READ FAILED"), std::string::npos) << track2;
        // Two tracks, the log, the cue sheet and the playlist.
        EXPECT_EQ(listing(options(cd::RipFormat::Wav).folder).size(), 5u);
    } else {
        EXPECT_EQ(rip.tracks[1].status, cd::TrackRip::Status::Ripped);
        EXPECT_GE(rip.tracks[1].report.skipped, 1u);
        EXPECT_NE(track2.find("Reads skipped: 1"), std::string::npos) << track2;
        EXPECT_NE(track2.find("SKIPPED READS"), std::string::npos) << track2;
    }
    EXPECT_NE(log.find("NOT every track was read without skips or read errors; see track 2."),
              std::string::npos)
        << log;
    expectCueOpensAsTheTracksRipped(rip);  // without track 2 when it failed
}

INSTANTIATE_TEST_SUITE_P(SkippedOrFailed, RipFaults, ::testing::Bool());

// A disk that fills or fails while a track is written: that track is a write failure with the
// reason, never a read failure, and leaves no file; the tracks before and after it are ripped,
// and every track is reported once, in disc order.
class RipWriteFaults
    : public Rip,
      public ::testing::WithParamInterface<std::tuple<cd::RipFormat, files::Fault, int>> {};

TEST_P(RipWriteFaults, AFullDiskFailsTheTrackItHitsWithTheReason) {
    const auto [format, fault, nth] = GetParam();
    const int drive = addDisc(namedDisc(3, 150));
    std::vector<int> reported;
    cd::RipHooks hooks;
    hooks.trackDone = [&](const cd::TrackRip& t) { reported.push_back(t.number); };
    files::armFault(fault, nth, ENOSPC);
    const cd::DiscRip rip = cd::ripDisc(drive, options(format), hooks);
    files::disarmFaults();
    ASSERT_EQ(rip.status, cd::DiscRip::Status::Done) << rip.message;
    EXPECT_EQ(reported, (std::vector<int>{1, 2, 3}));

    std::vector<std::string> kept;
    int failed = 0;
    for (const cd::TrackRip& t : rip.tracks) {
        if (t.status == cd::TrackRip::Status::Ripped) {
            kept.push_back(fs::path(t.path).filename().string());
            continue;
        }
        ++failed;
        EXPECT_EQ(t.status, cd::TrackRip::Status::WriteFailed) << "track " << t.number;
        EXPECT_NE(t.message.find("No space left on device"), std::string::npos) << t.message;
        EXPECT_EQ(t.message.find(".part"), std::string::npos) << t.message;
        EXPECT_TRUE(t.path.empty());
        EXPECT_NE(readText(rip.logPath).find("WRITE FAILED: " + t.message), std::string::npos);
    }
    EXPECT_EQ(failed, 1);
    for (const char* ext : {".cue", ".log", ".m3u"})
        kept.push_back(std::string("The Band - Night Album") + ext);
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(listing(options(format).folder), kept);  // no partial file, no temporary
    expectCueOpensAsTheTracksRipped(rip);              // also when it starts at track 2
}

INSTANTIATE_TEST_SUITE_P(
    WriteOrFlush, RipWriteFaults,
    ::testing::Combine(::testing::Values(cd::RipFormat::Wav, cd::RipFormat::Flac),
                       ::testing::Values(files::Fault::Write, files::Fault::Flush),
                       ::testing::Values(1, 3)),
    [](const auto& info) {
        const cd::RipFormat format = std::get<0>(info.param);
        return std::string(cd::ripFormatExtension(format) + 1) +
               (std::get<1>(info.param) == files::Fault::Write ? "_write" : "_flush") +
               std::to_string(std::get<2>(info.param));
    });

// --- the command line ----------------------------------------------------------------------

TEST_F(Rip, CommandLineRipsTheDiscAndRefusesBadOptions) {
    const int drive = addDisc(namedDisc(2, 10));
    ASSERT_GE(drive, 0);
    const std::string cue = discDir.file("disc.cue"), folder = outDir.file("cli");
    std::ostringstream out, err;
    EXPECT_EQ(
        cd::cdRipCommand({cue, "all", folder, "--format", "flac", "--name", "%n %t", "--offset=+6"},
                         out, err),
        0)
        << err.str();
    EXPECT_TRUE(fs::exists(fs::path(folder) / "1 Song 1.flac"));
    EXPECT_TRUE(fs::exists(fs::path(folder) / "2 Song 2.flac"));
    EXPECT_NE(readText((fs::path(folder) / "The Band - Night Album.log").string())
                  .find("Read offset: +6 samples"),
              std::string::npos);
    for (std::vector<std::string> bad :
         {std::vector<std::string>{cue, "all", folder, "--format", "aiff"},
          {cue, "all", folder, "--name", "%q"},
          {cue, "all", folder, "--offset", "six"},
          {cue, "all", folder, "--format", "flac", "--bitrate", "128"},
          {cue, "all", folder, "--format", "mp3", "--bitrate", "321"},
          {cue, "all", folder, "--format", "wma", "--bitrate", "640"},
          {cue, "all", folder, "--year", "abc"},
          {cue, "all"}}) {
        std::ostringstream o2, e2;
        EXPECT_EQ(cd::cdRipCommand(bad, o2, e2), 2) << bad.back();
    }
    // A folder given with a slash at its end, and a file where the folder should be.
    out.str("");
    ASSERT_EQ(cd::cdRipCommand({cue, "all", folder + "/", "--format", "flac"}, out, err), 0);
    EXPECT_NE(out.str().find(folder + "/01 - Song 1.flac"), std::string::npos) << out.str();
    err.str("");
    EXPECT_EQ(
        cd::cdRipCommand({cue, "all", (fs::path(folder) / "1 Song 1.flac").string()}, out, err), 1);
    EXPECT_NE(err.str().find("cannot be made: a file has that name"), std::string::npos)
        << err.str();
}

}  // namespace
