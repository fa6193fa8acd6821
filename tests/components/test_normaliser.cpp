#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sys/stat.h>

#include "components/normaliser_component.h"
#include "tests/support/audio_fixtures.h"

using fixtures::Pcm;

namespace {

int peakOf(const Pcm& p) {
    int peak = 0;
    for (int16_t s : p.samples) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

struct NormaliseRun {
    std::string error;
    std::vector<double> reports;
    bool allOnOwnerThread = true;
};

NormaliseRun normalize(const std::string& src, const std::string& dst, const std::string& percent) {
    NormaliserComponent c;
    NormaliseRun r;
    QObject::connect(&c, &NormaliserComponent::progress, [&](double p) {
        r.reports.push_back(p);
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            r.allOnOwnerThread = false;
    });
    r.error = c.Normalize(src, dst, percent);
    return r;
}

}  // namespace

TEST(Normaliser, PeakReachesThePercentageAndFormatIsKept) {
    fixtures::TempDir dir;
    struct Case {
        Pcm pcm;
        const char* percent;
        double expected;
    };
    const Case cases[] = {
        {fixtures::sine(440, 1.5, 44100, 2, 0.25), "90", 0.90 * 32767},
        {fixtures::sine(1000, 0.7, 48000, 1, 0.8), "50", 0.50 * 32767},  // attenuates too
        {fixtures::noise(0.5, 22050, 2, 0.1), "100", 32767},
        {fixtures::sine(300, 0.3, 44100, 2, 0.3), " 75.5 % ", 0.755 * 32767},
    };
    for (const auto& c : cases) {
        const std::string src = dir.file("src.wav"), dst = dir.file("dst.wav");
        fixtures::writeWav(src, c.pcm);
        const NormaliseRun r = normalize(src, dst, c.percent);
        ASSERT_EQ(r.error, "") << c.percent;
        const Pcm out = fixtures::readAudio(dst);
        EXPECT_EQ(out.rate, c.pcm.rate);
        EXPECT_EQ(out.channels, c.pcm.channels);
        EXPECT_EQ(out.frames(), c.pcm.frames());
        EXPECT_NEAR(peakOf(out), c.expected, 1.0) << c.percent;
        EXPECT_EQ(std::filesystem::file_size(dst), 44 + c.pcm.samples.size() * 2);
        // The shape is kept: a scaled copy, not a clipped one.
        const double scale = double(peakOf(out)) / peakOf(c.pcm);
        for (size_t i = 0; i < c.pcm.samples.size(); i += 997)
            EXPECT_NEAR(out.samples[i], c.pcm.samples[i] * scale, 1.0);
    }
}

TEST(Normaliser, ProgressRunsToExactlyHundredOnTheOwnerThreadWhileEventsFlow) {
    fixtures::TempDir dir;
    const std::string src = dir.file("src.wav");
    fixtures::writeWav(src, fixtures::sine(220, 20.0, 44100, 2, 0.2));
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);
    const NormaliseRun r = normalize(src, dir.file("out.wav"), "80");
    timer.stop();
    ASSERT_EQ(r.error, "");
    ASSERT_FALSE(r.reports.empty());
    EXPECT_TRUE(r.allOnOwnerThread);
    EXPECT_TRUE(std::is_sorted(r.reports.begin(), r.reports.end()));
    EXPECT_EQ(r.reports.back(), 100.0);
    EXPECT_EQ(std::count(r.reports.begin(), r.reports.end(), 100.0), 1);
    EXPECT_GT(ticks, 0) << "the caller's event loop must keep running";
}

TEST(Normaliser, SilenceStaysSilentAndSourceCanBeItsOwnDestination) {
    fixtures::TempDir dir;
    const std::string silent = dir.file("silent.wav");
    fixtures::writeWav(silent, fixtures::sine(440, 0.5, 44100, 2, 0.0));
    ASSERT_EQ(normalize(silent, dir.file("out.wav"), "90").error, "");
    EXPECT_EQ(peakOf(fixtures::readAudio(dir.file("out.wav"))), 0);

    const std::string same = dir.file("same.wav");
    const Pcm quiet = fixtures::sine(440, 2.0, 44100, 2, 0.1);
    fixtures::writeWav(same, quiet);
    ASSERT_EQ(normalize(same, same, "100").error, "");
    const Pcm out = fixtures::readAudio(same);
    EXPECT_EQ(out.frames(), quiet.frames());
    EXPECT_NEAR(peakOf(out), 32767, 1);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST(Normaliser, RefusesBadInputAndWritesNothing) {
    fixtures::TempDir dir;
    const std::string good = dir.file("good.wav");
    fixtures::writeWav(good, fixtures::sine(440, 0.5));
    const std::string empty = dir.file("empty.wav");
    fixtures::writeBytes(empty, {});
    const std::string text = dir.file("text.wav");
    fixtures::writeBytes(text, {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'});
    const std::string truncated = dir.file("truncated.wav");
    auto bytes = fixtures::readBytes(good);
    bytes.resize(30);
    fixtures::writeBytes(truncated, bytes);
    const std::string mp3 = dir.file("song.wav");  // an MP3 with a .wav name
    fixtures::writeMp3(mp3, fixtures::sine(440, 0.5));

    const std::string existing = dir.file("existing.wav");
    fixtures::writeBytes(existing, {1, 2, 3});
    for (const std::string& src : {empty, text, truncated, mp3, dir.file("missing.wav")}) {
        const NormaliseRun r = normalize(src, existing, "90");
        EXPECT_NE(r.error.find(src), std::string::npos) << r.error;
        EXPECT_TRUE(r.reports.empty());
        EXPECT_EQ(fixtures::readBytes(existing), (std::vector<uint8_t>{1, 2, 3}));
    }
    for (const char* percent : {"abc", "0", "0.5", "101", "", "50x", "nan"}) {
        const NormaliseRun r = normalize(good, existing, percent);
        EXPECT_NE(r.error, "") << percent;
        EXPECT_EQ(fixtures::readBytes(existing), (std::vector<uint8_t>{1, 2, 3}));
    }
    const NormaliseRun r = normalize(good, dir.file("no/such/folder/out.wav"), "90");
    EXPECT_NE(r.error.find("no/such/folder/out.wav"), std::string::npos) << r.error;

    if (geteuid() != 0) {  // root writes anywhere
        const std::string ro = dir.file("ro");
        std::filesystem::create_directory(ro);
        chmod(ro.c_str(), 0555);
        EXPECT_NE(normalize(good, ro + "/out.wav", "90").error, "");
        EXPECT_TRUE(std::filesystem::is_empty(ro));
    }
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}
