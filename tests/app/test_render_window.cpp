// "Process" from the window: the render with the window's tempo, pitch, vocal remover and
// equalizer, the finishing step, the save dialog, and what happens when something goes wrong.
#include <sndfile.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <limits>
#include <thread>

#include "files/fault_injection.h"
#include "platform/window_thread.h"
#include "player/waveform/waveform_view.h"
#include "tests/app/window_fixture.h"
#include "tests/cli/run_quorvin.h"
#include "tests/support/held_write.h"

namespace {

int32_t le32(const std::vector<uint8_t>& b, size_t at) {
    int32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

// The two sizes of a WAV file agree with its length.
void expectSizesMatch(const std::string& path) {
    const auto bytes = fixtures::readBytes(path);
    ASSERT_GE(bytes.size(), 44u) << path;
    const int32_t data = le32(bytes, 40);
    EXPECT_EQ(size_t(data) + 44, bytes.size()) << path;
    EXPECT_EQ(le32(bytes, 4), data + 36) << path;
}

}  // namespace

class RenderWindow : public WindowTest {
  protected:
    // Load, Play and Stop `source`, so that "Process" is available.
    void prepare(const std::string& source) {
        loadAndPlay(source);
        w->ui().CmdStop->click();
        ASSERT_TRUE(w->ui().btnConvert->isEnabled());
    }
    // "Process", saving the result as `out`; the saved audio.
    fixtures::Pcm process(const std::string& out) {
        desk->saveAnswers.push_back(out);
        w->ui().btnConvert->click();
        return fixtures::readAudio(out);
    }
    std::string work() const { return (programDir.path() / "newwave.wav").string(); }
};

TEST_F(RenderWindow, PlainRenderIsTheSourceAndEndsWithDoneAndTheSaveDialog) {
    const fixtures::Pcm source = fixtures::drumTrack(120, 4.0);
    prepare(wav("song.wav", source));
    const std::string out = sources.file("out.wav");
    const fixtures::Pcm result = process(out);

    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_EQ(desk->messages[0].text, "Done!");
    EXPECT_EQ(desk->messages[0].title, "Quorvin Audio Tools");
    EXPECT_EQ(desk->messages[0].icon, platform::Icon::None);
    ASSERT_EQ(desk->saveDialogs.size(), 1u);
    EXPECT_EQ(desk->saveDialogs[0].title, "Save WAVE File As");
    // Its own kind first (the default), then the other formats a save writes.
    EXPECT_EQ(desk->saveDialogs[0].filter,
              "File Wave (*.wav)|*.wav|FLAC (*.flac)|*.flac|MP3 (*.mp3)|*.mp3|"
              "Ogg Vorbis (*.ogg)|*.ogg|Opus (*.opus)|*.opus");
    EXPECT_EQ(desk->saveDialogs[0].flags, 2u);
    EXPECT_FALSE(desk->busy());

    EXPECT_EQ(result.samples, source.samples);
    expectSizesMatch(out);
    EXPECT_FALSE(std::filesystem::exists(work()));  // the saved copy is the only one left

    // The window after the render.
    EXPECT_TRUE(w->ui().Pbregg->isHidden());
    EXPECT_EQ(w->ui().Pbregg->value(), 0);
    EXPECT_EQ(w->ui().Pbregg->maximum(),
              1);  // the source's length in millions of bytes, rounded up
    EXPECT_EQ(w->ui().lblPos->text(), " 00:00 / 00:00");
    EXPECT_EQ(w->ui().lblBPM->text(), "BPM: 0.00");
    EXPECT_EQ(w->ui().btnConvert->text(), "Process");
    EXPECT_FALSE(w->ui().btnConvert->isEnabled());
    EXPECT_TRUE(w->ui().btnLoadFile->isEnabled());
    EXPECT_TRUE(w->ui().cvmenu->menuAction()->isEnabled());
}

TEST_F(RenderWindow, MonoFileRendersUnchangedWithTheRemoverSwitchSet) {
    const fixtures::Pcm source = fixtures::sine(440, 2.0, 44100, 1);
    prepare(wav("mono.wav", source));
    w->ui().Chkrem->click();  // "Only Stereo"; the switch keeps the click
    ASSERT_TRUE(w->ui().Chkrem->isChecked());
    ASSERT_EQ(desk->lastMessage(), "Only Stereo ");
    const fixtures::Pcm result = process(sources.file("out.wav"));
    EXPECT_EQ(result.channels, 1);
    EXPECT_EQ(result.samples, source.samples);
}

// The remover that keeps the stereo picture takes the front pair of a file of more channels, as
// `quorvin render` does; the plain one then is refused again, and switched off.
TEST_F(RenderWindow, KeepStereoRemovesTheFrontCentreOfMoreChannels) {
    const fixtures::Pcm voice = fixtures::sine(440, 3.0), bass = fixtures::sine(110, 3.0);
    fixtures::Pcm quad = voice;
    quad.channels = 4;
    quad.samples.clear();
    for (int64_t i = 0; i < voice.frames(); ++i) {
        const int16_t v = voice.samples[size_t(2 * i)], b = bass.samples[size_t(2 * i)];
        quad.samples.insert(quad.samples.end(), {v, v, b, b});
    }
    prepare(wav("quad.wav", quad));
    w->ui().chkKeepStereo->click();
    w->ui().Chkrem->click();
    EXPECT_TRUE(desk->messages.empty());
    const fixtures::Pcm result = process(sources.file("out.wav"));
    ASSERT_EQ(result.channels, 4);
    EXPECT_LE(fixtures::toneLevelDb(result, 0, 440), fixtures::toneLevelDb(quad, 0, 440) - 20);
    EXPECT_NEAR(fixtures::toneLevelDb(result, 2, 110), fixtures::toneLevelDb(quad, 2, 110), 0.5);

    prepare(wav("quad2.wav", quad));
    w->ui().chkKeepStereo->setChecked(true);
    w->ui().Chkrem->click();
    w->ui().chkKeepStereo->click();  // the plain remover asked for
    EXPECT_EQ(desk->lastMessage(), "Only Stereo ");
    EXPECT_FALSE(w->ui().Chkrem->isChecked());
}

TEST_F(RenderWindow, TempoSliderShortensTheResult) {
    const fixtures::Pcm source = fixtures::drumTrack(120, 10.0);
    prepare(wav("song.wav", source));
    w->ui().sldTempo[0]->setValue(25);
    const fixtures::Pcm result = process(sources.file("fast.wav"));
    EXPECT_NEAR(double(result.frames()) / double(source.frames()), 1 / 1.25, 0.01);
}

TEST_F(RenderWindow, VocalRemoverTakesOutTheCentreAndKeepsThePannedParts) {
    // A centred "voice" at 440 Hz, an instrument at 220 Hz on the left and one at 880 on the right.
    const fixtures::Pcm source = fixtures::stereoMix(440, 220, 880, 4.0);
    prepare(wav("mix.wav", source));
    w->ui().Chkrem->click();
    const fixtures::Pcm result = process(sources.file("karaoke.wav"));
    ASSERT_EQ(result.frames(), source.frames());
    for (int64_t i = 0; i < result.frames(); ++i)
        ASSERT_EQ(result.samples[size_t(2 * i)], result.samples[size_t(2 * i + 1)]) << i;
    EXPECT_LE(fixtures::toneLevelDb(result, 0, 440), fixtures::toneLevelDb(source, 0, 440) - 40);
    // Half of each side remains (-6 dB).
    EXPECT_NEAR(fixtures::toneLevelDb(result, 0, 220), fixtures::toneLevelDb(source, 0, 220) - 6,
                1);
    EXPECT_NEAR(fixtures::toneLevelDb(result, 1, 880), fixtures::toneLevelDb(source, 1, 880) - 6,
                1);
}

TEST_F(RenderWindow, EqualizerBandsShapeTheRender) {
    const fixtures::Pcm source = fixtures::stereoMix(1500, 4000, 4000, 3.0, 44100, 0.05);
    prepare(wav("tones.wav", source));
    w->ui().CEq->click();  // all sliders at 0: the sound is unchanged
    const fixtures::Pcm flat = process(sources.file("flat.wav"));
    EXPECT_NEAR(fixtures::toneLevelDb(flat, 0, 1500), fixtures::toneLevelDb(source, 0, 1500), 0.01);
    EXPECT_NEAR(fixtures::toneLevelDb(flat, 0, 4000), fixtures::toneLevelDb(source, 0, 4000), 0.01);

    // One band at a time: neighbouring bands overlap.
    prepare(sources.file("tones.wav"));
    w->ui().CEq->click();
    w->ui().sldEQ[2]->setValue(-10);  // +10 dB at 1500 Hz
    bool label5ShownDuringRender = false;
    QTimer::singleShot(0, w.get(), [&] { label5ShownDuringRender = !w->ui().Label5->isHidden(); });
    const fixtures::Pcm boosted = process(sources.file("boosted.wav"));
    EXPECT_NEAR(fixtures::toneLevelDb(boosted, 0, 1500) - fixtures::toneLevelDb(source, 0, 1500),
                10, 0.5);
    EXPECT_TRUE(label5ShownDuringRender);

    prepare(sources.file("tones.wav"));
    w->ui().CEq->click();
    w->ui().sldEQ[3]->setValue(10);  // -10 dB at 4000 Hz
    const fixtures::Pcm cut = process(sources.file("cut.wav"));
    EXPECT_NEAR(fixtures::toneLevelDb(cut, 0, 4000) - fixtures::toneLevelDb(source, 0, 4000), -10,
                0.5);
}

TEST_F(RenderWindow, CancelledSaveKeepsTheWorkFile) {
    prepare(wav("song.wav", fixtures::sine(440, 2.0)));
    desk->saveAnswers.push_back(std::nullopt);
    w->ui().btnConvert->click();
    ASSERT_EQ(desk->messages.size(), 2u);
    EXPECT_EQ(desk->messages[0].text, "Done!");
    EXPECT_EQ(desk->messages[1].text, "Annullato!");
    EXPECT_EQ(desk->messages[1].title, "Quorvin Audio Tools");
    expectSizesMatch(work());
    EXPECT_TRUE(w->ui().cvmenu->menuAction()->isEnabled());
    EXPECT_FALSE(desk->busy());
}

TEST_F(RenderWindow, ClosingDuringTheRenderLeavesNoWorkFileAndNoMessage) {
    prepare(wav("song.wav", fixtures::drumTrack(120, 20.0)));
    QTimer::singleShot(0, w.get(), [&] { w->close(); });
    w->ui().btnConvert->click();
    EXPECT_EQ(desk->exitCode, 0);
    EXPECT_TRUE(desk->messages.empty());
    EXPECT_TRUE(desk->saveDialogs.empty());
    EXPECT_FALSE(std::filesystem::exists(work()));
}

// The save's copy runs off the window thread, which goes on answering: the window closed during
// the copy closes once the copy has returned, with the user's file whole.
TEST_F(RenderWindow, ClosingDuringTheSaveCopyKeepsTheFileWhole) {
    struct SaveWatch : platform::ScriptedPlatform {
        std::atomic<bool> saving{false};
        std::optional<std::string> saveFile(const platform::FileDialog& d) override {
            saving = true;
            return ScriptedPlatform::saveFile(d);
        }
    };
    auto watching = std::make_unique<SaveWatch>();
    watching->folder = desk->folder;
    SaveWatch* save = watching.get();
    const auto scripted = platform::Platform::install(std::move(watching));
    desk = save;
    const fixtures::Pcm source = fixtures::drumTrack(120, 4.0);
    prepare(wav("song.wav", source));

    const std::thread::id windowThread = std::this_thread::get_id();
    std::atomic<bool> writtenByWindow{false}, closing{false};
    std::promise<bool> closed;  // whether the program had ended when close() returned
    std::shared_future<bool> exitedAtClose = closed.get_future().share();
    files::watchWrites([&] {
        if (!save->saving) return;
        if (std::this_thread::get_id() == windowThread) {
            writtenByWindow = true;
        } else if (!closing.exchange(true)) {
            platform::postToWindowThread([&] {
                w->close();
                closed.set_value(desk->exitCode.has_value());
            });
            exitedAtClose.wait_for(std::chrono::seconds(10));
        }
    });
    const std::string out = sources.file("out.wav");
    const fixtures::Pcm result = process(out);
    files::watchWrites({});
    EXPECT_FALSE(writtenByWindow);
    ASSERT_EQ(exitedAtClose.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_FALSE(exitedAtClose.get());
    EXPECT_EQ(desk->exitCode, 0);
    EXPECT_EQ(result.samples, source.samples);
    expectSizesMatch(out);
}

TEST_F(RenderWindow, SizeLimitStopsWithAMessageAndAValidFile) {
    // A tagged source: the tags stay out of the cut file, which they would take past the limit.
    const std::string plain = wav("plain.wav", fixtures::sine(440, 3.0)),
                      song = sources.file("song.wav");
    ASSERT_EQ(
        std::system(
            ("ffmpeg -v error -y -i '" + plain + "' -metadata title=Song '" + song + "'").c_str()),
        0);
    prepare(song);
    w->process().setMaxDataBytes(100000);
    const std::string out = sources.file("out.wav");
    process(out);
    ASSERT_EQ(desk->messages.size(), 2u);
    EXPECT_EQ(desk->messages[0].icon, platform::Icon::Exclamation);
    EXPECT_EQ(desk->messages[1].text, "Done!");
    expectSizesMatch(out);
    const auto data = std::filesystem::file_size(out) - 44;
    EXPECT_LE(data, 100000u);
    EXPECT_GT(data, 80000u);
    EXPECT_EQ(data % 4, 0u);
}

// A disk that fills during the render: said once, and no work file is left to fill it.
TEST_F(RenderWindow, AFullDiskStopsTheRenderWithOneMessageAndNoWorkFile) {
    prepare(wav("song.wav", fixtures::sine(440, 3.0)));
    files::armFault(files::Fault::Write, 3, ENOSPC);
    w->ui().btnConvert->click();
    files::disarmFaults();
    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_NE(desk->messages[0].text.find("No space left on device"), std::string::npos);
    EXPECT_TRUE(desk->saveDialogs.empty());
    EXPECT_FALSE(std::filesystem::exists(work()));
    EXPECT_TRUE(w->ui().btnConvert->isEnabled());
    EXPECT_EQ(w->ui().lblPos->text(), " 00:00 / 00:00");
}

TEST_F(RenderWindow, SourceGoneBeforeProcessIsRefusedAndNothingChanges) {
    const std::string song = wav("song.wav", fixtures::sine(440, 2.0));
    prepare(song);
    std::filesystem::remove(song);
    w->ui().btnConvert->click();
    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_NE(desk->messages[0].text.find(song), std::string::npos);
    EXPECT_TRUE(desk->saveDialogs.empty());
    EXPECT_TRUE(w->ui().btnConvert->isEnabled());
    EXPECT_TRUE(w->ui().btnLoadFile->isEnabled());
    EXPECT_TRUE(w->ui().cvmenu->menuAction()->isEnabled());
    EXPECT_TRUE(w->ui().Pbregg->isHidden());
    EXPECT_FALSE(std::filesystem::exists(work()));
}

TEST_F(RenderWindow, WorkFileThatCannotBeCreatedIsReported) {
    prepare(wav("song.wav", fixtures::sine(440, 2.0)));
    std::filesystem::create_directory(work());  // a folder where the work file should go
    w->ui().btnConvert->click();
    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_NE(desk->messages[0].text.find("newwave.wav"), std::string::npos);
    EXPECT_TRUE(desk->saveDialogs.empty());
    EXPECT_TRUE(w->ui().btnConvert->isEnabled());
}

TEST_F(RenderWindow, FailedSaveNamesThePathAndKeepsTheWorkFile) {
    prepare(wav("song.wav", fixtures::sine(440, 2.0)));
    const std::string out = sources.file("no-such-folder/out.wav");
    desk->saveAnswers.push_back(out);
    w->ui().btnConvert->click();
    ASSERT_EQ(desk->messages.size(), 2u);
    EXPECT_NE(desk->messages[1].text.find(out), std::string::npos);
    expectSizesMatch(work());
    EXPECT_FALSE(desk->busy());
}

// A name typed with another format's extension in "Save WAVE File As" is saved in that format,
// whatever the case of the extension: the whole render, written through a temporary that is gone.
class SaveAsTypedFormat : public RenderWindow,
                          public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(SaveAsTypedFormat, TheFileIsWhatItsNameSays) {
    const auto [name, major] = GetParam();
    const fixtures::Pcm source = fixtures::drumTrack(120, 4.0);
    prepare(wav("song.wav", source));
    const std::string out = sources.file(name);
    process(out);
    ASSERT_EQ(desk->messages.size(), 1u);  // only "Done!"
    SF_INFO info{};
    SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << out;
    sf_close(f);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, major);
    // The WAV saved by default is the source frame for frame (see the first test).
    EXPECT_EQ(info.frames, source.frames());
    EXPECT_FALSE(std::filesystem::exists(work()));
    EXPECT_EQ(clitest::filesIn(sources.path()), 2u);  // the source and the saved file
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveAsTypedFormat,
                         ::testing::Values(std::pair<const char*, int>{"x.flac", SF_FORMAT_FLAC},
                                           std::pair<const char*, int>{"x.OGG", SF_FORMAT_OGG}),
                         [](const auto& info) { return std::string(info.param.first).substr(2); });

TEST_F(RenderWindow, SavingOverTheWorkFileItselfDoesNoHarm) {
    const fixtures::Pcm source = fixtures::sine(440, 2.0);
    prepare(wav("song.wav", source));
    desk->saveAnswers.push_back(work());
    w->ui().btnConvert->click();
    ASSERT_EQ(desk->messages.size(), 1u);  // only "Done!"
    expectSizesMatch(work());
    EXPECT_EQ(fixtures::readAudio(work()).samples, source.samples);
}

// The sound options, each alone and together, and "Loop only" with a loop chosen, against
// `quorvin render` with the matching options.
struct SoundOptions {
    bool highQuality, keepBass, loopOnly = false;
    int sides = 0;  // the row of "Sides": both, left, right, mono
};

class SoundOptionsRender : public RenderWindow,
                           public ::testing::WithParamInterface<SoundOptions> {};

TEST_P(SoundOptionsRender, ProcessWritesTheBytesOfQuorvinRender) {
    const SoundOptions o = GetParam();
    const std::string song = wav("song.wav", fixtures::drumTrack(112, 4.0, 5));
    w->ui().mnuHighQuality->setChecked(o.highQuality);
    w->ui().chkKeepBass->setChecked(o.keepBass);
    prepare(song);
    userMove(w->ui().sldTempo[0], -10);
    userMove(w->ui().sldTempo[2], 1);
    if (o.keepBass) w->ui().Chkrem->click();
    w->ui().cboChannels->setCurrentIndex(o.sides);
    emit w->ui().cboChannels->activated(o.sides);
    if (o.loopOnly) {
        EXPECT_FALSE(w->ui().chkProcessLoop->isEnabled());  // no loop yet
        emit w->ui().wavOverview->loopSelected(2.5, 1.0);   // a drag from right to left
        ASSERT_TRUE(w->ui().chkProcessLoop->isEnabled());
        w->ui().chkProcessLoop->click();
    }
    const std::string out = sources.file("window.wav");
    desk->saveAnswers.push_back(out);
    w->ui().btnConvert->click();
    ASSERT_EQ(desk->lastMessage(), "Done!");

    std::vector<std::string> args = {"render",  song, sources.file("cli.wav"), "--tempo", "-10",
                                     "--pitch", "1"};
    if (o.highQuality) args.insert(args.end(), {"--quality", "high"});
    if (o.keepBass) args.push_back("--vocal-remover=keep-bass");
    if (o.loopOnly) args.insert(args.end(), {"--from", "1", "--to", "2.5"});
    const char* sides[] = {"stereo", "left", "right", "mono"};
    if (o.sides) args.insert(args.end(), {"--channels", sides[o.sides]});
    const auto run = clitest::quorvin(args, sources);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto window = fixtures::readBytes(out);
    // 4 s, or the loop's 1.5 s, at tempo -10 %.
    EXPECT_NEAR(double(window.size() - 44), (o.loopOnly ? 1.5 : 4.0) / 0.9 * 4 * 44100, 4 * 2000)
        << window.size();
    EXPECT_TRUE(window == fixtures::readBytes(sources.file("cli.wav")));
}

INSTANTIATE_TEST_SUITE_P(
    Options, SoundOptionsRender,
    ::testing::Values(SoundOptions{true, false}, SoundOptions{false, true},
                      SoundOptions{true, true}, SoundOptions{false, false, true},
                      SoundOptions{true, false, true}, SoundOptions{false, false, false, 1},
                      SoundOptions{true, true, false, 3}),
    [](const ::testing::TestParamInfo<SoundOptions>& info) {
        return std::string(info.param.highQuality ? "HighQuality" : "") +
               (info.param.keepBass ? "KeepBass" : "") + (info.param.loopOnly ? "LoopOnly" : "") +
               (info.param.sides ? "Sides" + std::to_string(info.param.sides) : "");
    });

TEST_F(RenderWindow, DoneSaysHowManySamplesWereNotNumbers) {
    std::vector<float> samples(2 * 44100, 0.25f);
    samples[10] = std::numeric_limits<float>::infinity();
    samples[2000] = std::numeric_limits<float>::quiet_NaN();
    fixtures::writeBytes(sources.file("faulty.wav"), fixtures::floatWavBytes(samples, 2, 44100));
    prepare(sources.file("faulty.wav"));
    process(sources.file("out.wav"));
    ASSERT_FALSE(desk->messages.empty());
    EXPECT_NE(desk->messages.back().text.find("2 samples are not a number"), std::string::npos)
        << desk->messages.back().text;
}

// The player's controls during a render: a click on the waveform, a drag over it, a loop chosen
// from the list, the slider and the play keys reach no further than the player, and the choice of
// stretcher is not offered. The render goes
// on from where it was and saves the whole file, the same as without them.
TEST_F(RenderWindow, PlayerControlsDuringARenderLeaveItWhole) {
    const fixtures::Pcm source = fixtures::drumTrack(120, 6.0);
    prepare(wav("song.wav", source));
    emit w->ui().wavOverview->loopSelected(1.0, 2.0);  // a loop in the list, before Process
    std::atomic<int> pokes{0};
    std::function<void()> poke = [&] {
        if (w->ui().cmdCancelProcess->isHidden()) return;  // the render has ended
        ++pokes;
        EXPECT_FALSE(w->ui().mnuHighQuality->isEnabled());  // the stretcher is chosen
        emit w->ui().wavOverview->seekRequested(0.5);
        emit w->ui().wavOverview->loopSelected(3.0, 4.0);
        w->ui().cboLoops->setCurrentIndex(0);
        emit w->ui().cboLoops->activated(0);
        w->ui().sldPosition->setValue(1);
        for (char key : {'[', ']', 'P'}) QTest::keyClick(w.get(), key);
        QTimer::singleShot(0, w.get(), poke);
    };
    QTimer::singleShot(0, w.get(), poke);
    // The render's writer waits at its second block of audio for the pokes.
    const fixtures::HeldWrite held(3, [&] { return pokes > 3; });
    const fixtures::Pcm result = process(sources.file("out.wav"));
    EXPECT_GT(pokes, 3);
    EXPECT_EQ(result.samples, source.samples);
    EXPECT_TRUE(w->ui().mnuHighQuality->isEnabled());
}
