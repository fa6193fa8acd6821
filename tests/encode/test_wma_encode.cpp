// The WMA encoder: the rates it offers really open, files decode to the length written with the
// tags set, files of the rate asked, and failures (bad path, full disk, misuse) are reported.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "encode/basswma.h"
#include "tests/cd/wma_probe.h"
#include "tests/support/audio_fixtures.h"

namespace {

const char* const kTags[8][2] = {
    {"Title", "A Title"},
    {"Author", "Somebody Ünïcode"},
    {"WM/AlbumTitle", "The Album"},
    {"Description", "Described"},
    {"Rating", "5"},
    {"Copyright", "(c) 2024"},
    {"WM/Genre", "Rock"},
    {"WM/Year", "1999"},
};

// Encodes `pcm` in blocks of `block` bytes; true when every call succeeded.
bool encode(const std::string& path, const fixtures::Pcm& pcm, DWORD bitrate, size_t block,
            bool tags) {
    HWMENCODE enc = BASS_WMA_EncodeOpenFile(44100, 2, 0, bitrate, path.c_str());
    if (!enc) return false;
    if (tags)
        for (const auto& t : kTags) BASS_WMA_EncodeSetTag(enc, t[0], t[1], 0);
    auto* bytes = reinterpret_cast<const uint8_t*>(pcm.samples.data());
    size_t total = pcm.samples.size() * 2;
    bool ok = true;
    for (size_t off = 0; off < total && ok; off += block)
        ok = BASS_WMA_EncodeWrite(enc, bytes + off, DWORD(std::min(block, total - off)));
    return BASS_WMA_EncodeClose(enc) && ok;
}

TEST(WmaEncode, OffersOnlyRatesTheEncoderOpensWith) {
    const DWORD* rates = BASS_WMA_EncodeGetRates(44100, 2, 0);
    ASSERT_NE(rates, nullptr);
    std::vector<DWORD> list;
    for (const DWORD* r = rates; *r; ++r) list.push_back(*r);
    ASSERT_FALSE(list.empty());
    EXPECT_TRUE(std::is_sorted(list.rbegin(), list.rend())) << "highest first";
    EXPECT_NE(std::find(list.begin(), list.end(), 128000u), list.end());
    EXPECT_EQ(std::find(list.begin(), list.end(), 16000u), list.end())
        << "rates the encoder refuses are not offered";
    fixtures::TempDir dir;
    for (DWORD r : {list.front(), list.back()}) {
        HWMENCODE enc = BASS_WMA_EncodeOpenFile(44100, 2, 0, r, dir.file("r.wma").c_str());
        EXPECT_NE(enc, 0u) << r;
        BASS_WMA_EncodeClose(enc);
    }
    EXPECT_EQ(BASS_WMA_EncodeGetRates(44100, 2, 1), nullptr);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

TEST(WmaEncode, FileDecodesToTheLengthWrittenWithItsTags) {
    fixtures::TempDir dir;
    auto pcm = fixtures::sine(1000.0, 5.0);
    // 20000-byte blocks, and blocks that split frames (3 bytes is not a whole frame).
    ASSERT_TRUE(encode(dir.file("a.wma"), pcm, 128000, 20000, true));
    ASSERT_TRUE(encode(dir.file("b.wma"), pcm, 128000, 4099, false));
    for (const char* name : {"a.wma", "b.wma"}) {
        auto info = wmaprobe::probe(dir.file(name));
        ASSERT_TRUE(info.opened) << name;
        EXPECT_EQ(info.codec, "wmav2");
        EXPECT_EQ(info.rate, 44100);
        EXPECT_EQ(info.channels, 2);
        EXPECT_NEAR(info.seconds(), 5.0, 0.1) << name;
        // The tone survives: the decoded level is near the source's (-6 dBFS sine).
        double sum = 0;
        for (size_t i = info.left.size() / 4; i < info.left.size() * 3 / 4; ++i)
            sum += double(info.left[i]) * info.left[i];
        double rms = std::sqrt(sum / double(info.left.size() / 2));
        EXPECT_NEAR(rms, 0.5 / std::sqrt(2.0), 0.05) << name;
    }
    auto tagged = wmaprobe::probe(dir.file("a.wma"));
    auto plain = wmaprobe::probe(dir.file("b.wma"));
    for (const auto& t : kTags) {
        EXPECT_EQ(wmaprobe::tag(tagged, t[0]), t[1]) << t[0];
        EXPECT_TRUE(wmaprobe::storesName(dir.file("a.wma"), t[0])) << t[0];
        EXPECT_EQ(wmaprobe::tag(plain, t[0]), "") << t[0];
    }
}

// The file holds what was asked for: the container adds a few percent, not padding.
class WmaFileRate : public ::testing::TestWithParam<DWORD> {};

TEST_P(WmaFileRate, IsWithinTenPercentOfTheRateAsked) {
    fixtures::TempDir dir;
    const double seconds = 20.0;
    ASSERT_TRUE(
        encode(dir.file("r.wma"), fixtures::sine(1000.0, seconds), GetParam(), 20000, false));
    const double rate = double(std::filesystem::file_size(dir.file("r.wma"))) * 8 / seconds;
    EXPECT_NEAR(rate, double(GetParam()), 0.1 * GetParam());
    EXPECT_NEAR(wmaprobe::probe(dir.file("r.wma")).seconds(), seconds, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Rates, WmaFileRate, ::testing::Values(128000u, 192000u, 320000u));

TEST(WmaEncode, FailuresAreReported) {
    fixtures::TempDir dir;
    EXPECT_EQ(BASS_WMA_EncodeOpenFile(44100, 2, 0, 128000, dir.file("no/such/dir/x.wma").c_str()),
              0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CREATE);
    EXPECT_EQ(BASS_WMA_EncodeOpenFile(44100, 2, 0, 1000, dir.file("low.wma").c_str()), 0u)
        << "a rate the encoder refuses";
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_WMA);

    HWMENCODE enc = BASS_WMA_EncodeOpenFile(44100, 2, 0, 128000, dir.file("x.wma").c_str());
    ASSERT_NE(enc, 0u);
    int16_t silence[4096] = {};
    EXPECT_FALSE(BASS_WMA_EncodeWrite(enc, silence, DWORD(-1))) << "a failed read's count";
    EXPECT_TRUE(BASS_WMA_EncodeWrite(enc, silence, sizeof silence));
    EXPECT_FALSE(BASS_WMA_EncodeSetTag(enc, "Title", "late", 0)) << "tags go before the audio";
    EXPECT_TRUE(BASS_WMA_EncodeClose(enc));
    EXPECT_FALSE(BASS_WMA_EncodeClose(enc));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_WMA_EncodeWrite(enc, silence, sizeof silence));

    // A full disk: some write or the close says so, and why.
    EXPECT_FALSE(encode("/dev/full", fixtures::sine(440.0, 3.0), 128000, 20000, true));
    EXPECT_EQ(wmaFileFailure(), std::strerror(ENOSPC));
}

}  // namespace
