// MP3 through LAME, the one place the program talks to it: constant bit rate at quality 3, no
// tags of LAME's own (callers write theirs), and at the end a LAME/Xing frame with the exact
// length, which the caller writes over the first frame so that players show the exact length.
// The caller writes the bytes where it wants them. One thread at a time per encoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct lame_global_struct;

namespace encode {

class LameEncoder {
  public:
    enum class Mode { Default, JointStereo, Mono };
    struct Settings {
        int rate = 44100;  // input and output sample rate, Hz
        int channels = 2;  // 1 or 2
        int kbps = 128;    // LAME takes the nearest rate it can write
        Mode mode = Mode::Default;
    };
    enum class Start { Ok, CannotStart, Refused };

    LameEncoder() = default;
    ~LameEncoder();
    LameEncoder(const LameEncoder&) = delete;
    LameEncoder& operator=(const LameEncoder&) = delete;

    // CannotStart when LAME cannot start, Refused when it does not take the settings.
    Start open(const Settings& settings);

    // Encodes `frames` interleaved frames of the opened channel count. The MP3 bytes made (valid
    // until the next call), or nothing when LAME failed (its code in failure()).
    std::optional<std::span<const uint8_t>> encode(const int16_t* pcm, size_t frames);
    // Encodes what LAME still holds; the last MP3 bytes, or nothing when it failed.
    std::optional<std::span<const uint8_t>> flush();
    // After flush(): the LAME/Xing frame for the place of the first frame (empty when none).
    std::span<const uint8_t> lameTagFrame();
    int failure() const { return failure_; }
    // After open(): the rate and bit rate LAME writes (the nearest to those asked that MP3 allows:
    // at most 48 kHz, at most 160 kbit/s under 32 kHz and 64 under 16 kHz; a low bit rate lowers
    // the rate). A bit rate too low for its frames to hold the LAME tag (under 56 kbit/s at
    // 22.05 kHz, say) is written as an average rather than a constant one.
    int outRate() const;
    int kbps() const;

  private:
    std::optional<std::span<const uint8_t>> made(int bytes);

    lame_global_struct* lame_ = nullptr;
    int channels_ = 2;
    bool average_ = false;  // an average bit rate: a constant one's frames would not hold the tag
    double upsampling_ = 1.0;  // LAME's output rate over the input's, at least 1
    int failure_ = 0;
    std::vector<uint8_t> out_;
};

}  // namespace encode
