// The render pipeline on generated sources through the real engine: what it writes, how long it
// lasts, how it ends, and what it refuses.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/bass.h"
#include "render/render_pipeline.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/held_write.h"

namespace fs = std::filesystem;
using render::RenderPipeline;
using render::RenderSettings;

namespace {

using fixtures::le32;

struct Rendered {
    bool opened = false;
    RenderPipeline::Step last = RenderPipeline::Step::More;
    std::vector<uint32_t> blocks;  // bytes written by each step that wrote
    uint64_t finalPosition = 0, length = 0;
    std::string error;
};

Rendered renderFile(const std::string& in, const std::string& out, const RenderSettings& s,
                    uint32_t limit = files::kMaxWaveDataBytes) {
    Rendered r;
    RenderPipeline p(limit);
    r.opened = p.open(in, out, s);
    r.error = p.error();
    if (!r.opened) return r;
    uint32_t before = 0;
    while ((r.last = p.step()) == RenderPipeline::Step::More) {
        if (p.bytesWritten() != before) r.blocks.push_back(p.bytesWritten() - before);
        before = p.bytesWritten();
        EXPECT_LE(p.position(), p.length());
    }
    if (p.bytesWritten() != before) r.blocks.push_back(p.bytesWritten() - before);
    r.finalPosition = p.position();
    r.length = p.length();
    const bool finished = p.finish();
    if (r.last != RenderPipeline::Step::Stopped) {
        EXPECT_TRUE(finished) << p.error();
    }
    if (r.error.empty()) r.error = p.error();
    p.close();
    return r;
}

// The header's sizes against the file's real length.
void expectConsistentFile(const std::string& path) {
    const auto bytes = fixtures::readBytes(path);
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(le32(bytes, 40), bytes.size() - 44) << path;
    EXPECT_EQ(le32(bytes, 4), bytes.size() - 8) << path;
}

class RenderPipelineTest : public ::testing::Test {
  protected:
    fixtures::TempDir tmp;
    std::string source(const fixtures::Pcm& pcm, const std::string& name = "source.wav") {
        const std::string path = tmp.file(name);
        fixtures::writeWav(path, pcm);
        return path;
    }
};

}  // namespace

TEST_F(RenderPipelineTest, NoChangesGiveTheSourceSampleForSample) {
    const auto music = fixtures::drumTrack(120, 4.3, 5);
    const std::string in = source(music), out = tmp.file("newwave.wav");
    for (bool highQuality : {false, true}) {  // at tempo 0, pitch 0 neither stretcher runs
        RenderSettings s;
        s.highQuality = highQuality;
        const auto r = renderFile(in, out, s);
        ASSERT_TRUE(r.opened) << r.error;
        EXPECT_EQ(r.last, RenderPipeline::Step::Finished);
        const auto got = fixtures::readAudio(out);
        EXPECT_EQ(got.rate, 44100);
        EXPECT_EQ(got.channels, 2);
        EXPECT_TRUE(got.samples == music.samples) << "high quality " << highQuality;
        EXPECT_EQ(r.finalPosition, r.length);
        EXPECT_EQ(r.length, uint64_t(music.samples.size() * 2));
        expectConsistentFile(out);
    }
}

TEST_F(RenderPipelineTest, BlocksAreFullButTheLastAndTheSizesCountTheBytesWritten) {
    // At +25 % the channel's position (source bytes) runs ahead of the bytes written; the header
    // must describe the file, not the position.
    const std::string in = source(fixtures::drumTrack(100, 5.0, 2));
    const std::string out = tmp.file("newwave.wav");
    for (bool remover : {false, true}) {  // also the path that stretches one channel
        SCOPED_TRACE(remover);
        RenderSettings s;
        s.chain.tempoPercent = 25;
        s.chain.remover = remover ? effects::Remover::Full : effects::Remover::Off;
        const auto r = renderFile(in, out, s);
        ASSERT_TRUE(r.opened) << r.error;
        ASSERT_GE(r.blocks.size(), 2u);
        for (size_t i = 0; i + 1 < r.blocks.size(); ++i) EXPECT_EQ(r.blocks[i], 20000u) << i;
        EXPECT_LT(r.blocks.back(), 20000u);
        EXPECT_EQ(r.blocks.back() % 4, 0u);
        uint64_t total = 0;
        for (auto b : r.blocks) total += b;
        EXPECT_EQ(fs::file_size(out), 44 + total);
        expectConsistentFile(out);
        EXPECT_EQ(fixtures::readBytes(out)[22], 2);  // still two channels
        EXPECT_EQ(r.finalPosition, r.length);
        EXPECT_LT(total, r.length);
    }
}

TEST_F(RenderPipelineTest, TempoPitchAndEffectsDoWhatTheySay) {
    const auto mix = fixtures::stereoMix(440, 1000, 2500, 6.0);
    const std::string in = source(mix);
    const std::string out = tmp.file("newwave.wav"), out2 = tmp.file("ahead.wav");

    // +25 %: 1/1.25 of the length.
    RenderSettings s;
    s.chain.tempoPercent = 25;
    ASSERT_TRUE(renderFile(in, out, s).opened);
    EXPECT_NEAR(double(fixtures::readAudio(out).frames()), mix.frames() / 1.25,
                mix.frames() * 0.01);

    // Pitch +12 semitones doubles the centre tone's frequency at the same length.
    s = {};
    s.chain.pitchSemitones = 12;
    ASSERT_TRUE(renderFile(in, out, s).opened);
    auto got = fixtures::readAudio(out);
    EXPECT_NEAR(double(got.frames()), double(mix.frames()), mix.frames() * 0.01);
    EXPECT_GT(fixtures::toneLevelDb(got, 0, 880), fixtures::toneLevelDb(got, 0, 440) + 20);

    // Tempo, pitch and equalizer give the same bytes on every run, however the decoding thread
    // and the stretching thread meet.
    s = {};
    s.chain.tempoPercent = 20;
    s.chain.pitchSemitones = -2;
    s.chain.equalizer = true;
    s.chain.eqSliders = {-10, -7, -3, 0, 1, -7, -7};
    ASSERT_TRUE(renderFile(in, out, s).opened);
    ASSERT_TRUE(renderFile(in, out2, s).opened);
    EXPECT_TRUE(fixtures::readBytes(out) == fixtures::readBytes(out2));

    // The vocal remover: both channels equal in every frame, the same on every run.
    s.chain.remover = effects::Remover::Full;
    ASSERT_TRUE(renderFile(in, out, s).opened);
    ASSERT_TRUE(renderFile(in, out2, s).opened);
    const auto inThread = fixtures::readAudio(out), ahead = fixtures::readAudio(out2);
    ASSERT_EQ(ahead.samples.size(), inThread.samples.size());
    int maxDiff = 0;
    for (size_t i = 0; i < ahead.samples.size(); ++i)
        maxDiff = std::max(maxDiff, std::abs(ahead.samples[i] - inThread.samples[i]));
    EXPECT_LE(maxDiff, 1);
    for (const auto* pcm : {&inThread, &ahead})
        for (int64_t f = 0; f < pcm->frames(); ++f)
            ASSERT_EQ(pcm->samples[size_t(2 * f)], pcm->samples[size_t(2 * f + 1)])
                << "frame " << f;

    s = {};
    s.chain.remover = effects::Remover::Full;
    ASSERT_TRUE(renderFile(in, out, s).opened);
    got = fixtures::readAudio(out);
    EXPECT_LT(fixtures::toneLevelDb(got, 0, 440), fixtures::toneLevelDb(mix, 0, 440) - 40);
    EXPECT_GT(fixtures::toneLevelDb(got, 0, 1000), fixtures::toneLevelDb(mix, 0, 1000) - 7);
}

TEST_F(RenderPipelineTest, MonoAnd48kSourcesKeepTheirFormat) {
    const std::string in = source(fixtures::sine(440, 1.0, 48000, 1), "mono48.wav");
    const std::string out = tmp.file("newwave.wav");
    RenderSettings s;
    s.chain.tempoPercent = -10;
    const auto r = renderFile(in, out, s);
    ASSERT_TRUE(r.opened) << r.error;
    const auto b = fixtures::readBytes(out);
    EXPECT_EQ(b[22], 1);             // channels
    EXPECT_EQ(le32(b, 24), 48000u);  // rate
    EXPECT_EQ(le32(b, 28), 96000u);  // bytes per second
    EXPECT_EQ(b[32], 2);             // block align
    expectConsistentFile(out);
}

TEST_F(RenderPipelineTest, RefusesWhatCannotBeRenderedAndLeavesNoFile) {
    const std::string good = source(fixtures::sine(440, 0.5));
    fixtures::writeBytes(tmp.file("fake.mp3"), std::vector<uint8_t>(5000, 0x55));
    fixtures::writeBytes(tmp.file("empty.wav"), {});
    fixtures::writeWav(tmp.file("silent.wav"), fixtures::Pcm{44100, 2, {}});
    const std::string out = tmp.file("newwave.wav");

    for (const std::string& bad : {tmp.file("missing.wav"), tmp.file("fake.mp3"),
                                   tmp.file("empty.wav"), tmp.file("silent.wav")}) {
        const auto r = renderFile(bad, out, {});
        EXPECT_FALSE(r.opened) << bad;
        EXPECT_NE(r.error.find(bad), std::string::npos) << r.error;
        EXPECT_FALSE(fs::exists(out)) << bad;
    }

    // An output that cannot be created: the message names it and says why.
    const std::string noFolder = tmp.file("no-folder/newwave.wav");
    auto r = renderFile(good, noFolder, {});
    EXPECT_FALSE(r.opened);
    EXPECT_NE(r.error.find(noFolder), std::string::npos) << r.error;

    // The output is the source itself: refused, the source untouched.
    const auto before = fixtures::readBytes(good);
    r = renderFile(good, good, {});
    EXPECT_FALSE(r.opened);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(fixtures::readBytes(good), before);
}

TEST_F(RenderPipelineTest, StopsWithAValidFileWhenWritingCannotGoOn) {
    const std::string in = source(fixtures::drumTrack(120, 3.0));
    const std::string out = tmp.file("newwave.wav");
    // The size limit (a small one standing in for the 32-bit limit).
    const auto r = renderFile(in, out, {}, 100002);
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(r.last, RenderPipeline::Step::Stopped);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(fs::file_size(out), 44u + 100000u);
    expectConsistentFile(out);

    if (fs::exists("/dev/full")) {  // a full disk
        const auto full = renderFile(in, "/dev/full", {});
        ASSERT_TRUE(full.opened);
        EXPECT_EQ(full.last, RenderPipeline::Step::Stopped);
        EXPECT_NE(full.error.find("No space left"), std::string::npos) << full.error;
    }
}

TEST_F(RenderPipelineTest, AnAbandonedRenderLeavesMatchingSizes) {
    // The window closing mid-render: the pipeline goes away after a few blocks.
    const std::string in = source(fixtures::drumTrack(120, 5.0));
    const std::string out = tmp.file("newwave.wav");
    {
        RenderPipeline p;
        RenderSettings s;
        s.chain.tempoPercent = 10;
        ASSERT_TRUE(p.open(in, out, s));
        for (int i = 0; i < 5; ++i) ASSERT_EQ(p.step(), RenderPipeline::Step::More);
        EXPECT_EQ(p.bytesWritten(), 100000u);
    }
    EXPECT_EQ(fs::file_size(out), 100044u);
    expectConsistentFile(out);
}

TEST_F(RenderPipelineTest, APassageRendersOnlyItsPart) {
    const auto music = fixtures::drumTrack(120, 4.0, 6);
    const std::string in = source(music), out = tmp.file("newwave.wav");
    struct Case {
        double from, to, tempo;
        int64_t expectedFrames;
    };
    for (const Case c : {Case{1.0, 2.5, 0, 66150}, Case{3.0, 0, 0, 44100},
                         Case{0.5, 1.5, 25, int64_t(44100 / 1.25)}}) {
        SCOPED_TRACE(testing::Message() << c.from << " .. " << c.to << " at " << c.tempo);
        RenderSettings s;
        s.fromSeconds = c.from;
        s.toSeconds = c.to;
        s.chain.tempoPercent = float(c.tempo);
        const auto r = renderFile(in, out, s);
        ASSERT_TRUE(r.opened) << r.error;
        EXPECT_EQ(r.finalPosition, r.length);
        const auto got = fixtures::readAudio(out);
        EXPECT_NEAR(double(got.frames()), double(c.expectedFrames), 2.0);
        if (c.tempo == 0) {
            EXPECT_TRUE(std::equal(got.samples.begin(), got.samples.end(),
                                   music.samples.begin() + int64_t(c.from * 44100) * 2));
        }
    }
    RenderSettings beyond;
    beyond.fromSeconds = 5;
    const auto r = renderFile(in, out, beyond);
    EXPECT_FALSE(r.opened);
    EXPECT_NE(r.error.find("no audio between"), std::string::npos) << r.error;
}

// A change of the remover reaches the file within a second of where the render was, at a low
// rate too, where a second of the source is few samples (the source is decoded ahead of the
// stretcher).
TEST_F(RenderPipelineTest, ARemoverChangeLandsWithinASecondAtAnyRate) {
    for (const int rate : {44100, 8000}) {
        const std::string in = source(fixtures::stereoMix(440, 220, 880, 20.0, rate)),
                          out = tmp.file("newwave.wav");
        RenderSettings settings;
        settings.chain.remover = effects::Remover::Full;
        RenderPipeline p;
        ASSERT_TRUE(p.open(in, out, settings));
        const uint64_t bytesPerSecond = uint64_t(rate) * 4;
        while (p.position() < 5 * bytesPerSecond) ASSERT_EQ(p.step(), RenderPipeline::Step::More);
        const double switchedAt = double(p.position()) / double(bytesPerSecond);
        settings.chain.remover = effects::Remover::Off;
        p.setChain(settings.chain);
        while (p.step() == RenderPipeline::Step::More) {
        }
        ASSERT_TRUE(p.finish());
        p.close();
        fixtures::Pcm next = fixtures::readAudio(out);  // the second after the next
        const size_t from = size_t((switchedAt + 1.0) * rate) * 2;
        next.samples.assign(next.samples.begin() + long(from),
                            next.samples.begin() + long(from) + 2 * rate);
        EXPECT_GT(fixtures::toneLevelDb(next, 0, 440), -20) << rate << " Hz";  // the voice is back
    }
}

// A window's render: its own thread makes the blocks while the thread that started it changes the
// chain or stops it. The writer waits at its second block until the change is made, so the change
// lands within the writer's buffer (3 s) of the start; a stop leaves the file whole to its last
// block.
TEST_F(RenderPipelineTest, OnItsOwnThreadFollowsTheChainAndStops) {
    const fixtures::Pcm music = fixtures::drumTrack(120, 8.0);
    const std::string in = source(music), out = tmp.file("newwave.wav");
    RenderPipeline p;
    ASSERT_TRUE(p.open(in, out, {}));
    auto held = std::make_unique<fixtures::HeldWrite>(2);
    std::atomic<bool> ended{false};
    render::RenderThread thread;
    thread.start(p, [&ended] { ended = true; });
    held->untilWaiting();
    RenderSettings faster;
    faster.chain.tempoPercent = 60;
    p.setChain(faster.chain);
    held->release();
    EXPECT_EQ(thread.join(), RenderPipeline::Step::Finished);
    EXPECT_TRUE(ended);
    ASSERT_TRUE(p.finish());
    const fixtures::Pcm rendered = fixtures::readAudio(out);
    // The first block the writer took, at the source's tempo: the source itself.
    ASSERT_GT(rendered.samples.size(), 16384u);
    EXPECT_TRUE(std::equal(rendered.samples.begin(), rendered.samples.begin() + 16384,
                           music.samples.begin()));
    EXPECT_LT(double(rendered.frames()) / 44100, 7.0);  // the rest faster (8 s unchanged)
    p.close();

    RenderPipeline q;
    held.reset();
    ASSERT_TRUE(q.open(in, out, {}));
    held = std::make_unique<fixtures::HeldWrite>(2);
    thread.start(q, nullptr);
    held->untilWaiting();
    thread.stop();
    held->release();
    EXPECT_EQ(thread.join(), RenderPipeline::Step::More);
    ASSERT_TRUE(q.finish());
    expectConsistentFile(out);
    EXPECT_LT(fixtures::readAudio(out).frames(), 8 * 44100);
}
