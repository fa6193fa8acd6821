// Saving a render as MP3 from the main window: which sources take the MP3 save, the bit rate
// (the source's own, the "&Mp3 Setup" choice, the starting 128 kbit/s), the encoded file, the
// controls around the save, a source header the reader cannot make sense of, a cancelled dialog
// and a destination that cannot be written.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <cstring>
#include <filesystem>
#include <memory>

#include "components/mp3_encoder.h"
#include "mp3/mp3routines.h"
#include "tests/app/window_fixture.h"
#include "tests/mp3/mp3_probe.h"

namespace fs = std::filesystem;

namespace {

using mp3probe::decodedFrames;
using mp3probe::firstFrameKbps;

// Where the four characters "Info" or "Xing" of a LAME tag sit in `bytes`.
size_t lameTagAt(const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i + 4 < std::min<size_t>(bytes.size(), 200); ++i)
        if (std::memcmp(&bytes[i], "Info", 4) == 0 || std::memcmp(&bytes[i], "Xing", 4) == 0)
            return i;
    return 0;
}

}  // namespace

class Mp3SaveWindow : public WindowTest {
  protected:
    // An MP3 of `pcm` at `kbps` among the sources; its path.
    std::string mp3(const std::string& name, const fixtures::Pcm& pcm, int kbps) {
        const std::string path = sources.file(name);
        fixtures::writeMp3(path, pcm, kbps);
        return path;
    }
    // Load, Play, Stop `source`, then "Process", answering the save dialog with `out` (nothing =
    // cancel).
    void processAndSave(const std::string& source, std::optional<std::string> out) {
        loadAndPlay(source);
        w->ui().CmdStop->click();
        ASSERT_TRUE(w->ui().btnConvert->isEnabled());
        desk->saveAnswers.push_back(std::move(out));
        w->ui().btnConvert->click();
    }
    // A click on the item of the "&Mp3 Setup" list that reads `text`.
    void chooseBitRate(const QString& text) {
        w->ui().Mmp3->trigger();
        const int index = w->ui().Combo2->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        w->ui().Combo2->setCurrentIndex(index);
        emit w->ui().Combo2->activated(index);
    }
    // The controls a running save keeps off, all on (or all off).
    bool saveControlsEnabled() const {
        return w->ui().btnLoadFile->isEnabled() && w->ui().mnuconf->menuAction()->isEnabled() &&
               w->ui().cvmenu->menuAction()->isEnabled() && w->ui().Mnuexit->isEnabled();
    }
    bool saveControlsDisabled() const {
        return !w->ui().btnLoadFile->isEnabled() && !w->ui().mnuconf->menuAction()->isEnabled() &&
               !w->ui().cvmenu->menuAction()->isEnabled() && !w->ui().Mnuexit->isEnabled();
    }
    std::string work() const { return (programDir.path() / "newwave.wav").string(); }
};

TEST_F(Mp3SaveWindow, Mp3SourceIsEncodedAtItsOwnRateWithTheControlsOffMeanwhile) {
    const fixtures::Pcm music = fixtures::sine(440, 4.0);
    const std::string song = mp3("song.MP3", music, 192);
    const std::string out = sources.file("result.mp3");

    bool offWhileEncoding = false, busyWhileEncoding = false;
    QObject::connect(w->ui().MEnc1, &components::Mp3Encoder::EncodeProgress, w.get(), [&](int) {
        if (!w->ui().MEnc1->isEncoding()) return;
        offWhileEncoding = saveControlsDisabled() && !w->ui().btnConvert->isEnabled();
        busyWhileEncoding = desk->busy();
    });
    processAndSave(song, out);

    // "Done!" and then nothing more: a successful save says nothing.
    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_EQ(desk->messages[0].text, "Done!");
    ASSERT_EQ(desk->saveDialogs.size(), 1u);
    EXPECT_EQ(desk->saveDialogs[0].title, "Save MP3 File As");
    EXPECT_EQ(desk->saveDialogs[0].filter,
              "File MP3 (*.MP3)|*.MP3|WAV (*.wav)|*.wav|FLAC (*.flac)|*.flac|"
              "Ogg Vorbis (*.ogg)|*.ogg|Opus (*.opus)|*.opus");
    EXPECT_EQ(desk->saveDialogs[0].flags, 2u);
    EXPECT_EQ(desk->saveDialogs[0].initialName, "");

    EXPECT_EQ(w->session().Mp3BitRate, 192000);
    EXPECT_EQ(firstFrameKbps(out), 192);
    // The render, encoded and decoded back: the same length within a frame, the same tone.
    EXPECT_NEAR(double(decodedFrames(out)), double(decodedFrames(song)), 2 * 1152);
    EXPECT_NEAR(fixtures::dominantFrequency(fixtures::readAudio(out), 0), 440, 2);

    EXPECT_TRUE(offWhileEncoding);
    EXPECT_TRUE(busyWhileEncoding);
    EXPECT_TRUE(saveControlsEnabled());
    EXPECT_FALSE(w->ui().btnConvert->isEnabled());  // until the next Stop
    EXPECT_FALSE(desk->busy());
    EXPECT_FALSE(fs::exists(work()));  // saved: the work file goes
}

TEST_F(Mp3SaveWindow, BitRateFromTheSourceAtLeast128ElseFromTheSetupList) {
    const fixtures::Pcm tone = fixtures::sine(330, 2.0);

    // The setup list: the choice is kept, a message says so and the list hides again.
    chooseBitRate("256");
    EXPECT_EQ(w->session().Mp3BitRate, 256000);
    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_EQ(desk->messages[0].text, "Mp3 Setup");
    EXPECT_EQ(desk->messages[0].title, "Quorvin Audio Tools");
    EXPECT_EQ(desk->messages[0].icon, platform::Icon::Question);
    EXPECT_TRUE(w->ui().Combo2->isHidden());
    chooseBitRate("192 ");
    EXPECT_EQ(w->session().Mp3BitRate, 192000);
    chooseBitRate("256");

    // A source without MPEG frames (WAV audio under an .mp3 name): the setting.
    const std::string noFrames = wav("noframes.mp3", tone);
    processAndSave(noFrames, sources.file("a.mp3"));
    EXPECT_EQ(firstFrameKbps(sources.file("a.mp3")), 256);

    // A 96 kbit/s source is encoded at 128 kbit/s, and its rate replaces the setting for later
    // saves.
    processAndSave(mp3("low.mp3", tone, 96), sources.file("b.mp3"));
    EXPECT_EQ(firstFrameKbps(sources.file("b.mp3")), 128);
    EXPECT_EQ(w->session().Mp3BitRate, 128000);
    processAndSave(noFrames, sources.file("c.mp3"));
    EXPECT_EQ(firstFrameKbps(sources.file("c.mp3")), 128);
}

TEST_F(Mp3SaveWindow, MixedCaseEndingIsSavedAsWav) {
    const fixtures::Pcm tone = fixtures::sine(440, 2.0);
    const std::string out = sources.file("out.wav");
    processAndSave(mp3("song.Mp3", tone, 128), out);
    ASSERT_EQ(desk->saveDialogs.size(), 1u);
    EXPECT_EQ(desk->saveDialogs[0].title, "Save WAVE File As");
    EXPECT_NEAR(double(fixtures::readAudio(out).frames()),
                double(decodedFrames(sources.file("song.Mp3"))), 1152);
    EXPECT_EQ(w->session().Mp3BitRate, 128000);  // no MP3 header was read
}

TEST_F(Mp3SaveWindow, SourceHeaderTheReaderRejectsStillSavesAtTheSetting) {
    // A LAME file whose VBR header claims no frames: the header reader fails on it (a division by
    // zero), while the decoder plays the frames that are there.
    const std::string song = mp3("broken.mp3", fixtures::sine(440, 3.0), 160);
    auto bytes = fixtures::readBytes(song);
    const size_t tag = lameTagAt(bytes);
    ASSERT_GT(tag, 0u);
    std::memcpy(&bytes[tag], "Xing", 4);
    std::memset(&bytes[tag + 8], 0, 4);
    fixtures::writeBytes(song, bytes);
    mp3::Mp3FileInfo info;
    ASSERT_THROW(mp3::ReadMp3FileInfo(song, info), mp3::Mp3Error);

    chooseBitRate("224");
    desk->messages.clear();
    const std::string out = sources.file("saved.mp3");
    processAndSave(song, out);
    ASSERT_EQ(desk->saveDialogs.size(), 1u);
    EXPECT_EQ(desk->saveDialogs[0].title, "Save MP3 File As");
    EXPECT_EQ(firstFrameKbps(out), 224);
    EXPECT_GT(decodedFrames(out), 44100 * 2);
    EXPECT_TRUE(saveControlsEnabled());
}

TEST_F(Mp3SaveWindow, CancelledDialogKeepsTheWorkFileAndWritesNothing) {
    processAndSave(mp3("song.mp3", fixtures::sine(440, 2.0), 128), std::nullopt);
    const auto workBytes = fixtures::readBytes(work());
    ASSERT_EQ(desk->messages.size(), 2u);
    EXPECT_EQ(desk->messages[1].text, "Annullato!");
    EXPECT_EQ(desk->messages[1].title, "Quorvin Audio Tools 1.0");
    EXPECT_EQ(desk->messages[1].icon, platform::Icon::None);
    EXPECT_GT(workBytes.size(), 44u + 44100u * 4);
    EXPECT_TRUE(saveControlsEnabled());
    EXPECT_FALSE(w->ui().btnConvert->isEnabled());
    EXPECT_FALSE(desk->busy());
    for (const auto& entry : fs::directory_iterator(sources.path()))
        EXPECT_EQ(entry.path().filename(), "song.mp3");
}

TEST_F(Mp3SaveWindow, DestinationThatCannotBeWrittenIsReported) {
    const std::string song = mp3("song.mp3", fixtures::sine(440, 2.0), 128);
    const std::string lost = sources.file("no-such-folder/out.mp3");
    processAndSave(song, lost);
    ASSERT_EQ(desk->messages.size(), 2u);
    EXPECT_NE(desk->messages[1].text.find(lost), std::string::npos);
    EXPECT_EQ(desk->messages[1].icon, platform::Icon::Exclamation);
    EXPECT_TRUE(saveControlsEnabled());
    EXPECT_FALSE(desk->busy());
}

TEST_F(Mp3SaveWindow, ClosingTheWindowWhileEncodingStopsTheSaveThenEnds) {
    const std::string song = mp3("long.mp3", fixtures::sine(440, 30.0), 128);
    const std::string out = sources.file("result.mp3");
    fixtures::writeBytes(out, {1, 2, 3});  // an earlier file of the user's
    bool closedOnce = false;
    QObject::connect(w->ui().MEnc1, &components::Mp3Encoder::EncodeProgress, w.get(), [&](int) {
        if (closedOnce || !w->ui().MEnc1->isEncoding()) return;
        closedOnce = true;
        w->close();
        // The program does not end under the running encoder.
        EXPECT_FALSE(desk->exitCode.has_value());
    });
    processAndSave(song, out);
    ASSERT_TRUE(closedOnce);
    EXPECT_EQ(desk->exitCode, 0);
    EXPECT_FALSE(w->ui().MEnc1->isEncoding());
    EXPECT_EQ(fixtures::readBytes(out), (std::vector<uint8_t>{1, 2, 3}));
    for (const auto& e : fs::directory_iterator(sources.path()))
        EXPECT_EQ(e.path().filename().string().find("result.mp3."), std::string::npos) << e.path();
    EXPECT_EQ(desk->messages.size(), 1u) << "no failure message while the program ends";
}

// Process keeps the source's title, artist and album in the file it saves: a WAV source's in the
// saved WAV, an MP3 source's in the saved MP3, as ffprobe reads them.
// The source's tags go into the saved file, also when it is saved over the source itself.
class ProcessTags : public Mp3SaveWindow,
                    public ::testing::WithParamInterface<std::pair<const char*, bool>> {};

TEST_P(ProcessTags, GoIntoTheSavedFile) {
    const std::string extension = GetParam().first;
    const bool overSource = GetParam().second;
    const std::string plain = sources.file("plain.wav"), song = sources.file("song" + extension);
    fixtures::writeWav(plain, fixtures::sine(440, 1.0));
    const auto run = [](const std::string& command) {
        std::string out;
        FILE* p = popen(command.c_str(), "r");
        char buf[1024];
        for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        if (p) pclose(p);
        return out;
    };
    run("ffmpeg -v error -y -i '" + plain +
        "' -metadata title=Song -metadata artist='Ärtist' -metadata album=Album '" + song + "'");
    const std::string out = overSource ? song : sources.file("saved" + extension);
    processAndSave(song, out);
    ASSERT_EQ(desk->messages.size(), 1u) << desk->messages.back().text;
    const std::string tags =
        run("ffprobe -v error -show_entries format_tags -of default=nw=1 '" + out + "'");
    for (const char* tag : {"TAG:title=Song", "TAG:artist=Ärtist", "TAG:album=Album"})
        EXPECT_NE(tags.find(tag), std::string::npos) << tag << " not in\n" << tags;
}

INSTANTIATE_TEST_SUITE_P(WavAndMp3, ProcessTags,
                         ::testing::Values(std::pair{".wav", false}, std::pair{".mp3", false},
                                           std::pair{".mp3", true}),
                         [](const auto& info) {
                             return std::string(info.param.first + 1) +
                                    (info.param.second ? "OverTheSource" : "");
                         });

// A source whose file says where its channels go (2.1: the third is the LFE) is mixed into the
// saved MP3 as the file places them, as `quorvin render` mixes it, though the work file between
// them keeps no speaker places.
TEST_F(Mp3SaveWindow, TheSavedMp3MixesTheChannelsWhereTheSourcePlacesThem) {
    const std::string source = sources.file("l21.wav"), out = sources.file("out.mp3");
    const std::string make =
        "ffmpeg -v error -f lavfi -i sine=f=300:d=2 -f lavfi -i sine=f=400:d=2 -f lavfi -i "
        "sine=f=500:d=2 -filter_complex '[0][1][2]join=inputs=3:channel_layout=2.1[a]' -map "
        "'[a]' -c:a pcm_s16le '" +
        source + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    processAndSave(source, out);
    EXPECT_NE(desk->messages.back().text.find("mixed to stereo"), std::string::npos);
    const std::string back = sources.file("back.wav");
    ASSERT_EQ(
        std::system(("ffmpeg -v error -y -i '" + out + "' -c:a pcm_s16le '" + back + "'").c_str()),
        0);
    const fixtures::Pcm got = fixtures::readAudio(back);
    for (int c = 0; c < 2; ++c)
        EXPECT_LT(fixtures::toneLevelDb(got, c, 500),
                  fixtures::toneLevelDb(got, c, 300 + 100 * c) - 30)
            << "channel " << c;
}
