// The "Wav to Mp3 Encode" window, driven offscreen with the scripted platform and the real
// encoder.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include <sndfile.h>

#include "components/mp3_encoder.h"
#include "mp3/Form1.h"
#include "mp3/mp3routines.h"
#include "platform/scripted_platform.h"
#include "tests/support/audio_fixtures.h"

namespace {

class EncoderWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        auto p = std::make_unique<platform::ScriptedPlatform>();
        scripted = p.get();
        previous = platform::Platform::install(std::move(p));
        form = std::make_unique<mp3::Form1>();
        form->show();
    }
    void TearDown() override {
        form.reset();
        platform::Platform::install(std::move(previous));
    }
    template <typename W>
    W* get(const char* name) {
        W* w = form->findChild<W*>(name);
        EXPECT_TRUE(w) << name;
        return w;
    }
    QString text(const char* label) { return get<QLabel>(label)->text(); }
    void open(const std::string& path) {
        scripted->openAnswers.push_back(path);
        get<QPushButton>("Command1")->click();
    }
    void choose(const char* list, int index) {
        auto* box = get<QComboBox>(list);
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    void encode() { get<QPushButton>("Command3")->click(); }
    mp3::Mp3FileInfo info(const std::string& path) {
        mp3::Mp3FileInfo i;
        EXPECT_EQ(mp3::ReadMp3FileInfo(path, i), 1) << path;
        return i;
    }

    fixtures::TempDir dir;
    platform::ScriptedPlatform* scripted = nullptr;
    std::unique_ptr<platform::Platform> previous;
    std::unique_ptr<mp3::Form1> form;
};

}  // namespace

TEST_F(EncoderWindow, StartsWithNothingChosen) {
    EXPECT_EQ(get<QComboBox>("Combo1")->currentIndex(), -1);
    EXPECT_EQ(get<QComboBox>("Combo1")->placeholderText(), "BitRate");
    EXPECT_EQ(get<QComboBox>("Combo2")->placeholderText(), "Channels");
    EXPECT_EQ(text("Label1"), "00 %");
    EXPECT_EQ(text("Label2"), "Seconds Left");
    // The encoder reports both settings as empty until a list is clicked.
    EXPECT_TRUE(form->encoder().BitRate().toString().isEmpty());
    EXPECT_TRUE(form->encoder().ChannelMode().toString().isEmpty());
}

TEST_F(EncoderWindow, ShowsProgressAndTimeLeftTexts) {
    auto& enc = form->encoder();
    auto* bar = get<QProgressBar>("prog");
    emit enc.EncodeProgress(7);
    EXPECT_EQ(text("Label1"), "07 %");
    EXPECT_EQ(bar->value(), 7);
    emit enc.EncodeProgress(42);
    EXPECT_EQ(text("Label1"), "42 %");
    emit enc.EncodeTimeLeft(123.456);
    EXPECT_EQ(text("Label2"), "123.46 Seconds Left");
    emit enc.EncodeTimeLeft(12.3);
    EXPECT_EQ(text("Label2"), "12.30 Seconds Left");
    emit enc.EncodeTimeLeft(5.5);
    EXPECT_EQ(text("Label2"), "5.50 Seconds Left");
    emit enc.EncodeTimeLeft(9.96);  // 10.0 at one decimal: two integer digits
    EXPECT_EQ(text("Label2"), "09.96 Seconds Left");
    emit enc.EncodeTimeLeft(9.9);
    EXPECT_EQ(text("Label2"), "9.90 Seconds Left");

    emit enc.EncodeProgress(100);
    EXPECT_EQ(text("Label1"), "00 %");
    EXPECT_EQ(text("Label2"), "Finished Encoding");
    EXPECT_EQ(bar->value(), 100);
    emit enc.EncodeTimeLeft(0.0);
    EXPECT_EQ(text("Label2"), "Finished Encoding");
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(EncoderWindow, EncodesTheChosenFileBesideItWithTheChosenSettings) {
    const std::string wav = dir.file("take.wav");
    fixtures::writeWav(wav, fixtures::sine(440, 6));
    open(wav);
    EXPECT_EQ(get<QLineEdit>("Text1")->text().toStdString(), wav);
    ASSERT_EQ(scripted->openDialogs.size(), 1u);
    EXPECT_EQ(scripted->openDialogs[0].filter, "Wave Audio File|*.wav|Raw Audio File|*.raw");

    // Unset: 128000 bits per second, stereo.
    encode();
    EXPECT_TRUE(scripted->messages.empty()) << scripted->lastMessage();
    auto first = info(dir.file("take.mp3"));
    EXPECT_EQ(first.BitRate, 128);
    EXPECT_NE(first.ChannelMode, 3);
    EXPECT_EQ(text("Label1"), "00 %");
    EXPECT_EQ(text("Label2"), "Finished Encoding");
    EXPECT_EQ(get<QProgressBar>("prog")->value(), 100);

    choose("Combo1", 3);
    choose("Combo2", 1);
    EXPECT_EQ(form->encoder().BitRate().toInt(), 96000);
    EXPECT_EQ(form->encoder().ChannelMode().toInt(), 1);
    choose("Combo1", -1);  // no item: nothing changes
    EXPECT_EQ(form->encoder().BitRate().toInt(), 96000);
    // A name typed by hand is the file encoded, not the one opened before.
    fixtures::writeWav(dir.file("other.wav"), fixtures::sine(440, 4));
    get<QLineEdit>("Text1")->setText(QString::fromStdString(dir.file("other.wav")));
    encode();
    auto second = info(dir.file("other.mp3"));
    EXPECT_EQ(second.BitRate, 96);
    EXPECT_EQ(second.ChannelMode, 3);
    EXPECT_EQ(second.Duration, 4);

    // A ".raw" file gives the ".mp3" of the same name; a cancelled dialog keeps the last name.
    const auto tone = fixtures::sine(440, 3);
    std::vector<uint8_t> raw(
        reinterpret_cast<const uint8_t*>(tone.samples.data()),
        reinterpret_cast<const uint8_t*>(tone.samples.data()) + tone.samples.size() * 2);
    fixtures::writeBytes(dir.file("x.raw"), raw);
    open(dir.file("x.raw"));
    get<QPushButton>("Command1")->click();  // cancelled
    EXPECT_EQ(get<QLineEdit>("Text1")->text().toStdString(), dir.file("x.raw"));
    EXPECT_EQ(scripted->openDialogs.back().initialName, dir.file("x.raw"));
    encode();
    EXPECT_EQ(info(dir.file("x.mp3")).Duration, 3);
    // Any other extension is replaced the same way.
    fixtures::writeSound(dir.file("y.flac"), tone, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    open(dir.file("y.flac"));
    encode();
    EXPECT_EQ(info(dir.file("y.mp3")).Duration, 3);
    EXPECT_TRUE(scripted->messages.empty()) << scripted->lastMessage();
}

TEST_F(EncoderWindow, StopLeavesNoMp3AndKeepsAnEarlierOne) {
    const std::string wav = dir.file("long.wav");
    fixtures::writeWav(wav, fixtures::noise(60));
    fixtures::writeBytes(dir.file("long.mp3"), {'o', 'l', 'd'});
    open(wav);
    QObject::connect(&form->encoder(), &components::Mp3Encoder::EncodeProgress, [&](int p) {
        if (p >= 2) get<QPushButton>("Command4")->click();
    });
    scripted->answers = {platform::Answer::Yes, platform::Answer::Yes};  // replace long.mp3
    encode();
    ASSERT_EQ(scripted->messages.size(), 1u) << scripted->lastMessage();  // only the question
    EXPECT_NE(scripted->messages[0].text.find("already exists"), std::string::npos);
    EXPECT_EQ(fixtures::readBytes(dir.file("long.mp3")), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(text("Label1"), "00 %");  // no progress is left showing
    EXPECT_EQ(text("Label2"), "Seconds Left");

    // Closing the window while it encodes stops the encoding too.
    QObject::disconnect(&form->encoder(), nullptr, nullptr, nullptr);
    QTimer::singleShot(30, form.get(), [&] { form->close(); });
    encode();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(fixtures::readBytes(dir.file("long.mp3")), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(EncoderWindow, RefusesToOverwriteItsInputAndReportsBadInput) {
    // An input whose MP3 name is itself.
    const std::string song = dir.file("song.mp3");
    fixtures::writeMp3(song, fixtures::sine(440, 2));
    const auto before = fixtures::readBytes(song);
    open(song);
    encode();
    ASSERT_EQ(scripted->messages.size(), 1u);
    EXPECT_NE(scripted->messages[0].text.find("would replace"), std::string::npos);
    EXPECT_EQ(fixtures::readBytes(song), before);

    // Fewer than three characters, or nothing: nothing happens.
    get<QLineEdit>("Text1")->setText("ab");
    encode();
    get<QLineEdit>("Text1")->clear();
    encode();
    EXPECT_EQ(scripted->messages.size(), 1u);

    // A file that is not audio: a message, no MP3.
    fixtures::writeBytes(dir.file("bad.wav"), {'R', 'I', 'F', 'F', 1, 2, 3});
    open(dir.file("bad.wav"));
    encode();
    ASSERT_EQ(scripted->messages.size(), 2u);
    EXPECT_NE(scripted->messages[1].text.find("bad.wav"), std::string::npos);
    EXPECT_EQ(scripted->messages[1].title, "Quorvin Audio Tools");
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.mp3")));

    // A WAV cut short: the MP3 of what it holds, and a message that says it is cut short.
    fixtures::writeWav(dir.file("cut.wav"), fixtures::sine(440, 2));
    auto cut = fixtures::readBytes(dir.file("cut.wav"));
    cut.resize(cut.size() / 2);
    fixtures::writeBytes(dir.file("cut.wav"), cut);
    open(dir.file("cut.wav"));
    encode();
    ASSERT_EQ(scripted->messages.size(), 3u);
    EXPECT_NE(scripted->messages[2].text.find("is cut short"), std::string::npos)
        << scripted->lastMessage();
    EXPECT_TRUE(std::filesystem::exists(dir.file("cut.mp3")));
}

TEST_F(EncoderWindow, AsksBeforeReplacingAnExistingMp3) {
    const std::string wav = dir.file("take.wav"), mp3 = dir.file("take.mp3");
    fixtures::writeWav(wav, fixtures::sine(440, 2));
    const std::vector<uint8_t> earlier = {'o', 'l', 'd'};
    fixtures::writeBytes(mp3, earlier);
    open(wav);

    // No: the earlier file stays and nothing is encoded.
    scripted->answers = {platform::Answer::No};
    encode();
    ASSERT_EQ(scripted->messages.size(), 1u);
    EXPECT_EQ(scripted->messages[0].buttons, platform::Buttons::YesNo);
    EXPECT_NE(scripted->messages[0].text.find(mp3), std::string::npos);
    EXPECT_EQ(fixtures::readBytes(mp3), earlier);
    EXPECT_EQ(text("Label1"), "00 %");  // no progress is left showing
    EXPECT_EQ(text("Label2"), "Seconds Left");

    // Yes: replaced by the encoding.
    scripted->answers = {platform::Answer::Yes};
    encode();
    EXPECT_EQ(scripted->messages.size(), 2u);
    EXPECT_EQ(info(mp3).Duration, 2);

    // Write-protected: said, and kept as it is.
    const auto kept = fixtures::readBytes(mp3);
    namespace fs = std::filesystem;
    fs::permissions(mp3, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    scripted->answers = {platform::Answer::Yes};
    encode();
    EXPECT_NE(scripted->lastMessage().find("write-protected"), std::string::npos)
        << scripted->lastMessage();
    EXPECT_EQ(fixtures::readBytes(mp3), kept);
}
