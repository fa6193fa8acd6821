// Audio the tests make themselves: tones, click tracks, stereo mixes with a centred part, WAV and
// MP3 files (through libsndfile and LAME), and a few measurements.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fixtures {

struct Pcm {
    int rate = 44100;
    int channels = 2;
    std::vector<int16_t> samples;  // interleaved
    int64_t frames() const { return channels ? int64_t(samples.size()) / channels : 0; }
};

// A folder under the system's temporary folder, removed with everything in it at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// A sine of `freq` Hz at `amp` (0..1 of full scale), the same in every channel.
Pcm sine(double freq, double seconds, int rate = 44100, int channels = 2, double amp = 0.5);
// Short decaying clicks at `bpm` beats per minute, starting at `offsetSec`.
Pcm clickTrack(double bpm, double seconds, int rate = 44100, int channels = 2,
               double offsetSec = 0.0);
// A music-like loop: kick on every beat, snare on 2 and 4, hi-hats on eighths, a bass line and
// chords; deterministic for a given seed.
Pcm drumTrack(double bpm, double seconds, unsigned seed = 1, int rate = 44100);
// Stereo mix: `centreHz` sine mixed equally into both channels (the "voice"), `leftHz` only in
// the left channel, `rightHz` only in the right. Each part at `amp`.
Pcm stereoMix(double centreHz, double leftHz, double rightHz, double seconds, int rate = 44100,
              double amp = 0.25);
// Sustained chords in a key, one a second, each with its root an octave below: i-iv-V-i in minor
// (the V major, with the leading tone), I-IV-V-I in major. `tonic` 0 = C .. 11 = B.
Pcm chordProgression(int tonic, bool minor, double seconds, int rate = 44100);
// Deterministic white noise.
Pcm noise(double seconds, int rate = 44100, int channels = 2, double amp = 0.3, unsigned seed = 7);
// A mix with a centre (drums at 120 BPM, chords in A minor) and a quiet wide part (noise in
// opposite phase), 44.1 kHz stereo: what a stretcher must keep the stereo image of.
Pcm wideMix(double seconds);

// Writes a WAV. `sndfileSubtype` is a libsndfile SF_FORMAT_* subtype (default PCM_16).
void writeWav(const std::string& path, const Pcm& pcm, int sndfileSubtype = 0x0002);
// Writes any file libsndfile writes: `sndfileFormat` is its SF_FORMAT_* major format and subtype.
void writeSound(const std::string& path, const Pcm& pcm, int sndfileFormat);
// Reads any file libsndfile reads, as 16-bit.
Pcm readAudio(const std::string& path);
// Encodes an MP3 with LAME. kbps > 0: CBR at that rate; vbrQuality >= 0: VBR at that quality.
// writeTag: write the LAME/Xing header into the first frame.
void writeMp3(const std::string& path, const Pcm& pcm, int kbps = 128, int vbrQuality = -1,
              bool writeTag = true);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Runs `tool args` in a shell and returns what it printed (standard error too), or nothing when
// the tool is not installed.
std::optional<std::string> capture(const std::string& tool, const std::string& args);
// The bytes of a WAV file of 32-bit float samples, made by hand so that it can hold what no
// encoder writes: infinities and NaNs. `magic` RIFF, RF64 or BW64 (the last two with a ds64
// chunk).
std::vector<uint8_t> floatWavBytes(const std::vector<float>& samples, int channels, int rate,
                                   const char* magic = "RIFF");
// Little-endian integers at `at` in `b` (WAV header fields).
inline uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
inline uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}
std::vector<uint8_t> readBytes(const std::string& path);

// Level of a sinusoid at `freq` in one channel (Goertzel), dBFS.
double toneLevelDb(const Pcm& pcm, int channel, double freq);

// Left/right correlation and the side's level against the mid's in dB, over the middle 80 %
// of a stereo `p`.
std::pair<double, double> stereoImage(const Pcm& p);
// RMS level of one channel, dBFS (-200 for digital silence).
double rmsDb(const Pcm& pcm, int channel);
// Dominant frequency of one channel (FFT-free: parabolic-interpolated autocorrelation peak).
double dominantFrequency(const Pcm& pcm, int channel);

}  // namespace fixtures
