// The WAV writer, the safe copy and the path helpers, checked against files on disk and an
// independent reader (libsndfile; sox and ffprobe when installed).
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/bass.h"
#include "files/open_error.h"
#include "files/paths.h"
#include "files/safe_copy.h"
#include "files/temporary_file.h"
#include "files/texts.h"
#include "files/wave_header.h"
#include "tests/support/audio_fixtures.h"

namespace fs = std::filesystem;
using files::WaveHeader;
using files::WaveWriter;

namespace {

using fixtures::le16;
using fixtures::le32;

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7 + 3);
    return v;
}

// A folder in which this process really cannot create files, or "" when there is none (a
// superuser ignores folder permissions).
std::string unwritableFolder(const fixtures::TempDir& tmp) {
    const fs::path ro = tmp.path() / "read-only";
    fs::create_directory(ro);
    fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
    for (const fs::path& candidate : {ro, fs::path("/sys/kernel")}) {
        const fs::path probe = candidate / "probe";
        if (std::FILE* f = std::fopen(probe.string().c_str(), "wb")) {
            std::fclose(f);
            fs::remove(probe);
            continue;
        }
        if (fs::is_directory(candidate)) return candidate.string();
    }
    return "";
}

size_t filesIn(const fs::path& dir) {
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

struct Written {
    std::string path;
    WaveHeader header;
    std::vector<uint8_t> pcm;
};

Written writeWave(const fixtures::TempDir& tmp, const std::string& name, int channels, int rate,
                  bool eightBit, size_t pcmBytes, size_t block = 20000) {
    Written w{tmp.file(name), WaveHeader::forFormat(channels, rate, eightBit), pattern(pcmBytes)};
    WaveWriter writer;
    EXPECT_TRUE(writer.create(w.path, w.header)) << writer.error();
    for (size_t at = 0; at < pcmBytes; at += block)
        EXPECT_TRUE(writer.append(w.pcm.data() + at, std::min(block, pcmBytes - at)));
    EXPECT_EQ(writer.dataBytes(), pcmBytes);
    EXPECT_TRUE(writer.finish()) << writer.error();
    return w;
}

}  // namespace

TEST(WaveHeader, BytesOfA16BitStereo44100Header) {
    auto h = WaveHeader::forFormat(2, 44100, false);
    h.setDataSize(1000);
    const auto b = h.bytes();
    const uint8_t expected[44] = {'R',  'I',  'F', 'F', 0x0c, 0x04, 0,   0,  // RIFF, 1036
                                  'W',  'A',  'V', 'E', 'f',  'm',  't', ' ',
                                  16,   0,    0,   0,  // fmt chunk of 16
                                  1,    0,    2,   0,  // PCM, 2 channels
                                  0x44, 0xac, 0,   0,  // 44100
                                  0x10, 0xb1, 2,   0,  // 176400
                                  4,    0,    16,  0,  // block align 4, 16 bits
                                  'd',  'a',  't', 'a', 0xe8, 0x03, 0,   0};  // data, 1000
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.end()),
              std::vector<uint8_t>(expected, expected + 44));
    EXPECT_EQ(h.riff.tag, 0x46464952u);
}

TEST(WaveHeader, OtherFormats) {
    struct Case {
        int channels, rate;
        bool eightBit;
        int blockAlign, bytesPerSecond, bits;
    } cases[] = {
        {1, 44100, false, 2, 88200, 16},
        {2, 44100, true, 2, 88200, 8},
        {1, 22050, true, 1, 22050, 8},
        {2, 48000, false, 4, 192000, 16},
    };
    for (const auto& c : cases) {
        const auto h = WaveHeader::forFormat(c.channels, c.rate, c.eightBit);
        const auto b = h.bytes();
        const std::vector<uint8_t> v(b.begin(), b.end());
        SCOPED_TRACE(std::to_string(c.channels) + " ch " + std::to_string(c.rate));
        EXPECT_EQ(le16(v, 22), c.channels);
        EXPECT_EQ(le32(v, 24), uint32_t(c.rate));
        EXPECT_EQ(le32(v, 28), uint32_t(c.bytesPerSecond));
        EXPECT_EQ(le16(v, 32), c.blockAlign);
        EXPECT_EQ(le16(v, 34), c.bits);
        EXPECT_EQ(le32(v, 4), 0u);  // both sizes 0 until the end
        EXPECT_EQ(le32(v, 40), 0u);
    }
}

TEST(WaveWriter, FileIsHeaderPlusDataAndReadsBackWithOtherReaders) {
    fixtures::TempDir tmp;
    struct Case {
        int channels, rate;
        bool eightBit;
        size_t bytes;
    } cases[] = {{2, 44100, false, 20000 * 3 + 1234},
                 {1, 44100, false, 4410 * 2},
                 {1, 8000, true, 8001},
                 {2, 48000, false, 48000 * 4}};
    int k = 0;
    for (const auto& c : cases) {
        const auto w = writeWave(tmp, "w" + std::to_string(k++) + ".wav", c.channels, c.rate,
                                 c.eightBit, c.bytes);
        SCOPED_TRACE(w.path);
        const auto file = fixtures::readBytes(w.path);
        ASSERT_EQ(file.size(), 44 + c.bytes);
        EXPECT_EQ(le32(file, 4), c.bytes + 36);
        EXPECT_EQ(le32(file, 40), c.bytes);
        EXPECT_TRUE(std::equal(w.pcm.begin(), w.pcm.end(), file.begin() + 44));

        SF_INFO info{};
        SNDFILE* sf = sf_open(w.path.c_str(), SFM_READ, &info);
        ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
        sf_close(sf);
        const int blockAlign = w.header.format.blockAlign;
        EXPECT_EQ(info.frames, sf_count_t(c.bytes / blockAlign));
        EXPECT_EQ(info.channels, c.channels);
        EXPECT_EQ(info.samplerate, c.rate);
        EXPECT_EQ(info.format & SF_FORMAT_SUBMASK,
                  c.eightBit ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);

        const std::string samples = std::to_string(c.bytes / blockAlign);
        if (auto sox = fixtures::capture("sox", "--i " + w.path)) {
            EXPECT_NE(sox->find("= " + samples + " samples"), std::string::npos) << *sox;
            EXPECT_NE(sox->find("Channels       : " + std::to_string(c.channels)),
                      std::string::npos);
            EXPECT_EQ(sox->find("WARN"), std::string::npos) << *sox;
        }
        if (auto ff =
                fixtures::capture("ffprobe", "-v error -show_streams -count_packets " + w.path)) {
            EXPECT_NE(ff->find("sample_rate=" + std::to_string(c.rate)), std::string::npos) << *ff;
            EXPECT_NE(ff->find("channels=" + std::to_string(c.channels)), std::string::npos);
            EXPECT_NE(ff->find("duration_ts=" + samples), std::string::npos) << *ff;
        }
    }
}

TEST(WaveWriter, EmptyAndUnfinishedFilesAreStillValid) {
    fixtures::TempDir tmp;
    // No audio at all.
    const auto empty = writeWave(tmp, "empty.wav", 2, 44100, false, 0);
    auto bytes = fixtures::readBytes(empty.path);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(le32(bytes, 4), 36u);

    // A writer that goes away mid-file (the window closing during a render) still patches.
    const std::string path = tmp.file("closed.wav");
    {
        WaveWriter writer;
        ASSERT_TRUE(writer.create(path, WaveHeader::forFormat(2, 44100, false)));
        const auto pcm = pattern(12345 * 4);
        writer.append(pcm.data(), pcm.size());
        std::fflush(nullptr);
        const auto during = fixtures::readBytes(path);
        ASSERT_GE(during.size(), 44u);
        EXPECT_EQ(le32(during, 4), 0u);
        EXPECT_EQ(le32(during, 40), 0u);
    }
    bytes = fixtures::readBytes(path);
    ASSERT_EQ(bytes.size(), 44u + 12345 * 4);
    EXPECT_EQ(le32(bytes, 40), 12345u * 4);

    // Re-creating a longer file leaves nothing of the old one behind.
    writeWave(tmp, "closed.wav", 2, 44100, false, 400);
    EXPECT_EQ(fs::file_size(path), 444u);
}

TEST(WaveWriter, StopsAtTheSizeLimitOnAFrameBoundary) {
    fixtures::TempDir tmp;
    const std::string path = tmp.file("limit.wav");
    WaveWriter writer(1002);  // stands in for the 32-bit limit; 1000 is the last whole frame
    ASSERT_TRUE(writer.create(path, WaveHeader::forFormat(2, 44100, false)));
    const auto pcm = pattern(400);
    EXPECT_TRUE(writer.append(pcm.data(), pcm.size()));
    EXPECT_TRUE(writer.append(pcm.data(), pcm.size()));
    EXPECT_FALSE(writer.append(pcm.data(), pcm.size()));
    EXPECT_EQ(writer.status(), WaveWriter::Status::LimitReached);
    EXPECT_FALSE(writer.append(pcm.data(), pcm.size()));
    EXPECT_EQ(writer.dataBytes(), 1000u);
    EXPECT_NE(writer.error().find(path), std::string::npos);
    EXPECT_TRUE(writer.finish());
    const auto b = fixtures::readBytes(path);
    ASSERT_EQ(b.size(), 1044u);
    EXPECT_EQ(le32(b, 40), 1000u);
    EXPECT_EQ(fixtures::readAudio(path).frames(), 250);

    // The real limit keeps both sizes positive signed 32-bit numbers.
    WaveHeader h;
    h.setDataSize(files::kMaxWaveDataBytes);
    EXPECT_EQ(h.riff.size, 2147483647);
}

TEST(WaveWriter, FailuresNameThePathAndTheReason) {
    fixtures::TempDir tmp;
    WaveWriter writer;
    const std::string missing = tmp.file("no-such-folder/out.wav");
    EXPECT_FALSE(writer.create(missing, WaveHeader{}));
    EXPECT_NE(writer.error().find(missing), std::string::npos);
    EXPECT_NE(writer.error().find("No such file"), std::string::npos) << writer.error();
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(writer.append("abcd", 4));
    EXPECT_TRUE(writer.finish());

    const std::string ro = unwritableFolder(tmp);
    if (!ro.empty()) {
        const std::string path = ro + "/out.wav";
        EXPECT_FALSE(writer.create(path, WaveHeader{}));
        EXPECT_NE(writer.error().find(path), std::string::npos) << writer.error();
    }

    if (fs::exists("/dev/full")) {  // a device that is always full
        ASSERT_TRUE(writer.create("/dev/full", WaveHeader{}));
        const auto pcm = pattern(1 << 20);
        bool ok = true;
        for (int i = 0; i < 4 && ok; ++i) ok = writer.append(pcm.data(), pcm.size());
        ok = ok && writer.finish();
        EXPECT_FALSE(ok);
        EXPECT_EQ(writer.status(), WaveWriter::Status::WriteFailed);
        EXPECT_NE(writer.error().find("No space left"), std::string::npos) << writer.error();
    }
}

TEST(SafeCopy, ReplacesTheDestinationOnlyWithACompleteCopy) {
    fixtures::TempDir tmp;
    const auto work = writeWave(tmp, "newwave.wav", 2, 44100, false, 3 << 20);
    const std::string dest = tmp.file("saved song.wav");
    fixtures::writeBytes(dest, {1, 2, 3});

    auto r = files::copyFileSafely(work.path, dest);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(fixtures::readBytes(dest), fixtures::readBytes(work.path));
    // Only the two files: no temporary left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 2);

    // The work file itself as the destination (also spelt differently): nothing changes.
    const auto before = fixtures::readBytes(work.path);
    for (const std::string& same : {work.path, (tmp.path() / "." / "newwave.wav").string()}) {
        r = files::copyFileSafely(work.path, same);
        EXPECT_TRUE(r.ok) << r.message;
        EXPECT_EQ(fixtures::readBytes(work.path), before);
    }

    // A link stays a link: the file it leads to (made, if it leads nowhere yet) gets the copy.
    fs::create_directory(tmp.path() / "library");
    for (const char* name : {"saved song.wav", "new song.wav"}) {
        const fs::path link = tmp.path() / (std::string("link to ") + name);
        fs::create_symlink(fs::path("library") / name, link);
        if (std::string(name) == "saved song.wav") fs::rename(dest, tmp.path() / "library" / name);
        r = files::copyFileSafely(work.path, link.string());
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_TRUE(fs::is_symlink(link)) << name;
        EXPECT_EQ(fixtures::readBytes((tmp.path() / "library" / name).string()), before) << name;
    }
    // A pipe, or a link to one, is never replaced by a file.
    const fs::path pipe = tmp.path() / "pipe.wav", toPipe = tmp.path() / "to pipe.wav";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    fs::create_symlink(pipe, toPipe);
    for (const fs::path& p : {pipe, toPipe}) {
        r = files::copyFileSafely(work.path, p.string());
        EXPECT_FALSE(r.ok) << p;
        EXPECT_NE(r.message.find("not a regular file"), std::string::npos) << r.message;
    }
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_TRUE(fs::is_symlink(toPipe));
}

TEST(SafeCopy, AFailedCopyKeepsTheExistingFileAndSaysWhy) {
    fixtures::TempDir tmp;
    const std::string dest = tmp.file("keep.wav");
    const std::vector<uint8_t> old = {9, 8, 7, 6};
    fixtures::writeBytes(dest, old);

    // Unreadable source.
    auto r = files::copyFileSafely(tmp.file("gone.wav"), dest);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find(dest), std::string::npos);
    EXPECT_NE(r.message.find("No such file"), std::string::npos) << r.message;
    EXPECT_EQ(fixtures::readBytes(dest), old);

    // A source that fails while being read (a folder): the temporary is gone, the file intact.
    fs::create_directory(tmp.path() / "folder");
    r = files::copyFileSafely(tmp.file("folder"), dest);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(fixtures::readBytes(dest), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 2);

    // A read-only destination folder.
    const auto work = writeWave(tmp, "newwave.wav", 2, 44100, false, 4000);
    const std::string ro = unwritableFolder(tmp);
    if (ro.empty()) GTEST_SKIP() << "no folder here refuses writing";
    const std::string into = ro + "/song.wav";
    r = files::copyFileSafely(work.path, into);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find(into), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("denied"), std::string::npos) << r.message;
}

// The writers that fill a temporary themselves (the CD rips, the WMA encoder) make the check the
// safe copy makes: a write-protected destination is refused before the temporary exists, and
// again when it is to be replaced, with the temporary removed.
TEST(SafeCopy, TemporariesBesideAWriteProtectedFileAreRefused) {
    fixtures::TempDir tmp;
    const std::string dest = tmp.file("keep.wav");
    const std::vector<uint8_t> old = {9, 8, 7, 6};
    fixtures::writeBytes(dest, old);
    std::string why;
    const std::string early = files::createTemporaryBeside(tmp.file("later.wav"), why);
    ASSERT_FALSE(early.empty()) << why;
    fs::permissions(dest, fs::perms::owner_read);
    fs::create_symlink(dest, tmp.file("link.wav"));

    for (const char* name : {"keep.wav", "link.wav"}) {
        EXPECT_EQ(files::createTemporaryBeside(tmp.file(name), why), "") << name;
        EXPECT_NE(why.find("write-protected"), std::string::npos) << why;
    }
    const auto r = files::replaceFile(early, dest);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("write-protected"), std::string::npos) << r.message;
    EXPECT_EQ(fixtures::readBytes(dest), old);
    EXPECT_FALSE(fs::exists(early));
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 2);
}

TEST(WaveWriter, RefusesFormatsTheHeaderCannotDescribe) {
    fixtures::TempDir tmp;
    struct Case {
        int channels, rate;
    } cases[] = {{0, 44100}, {2, 0}, {2, -8000}, {2, 600000000}, {4000, 44100}, {40000, 44100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels at " + std::to_string(c.rate));
        const WaveHeader h = WaveHeader::forFormat(c.channels, c.rate, false);
        EXPECT_FALSE(h.isDescribable());
        WaveWriter writer;
        const std::string path = tmp.file("absurd.wav");
        EXPECT_FALSE(writer.create(path, h));
        EXPECT_NE(writer.error().find(path), std::string::npos) << writer.error();
        EXPECT_FALSE(fs::exists(path));
    }
    // The largest byte rate that fits is still written exactly.
    const WaveHeader big = WaveHeader::forFormat(2, 536870911, false);
    EXPECT_TRUE(big.isDescribable());
    EXPECT_EQ(big.format.bytesPerSecond, 2147483644);
}

TEST(TemporaryFile, LivesBesideTheDestinationAndIsRemovedOnEveryWayOut) {
    fixtures::TempDir tmp;
    const std::string dest = tmp.file("song.wav");
    fixtures::writeBytes(dest, {1, 2, 3});
    fs::permissions(dest, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    std::string seen;
    {  // Dropped without commit: gone, the destination as it was.
        files::TemporaryFile t;
        ASSERT_TRUE(t.create(dest)) << dest;
        seen = t.path();
        EXPECT_EQ(fs::path(seen).parent_path(), tmp.path());
        EXPECT_EQ(fs::path(seen).filename().string().front(), '.');
        EXPECT_TRUE(t.write("abc", 3));
    }
    EXPECT_FALSE(fs::exists(seen));
    EXPECT_EQ(fixtures::readBytes(dest), (std::vector<uint8_t>{1, 2, 3}));

    // Two at once get different names; commit puts the data in place with the old mode.
    files::TemporaryFile a, b;
    ASSERT_TRUE(a.create(dest));
    ASSERT_TRUE(b.create(dest));
    EXPECT_NE(a.path(), b.path());
    ASSERT_TRUE(a.write("new", 3));
    ASSERT_TRUE(a.commit());
    EXPECT_EQ(fixtures::readBytes(dest), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(fs::status(dest).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // What an interrupt does: every live temporary is removed, released ones included, and an
    // owner that later discards its own finds nothing to harm.
    files::TemporaryFile c;
    ASSERT_TRUE(c.create(dest));
    std::string error;
    const std::string released = files::createTemporaryBeside(dest, error);
    ASSERT_FALSE(released.empty()) << error;
    files::removeLiveTemporaries();
    EXPECT_FALSE(fs::exists(b.path()));
    EXPECT_FALSE(fs::exists(c.path()));
    EXPECT_FALSE(fs::exists(released));
    b.discard();
    EXPECT_EQ(filesIn(tmp.path()), 1u);
}

// Names up to the longest a folder takes: the temporary beside them fits too.
class LongNames : public ::testing::TestWithParam<std::tuple<size_t, std::string>> {};

TEST_P(LongNames, TheTemporaryFitsAndTheFileArrives) {
    const auto& [bytes, letter] = GetParam();
    fixtures::TempDir tmp;
    std::string name;
    while (name.size() + letter.size() + 4 <= bytes) name += letter;
    name += std::string(bytes - 4 - name.size(), 'x') + ".wav";
    ASSERT_EQ(name.size(), bytes);
    const std::string dest = tmp.file(name);
    files::TemporaryFile t;
    ASSERT_TRUE(t.create(dest)) << t.create(dest).message;
    EXPECT_LE(fs::path(t.path()).filename().string().size(), 255u);
    ASSERT_TRUE(t.write("abc", 3));
    ASSERT_TRUE(t.commit());
    EXPECT_EQ(fixtures::readBytes(dest), (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(filesIn(tmp.path()), 1u);
}

INSTANTIATE_TEST_SUITE_P(UpToNameMax, LongNames,
                         ::testing::Combine(::testing::Values(238u, 239u, 250u, 255u),
                                            ::testing::Values("a", "\u00e9", "\u266b")));

// Temporaries given up one after another (failed or stopped jobs in a long session) leave room in
// the registry: the next one is still removed by an interrupt.
TEST(TemporaryFile, ThoseGivenUpLeaveRoomForTheNext) {
    fixtures::TempDir tmp;
    std::string error;
    for (int i = 0; i < 100; ++i)
        files::removeTemporary(files::createTemporaryBeside(tmp.file("out.wav"), error));
    ASSERT_FALSE(files::createTemporaryBeside(tmp.file("out.wav"), error).empty()) << error;
    files::removeLiveTemporaries();
    EXPECT_EQ(filesIn(tmp.path()), 0u);
}

// An interrupt handled on one thread while another creates temporaries as fast as it can: the
// sweep waits for the creation under way, so nothing is left.
TEST(TemporaryFile, AnInterruptOnAnotherThreadLeavesNoTemporary) {
    fixtures::TempDir tmp;
    const std::string dest = tmp.file("out.wav");
    for (int round = 0; round < 60; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            files::removeTemporariesOn(SIGTERM);
            std::thread([&] {
                sigset_t all;
                sigfillset(&all);
                pthread_sigmask(SIG_BLOCK, &all, nullptr);  // the signal goes to the main thread
                for (;;) {
                    files::TemporaryFile t;
                    if (t.create(dest)) t.write("x", 1);
                }
            }).detach();
            for (;;) pause();
        }
        usleep(2000 + 97 * round);
        kill(child, SIGTERM);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_EQ(filesIn(tmp.path()), 0u) << "round " << round;
    }
}

TEST(Paths, RppAddsOneSeparator) {
    const char sep = char(fs::path::preferred_separator);
    const std::string s(1, sep);
    EXPECT_EQ(files::RPP("folder"), "folder" + s);
    EXPECT_EQ(files::RPP("folder" + s), "folder" + s);
    EXPECT_EQ(files::RPP(s), s);
    EXPECT_EQ(files::RPP(""), "");
    EXPECT_EQ(files::RPP("a" + s + "b") + "newwave.wav", "a" + s + "b" + s + "newwave.wav");
}

TEST(Paths, FileExistsSeesOnlyNormalFiles) {
    fixtures::TempDir tmp;
    fixtures::writeBytes(tmp.file("song.wav"), {1});
    fixtures::writeBytes(tmp.file(".hidden.wav"), {1});
    fs::create_directory(tmp.path() / "folder.wav");

    EXPECT_TRUE(files::FileExists(tmp.file("song.wav")));
    EXPECT_FALSE(files::FileExists(tmp.file("other.wav")));
    EXPECT_FALSE(files::FileExists(tmp.file("folder.wav")));
    EXPECT_FALSE(files::FileExists(tmp.file(".hidden.wav")));
    EXPECT_FALSE(files::FileExists(tmp.path().string()));
    EXPECT_FALSE(files::FileExists(""));
    EXPECT_FALSE(files::FileExists(tmp.file("missing-folder/song.wav")));
    // Wild cards match like a listing of normal files.
    EXPECT_TRUE(files::FileExists(tmp.file("*.wav")));
    EXPECT_TRUE(files::FileExists(tmp.file("s?ng.*")));
    EXPECT_FALSE(files::FileExists(tmp.file("*.mp3")));
    EXPECT_FALSE(files::FileExists(tmp.file("folder.*")));
    EXPECT_FALSE(files::FileExists(tmp.file(".hid*")));

    EXPECT_TRUE(files::wildcardMatch("*a*b?", "xxaYYbz"));
    EXPECT_FALSE(files::wildcardMatch("*a*b?", "xxaYYb"));
}

// The one "cannot open" text: the path's own problem when the engine could not open it as a file,
// the error code's reason otherwise; always the path.
TEST(OpenError, NamesThePathAndTheTrueReason) {
    fixtures::TempDir dir;
    const std::string wav = dir.file("a.wav"), pipe = dir.file("pipe.wav");
    fixtures::writeBytes(wav, {1, 2, 3});
    // Sound files out of the engine's limits: a rate above 192 kHz or below 100 Hz (a damaged
    // header's), 17 channels, no audio.
    const std::string fast = dir.file("384k.wav"), wide = dir.file("17ch.wav"),
                      empty = dir.file("empty.wav"), slow = dir.file("20hz.wav");
    fixtures::writeWav(fast, fixtures::sine(440, 0.1, 384000));
    fixtures::writeWav(slow, fixtures::sine(5, 2.0, 20));
    fixtures::writeWav(wide, fixtures::sine(440, 0.1, 44100, 17));
    fixtures::writeWav(empty, fixtures::sine(440, 0.0));
    // A chained Ogg file whose second stream has 17 channels.
    const std::string chained = dir.file("chained.ogg"), second = dir.file("second.ogg");
    fixtures::writeSound(chained, fixtures::sine(440, 0.2), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    fixtures::writeSound(second, fixtures::sine(440, 0.2, 44100, 17),
                         SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    auto joined = fixtures::readBytes(chained);
    const auto tail = fixtures::readBytes(second);
    joined.insert(joined.end(), tail.begin(), tail.end());
    fixtures::writeBytes(chained, joined);
    // 2000 channels: more than libsndfile opens.
    const std::string crowd = dir.file("2000ch.wav");
    const auto header = files::WaveHeader::forFormat(2000, 44100, false).bytes();
    std::vector<uint8_t> crowdBytes(header.begin(), header.end());
    crowdBytes.resize(crowdBytes.size() + 4000 * 10);
    fixtures::writeBytes(crowd, crowdBytes);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const struct {
        std::string path;
        int code;
        std::string says;
    } cases[] = {
        {dir.file("missing.wav"), BASS_ERROR_FILEOPEN, "cannot be opened: it does not exist"},
        {dir.path().string(), BASS_ERROR_FILEOPEN, "it is a folder"},
        {pipe, BASS_ERROR_FILEOPEN, "named pipe"},
        {"/dev/null", BASS_ERROR_FILEOPEN, "device"},
        {wav, BASS_ERROR_FILEOPEN, "missing, or you may not read it"},
        {wav, BASS_ERROR_FORMAT, "not a sound file the program can decode"},
        {fast, BASS_ERROR_FORMAT, "its sample rate, 384000 Hz, is above the 192000 Hz"},
        {slow, BASS_ERROR_FORMAT, "its sample rate, 20 Hz, is below the 100 Hz"},
        {wide, BASS_ERROR_FORMAT, "it has 17 channels, more than the 16"},
        {chained, BASS_ERROR_FORMAT, "it has 17 channels, more than the 16"},
        {crowd, BASS_ERROR_FORMAT, "it has 2000 channels, more than the 16"},
        {empty, BASS_ERROR_FORMAT, "it holds no audio"},
        {dir.file("missing.wav"), BASS_ERROR_MEM, "not enough memory"},
    };
    for (const auto& c : cases) {
        const std::string m = files::cannotOpenMessage(c.path, c.code);
        EXPECT_EQ(m.rfind("Cannot open \"" + c.path + "\": ", 0), 0u) << m;
        EXPECT_NE(m.find(c.says), std::string::npos) << m;
    }
    EXPECT_EQ(files::whyCannotOpen(wav), "");
    EXPECT_EQ(files::whyCannotOpen(pipe), "it is a named pipe (FIFO), not a file");
}

// The messages made here reach the user in the installed translation, with their names filled in
// as they are (a name's own "%2" stays).
TEST(UserTexts, MessagesGoThroughTheInstalledTranslation) {
    fixtures::TempDir dir;
    const std::string missing = dir.file("a %2 b.wav");
    files::setTranslate([](const char* context, const char* source) {
        return std::string("<") + context + ">" + source;
    });
    const std::string m = files::cannotOpenMessage(missing, BASS_ERROR_FILEOPEN);
    files::setTranslate(nullptr);
    EXPECT_EQ(m, "<files>Cannot open \"" + missing +
                     "\": <files>the file cannot be opened: <files>it does not exist.");
    EXPECT_EQ(files::cannotOpenMessage(missing, BASS_ERROR_FILEOPEN),
              "Cannot open \"" + missing + "\": the file cannot be opened: it does not exist.");
}
