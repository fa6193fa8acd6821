// The MP3 encoder component: what it writes decodes back through the engine to the same audio and
// length; Stop, failures and closing mid-way never leave a partial MP3 or touch an existing one.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <set>

#include "components/mp3_encoder.h"
#include "engine/engine_ext.h"
#include "mp3/mp3routines.h"
#include "tests/support/audio_fixtures.h"

using components::Mp3Encoder;

namespace {

std::set<std::string> filesIn(const fixtures::TempDir& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.insert(e.path().filename().string());
    return names;
}

// Length in seconds; within one MP3 frame of the source's when it is right. (LAME may choose a
// lower sample rate for a low bit rate, as its command does.)
double seconds(const fixtures::Pcm& pcm) {
    return double(pcm.frames()) / pcm.rate;
}
double oneFrame(const fixtures::Pcm& pcm) {
    return 1152.0 / pcm.rate;
}

fixtures::Pcm decode(const std::string& path) {
    int error = 0;
    auto source = engine::openFileSource(path, &error);
    EXPECT_TRUE(source) << path << " error " << error;
    fixtures::Pcm pcm;
    if (!source) return pcm;
    pcm.rate = source->rate();
    pcm.channels = source->channels();
    pcm.samples.resize(size_t(source->lengthFrames() * pcm.channels));
    const int64_t got = source->read(pcm.samples.data(), source->lengthFrames());
    pcm.samples.resize(size_t(std::max<int64_t>(0, got) * pcm.channels));
    return pcm;
}

struct Reports {
    std::vector<int> percents;
    std::vector<double> timesLeft;
    bool offThread = false;
    void watch(Mp3Encoder& enc) {
        QObject::connect(&enc, &Mp3Encoder::EncodeProgress, [this](int p) {
            offThread |= QThread::currentThread() != qApp->thread();
            percents.push_back(p);
        });
        QObject::connect(&enc, &Mp3Encoder::EncodeTimeLeft, [this](double t) {
            offThread |= QThread::currentThread() != qApp->thread();
            timesLeft.push_back(t);
        });
    }
};

}  // namespace

TEST(Mp3Encoder, WritesMp3sThatDecodeBackToTheSameAudioAndLength) {
    fixtures::TempDir dir;
    // Distinct tones left and right, so that a swapped or broken interleave shows.
    const auto mix = fixtures::stereoMix(440, 1000, 2500, 12);
    const std::string wav = dir.file("take.wav");
    fixtures::writeWav(wav, mix);

    Mp3Encoder enc;
    EXPECT_TRUE(enc.InputFile().isEmpty());
    EXPECT_TRUE(enc.BitRate().toString().isEmpty());
    EXPECT_TRUE(enc.ChannelMode().toString().isEmpty());
    Reports reports;
    reports.watch(enc);
    enc.setInputFile(QString::fromStdString(wav));
    enc.setOutputFile(QString::fromStdString(dir.file("take.mp3")));
    ASSERT_TRUE(enc.Encode()) << enc.errorText().toStdString();

    ASSERT_FALSE(reports.percents.empty());
    EXPECT_FALSE(reports.offThread);
    EXPECT_EQ(reports.percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(reports.percents.begin(), reports.percents.end()));
    EXPECT_EQ(std::count(reports.percents.begin(), reports.percents.end(), 100), 1);
    EXPECT_EQ(filesIn(dir), (std::set<std::string>{"take.wav", "take.mp3"}));

    const auto back = decode(dir.file("take.mp3"));
    EXPECT_EQ(back.channels, 2);
    EXPECT_EQ(back.rate, 44100);
    EXPECT_NEAR(double(back.frames()), double(mix.frames()), 1152);
    EXPECT_GT(fixtures::toneLevelDb(back, 0, 1000), fixtures::toneLevelDb(back, 1, 1000) + 30);
    EXPECT_GT(fixtures::toneLevelDb(back, 1, 2500), fixtures::toneLevelDb(back, 0, 2500) + 30);
    EXPECT_NEAR(fixtures::toneLevelDb(back, 0, 440), fixtures::toneLevelDb(mix, 0, 440), 1.0);
    mp3::Mp3FileInfo info;
    ASSERT_EQ(mp3::ReadMp3FileInfo(dir.file("take.mp3"), info), 1);
    EXPECT_EQ(info.BitRate, 128);  // unset bit rate: 128000
    EXPECT_EQ(info.ChannelMode, 1);
    EXPECT_EQ(info.SampleRate, 44100);

    // Mono at 96000, over the MP3 just written (a finished encode replaces it).
    enc.setBitRate(96000);
    enc.setChannelMode(1);
    EXPECT_EQ(enc.BitRate().toInt(), 96000);
    ASSERT_TRUE(enc.Encode()) << enc.errorText().toStdString();
    ASSERT_EQ(mp3::ReadMp3FileInfo(dir.file("take.mp3"), info), 1);
    EXPECT_EQ(info.BitRate, 96);
    EXPECT_EQ(info.ChannelMode, 3);
    const auto mono = decode(dir.file("take.mp3"));
    EXPECT_EQ(mono.channels, 1);
    EXPECT_NEAR(seconds(mono), seconds(mix), oneFrame(mono));

    // Headerless 16-bit stereo 44.1 kHz.
    const auto tone = fixtures::sine(300, 5);
    std::vector<uint8_t> raw;
    for (int16_t s : tone.samples) {
        raw.push_back(uint8_t(s & 0xFF));
        raw.push_back(uint8_t((uint16_t(s) >> 8) & 0xFF));
    }
    fixtures::writeBytes(dir.file("x.RAW"), raw);
    enc.setInputFile(QString::fromStdString(dir.file("x.RAW")));
    enc.setOutputFile(QString::fromStdString(dir.file("x.mp3")));
    enc.setChannelMode(0);
    // At 96 kbit/s LAME writes stereo at 32 kHz, and the note says so; at 128, as asked.
    ASSERT_TRUE(enc.Encode()) << enc.errorText().toStdString();
    EXPECT_TRUE(enc.noteText().contains("written at 96 kbit/s and 32000 Hz"))
        << enc.noteText().toStdString();
    enc.setBitRate(128000);
    ASSERT_TRUE(enc.Encode()) << enc.errorText().toStdString();
    const auto fromRaw = decode(dir.file("x.mp3"));
    EXPECT_EQ(fromRaw.channels, 2);
    EXPECT_NEAR(seconds(fromRaw), seconds(tone), oneFrame(fromRaw));
    EXPECT_NEAR(fixtures::dominantFrequency(fromRaw, 0), 300, 3);
    EXPECT_NEAR(fixtures::dominantFrequency(fromRaw, 1), 300, 3);
    EXPECT_TRUE(enc.noteText().isEmpty());

    // A WAV cut short (a broken download): what it holds is encoded, and the note says so.
    auto bytes = fixtures::readBytes(wav);
    bytes.resize(bytes.size() / 2);
    fixtures::writeBytes(dir.file("cut.wav"), bytes);
    enc.setInputFile(QString::fromStdString(dir.file("cut.wav")));
    enc.setOutputFile(QString::fromStdString(dir.file("cut.mp3")));
    ASSERT_TRUE(enc.Encode()) << enc.errorText().toStdString();
    EXPECT_TRUE(enc.noteText().contains("is cut short: its header gives 6.00 s more"))
        << enc.noteText().toStdString();
    EXPECT_NEAR(seconds(decode(dir.file("cut.mp3"))), 6.0, 0.1);
}

TEST(Mp3Encoder, StopKeepsTheEarlierFileAndLeavesNothingElse) {
    fixtures::TempDir dir;
    const std::string wav = dir.file("long.wav");
    fixtures::writeWav(wav, fixtures::noise(60));
    const std::string mp3 = dir.file("long.mp3");
    fixtures::writeBytes(mp3, {'o', 'l', 'd'});

    Mp3Encoder enc;
    Reports reports;
    reports.watch(enc);
    QObject::connect(&enc, &Mp3Encoder::EncodeProgress, [&](int p) {
        if (p >= 3) enc.StopEncoding();
    });
    enc.setInputFile(QString::fromStdString(wav));
    enc.setOutputFile(QString::fromStdString(mp3));
    EXPECT_FALSE(enc.Encode());
    EXPECT_EQ(enc.errorText(), "Encoding stopped");
    EXPECT_FALSE(reports.offThread);
    ASSERT_FALSE(reports.percents.empty());
    EXPECT_LT(reports.percents.back(), 100);
    EXPECT_EQ(fixtures::readBytes(mp3), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(filesIn(dir), (std::set<std::string>{"long.wav", "long.mp3"}));

    // Closing the owner while encoding: Encode returns, nothing is written.
    auto* owner = new QObject;
    auto* closing = new Mp3Encoder(owner);
    closing->setInputFile(QString::fromStdString(wav));
    closing->setOutputFile(QString::fromStdString(dir.file("closed.mp3")));
    QTimer::singleShot(20, [owner] { delete owner; });
    EXPECT_FALSE(closing->Encode());
    EXPECT_EQ(filesIn(dir), (std::set<std::string>{"long.wav", "long.mp3"}));
}

TEST(Mp3Encoder, RefusesBadInputAndOutputWithAReasonAndWritesNothing) {
    fixtures::TempDir dir;
    const std::string good = dir.file("good.wav");
    fixtures::writeWav(good, fixtures::sine(440, 1));
    fixtures::writeBytes(dir.file("empty.wav"), {});
    std::vector<uint8_t> corrupt = fixtures::readBytes(good);
    corrupt.resize(30);  // a RIFF header cut short
    fixtures::writeBytes(dir.file("corrupt.wav"), corrupt);
    fixtures::writeBytes(dir.file("text.wav"), {'h', 'e', 'l', 'l', 'o', '\n'});
    fixtures::writeBytes(dir.file("empty.raw"), {1});
    const std::string existing = dir.file("existing.mp3");
    fixtures::writeBytes(existing, {'k', 'e', 'e', 'p'});
    const auto before = filesIn(dir);

    struct Case {
        std::string input, output;
    };
    const Case cases[] = {
        {dir.file("missing.wav"), existing},
        {dir.file("empty.wav"), existing},
        {dir.file("corrupt.wav"), existing},
        {dir.file("text.wav"), existing},
        {dir.file("empty.raw"), existing},
        {good, good},                                // output would replace the input
        {good, dir.file("./good.wav")},              // the same file by another name
        {good, dir.file("no-such-folder/out.mp3")},  // folder missing
        {"", existing},
        {good, ""},
    };
    for (const Case& c : cases) {
        Mp3Encoder enc;
        Reports reports;
        reports.watch(enc);
        enc.setInputFile(QString::fromStdString(c.input));
        enc.setOutputFile(QString::fromStdString(c.output));
        EXPECT_FALSE(enc.Encode()) << c.input << " -> " << c.output;
        EXPECT_FALSE(enc.errorText().isEmpty()) << c.input;
        EXPECT_TRUE(reports.percents.empty() || reports.percents.back() < 100);
        EXPECT_EQ(fixtures::readBytes(existing), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
        EXPECT_EQ(filesIn(dir), before) << c.input << " -> " << c.output;
        EXPECT_EQ(fixtures::readBytes(good).size(), std::filesystem::file_size(good));
    }
    EXPECT_EQ(fixtures::readAudio(good).frames(), 44100);

    // A folder that cannot be written (not meaningful for a user who may write anywhere).
    const auto locked = dir.path() / "locked";
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(
        locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const bool writable = QFile((locked / "probe").string().c_str()).open(QIODevice::WriteOnly);
    if (!writable) {
        Mp3Encoder enc;
        enc.setInputFile(QString::fromStdString(good));
        enc.setOutputFile(QString::fromStdString((locked / "out.mp3").string()));
        EXPECT_FALSE(enc.Encode());
        EXPECT_TRUE(enc.errorText().contains("Cannot write"));
    }
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}
