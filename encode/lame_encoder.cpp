#include "encode/lame_encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>

namespace encode {

LameEncoder::~LameEncoder() {
    if (lame_) lame_close(lame_);
}

namespace {

// Whether a frame at the bit rate LAME writes holds its LAME tag (the frame's side information and
// the tag's 156 bytes). LAME leaves the tag out when it does not, and without it a player cannot
// know the encoder's delay and padding: the MP3 plays longer, its sound late.
bool tagFits(lame_global_struct* lame) {
    const bool mpeg1 = lame_get_version(lame) == 1;
    const bool mono = lame_get_mode(lame) == MONO;
    const int sideInfo = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    const int frameBytes = (mpeg1 ? 144000 : 72000) * lame_get_brate(lame) /
                           std::max(1, lame_get_out_samplerate(lame));
    return frameBytes >= sideInfo + 156;
}

}  // namespace

LameEncoder::Start LameEncoder::open(const Settings& settings) {
    for (const bool average : {false, true}) {
        if (lame_) lame_close(lame_);
        lame_ = lame_init();
        if (!lame_) return Start::CannotStart;
        channels_ = settings.channels;
        lame_set_in_samplerate(lame_, settings.rate);
        lame_set_num_channels(lame_, settings.channels);
        if (settings.mode == Mode::JointStereo) lame_set_mode(lame_, JOINT_STEREO);
        if (settings.mode == Mode::Mono) lame_set_mode(lame_, MONO);
        // A constant bit rate; an average one where a constant rate's frames are too small for
        // the tag (whose frame an average rate may write larger).
        average_ = average;
        lame_set_VBR(lame_, average ? vbr_abr : vbr_off);
        if (average)
            lame_set_VBR_mean_bitrate_kbps(lame_, settings.kbps);
        else
            lame_set_brate(lame_, settings.kbps);
        lame_set_quality(lame_, 3);
        lame_set_write_id3tag_automatic(lame_, 0);
        lame_set_bWriteVbrTag(lame_, 1);
        if (lame_init_params(lame_) < 0) return Start::Refused;
        if (average || tagFits(lame_)) break;
    }
    // LAME resamples a rate it cannot write (1 kHz to 8 kHz): its output per input frame grows.
    upsampling_ = std::max(1.0, double(lame_get_out_samplerate(lame_)) / settings.rate);
    return Start::Ok;
}

int LameEncoder::outRate() const {
    return lame_ ? lame_get_out_samplerate(lame_) : 0;
}

int LameEncoder::kbps() const {
    return !lame_ ? 0 : average_ ? lame_get_VBR_mean_bitrate_kbps(lame_) : lame_get_brate(lame_);
}

std::optional<std::span<const uint8_t>> LameEncoder::encode(const int16_t* pcm, size_t frames) {
    // LAME's worst case for a block: 1.25 bytes per frame it encodes (at its output rate) and 7200
    // more.
    out_.resize(size_t(std::ceil(double(frames) * upsampling_)) * 5 / 4 + 7200);
    // LAME does not change the input; its interface predates const.
    const int bytes =
        channels_ == 2
            ? lame_encode_buffer_interleaved(lame_, const_cast<int16_t*>(pcm), int(frames),
                                             out_.data(), int(out_.size()))
            : lame_encode_buffer(lame_, pcm, nullptr, int(frames), out_.data(), int(out_.size()));
    return made(bytes);
}

std::optional<std::span<const uint8_t>> LameEncoder::flush() {
    if (out_.size() < 7200) out_.resize(7200);
    return made(lame_encode_flush(lame_, out_.data(), int(out_.size())));
}

std::span<const uint8_t> LameEncoder::lameTagFrame() {
    if (out_.size() < 8192) out_.resize(8192);
    const size_t bytes = lame_get_lametag_frame(lame_, out_.data(), out_.size());
    if (bytes > out_.size()) return {};
    return {out_.data(), bytes};
}

std::optional<std::span<const uint8_t>> LameEncoder::made(int bytes) {
    if (bytes < 0) {
        failure_ = bytes;
        return std::nullopt;
    }
    return std::span<const uint8_t>(out_.data(), size_t(bytes));
}

}  // namespace encode
