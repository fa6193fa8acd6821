#include "tests/support/audio_fixtures.h"

#include <lame/lame.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <utility>

namespace fixtures {

namespace {
constexpr double kPi = 3.14159265358979323846;

int16_t toSample(double v) {
    return int16_t(std::lround(std::clamp(v, -1.0, 32767.0 / 32768.0) * 32768.0));
}
}  // namespace

TempDir::TempDir() {
    static std::mt19937_64 rng{std::random_device{}()};
    for (;;) {
        auto p = std::filesystem::temp_directory_path() /
                 ("quorvin-test-" + std::to_string(rng() % 100000000));
        if (std::filesystem::create_directory(p)) {
            path_ = p;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

Pcm sine(double freq, double seconds, int rate, int channels, double amp) {
    Pcm p{rate, channels, {}};
    const int64_t n = int64_t(std::llround(seconds * rate));
    p.samples.resize(size_t(n * channels));
    for (int64_t i = 0; i < n; ++i) {
        const int16_t s = toSample(amp * std::sin(2 * kPi * freq * double(i) / rate));
        for (int c = 0; c < channels; ++c) p.samples[size_t(i * channels + c)] = s;
    }
    return p;
}

Pcm clickTrack(double bpm, double seconds, int rate, int channels, double offsetSec) {
    Pcm p{rate, channels, {}};
    const int64_t n = int64_t(std::llround(seconds * rate));
    std::vector<double> mono(size_t(n), 0.0);
    const double period = 60.0 / bpm * rate;
    for (double t = offsetSec * rate; t < double(n); t += period) {
        const int64_t start = int64_t(std::llround(t));
        for (int64_t k = 0; k < rate / 50 && start + k < n; ++k)
            mono[size_t(start + k)] +=
                0.8 * std::exp(-double(k) / (rate * 0.003)) * std::sin(2 * kPi * 1000 * k / rate);
    }
    p.samples.resize(size_t(n * channels));
    for (int64_t i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c)
            p.samples[size_t(i * channels + c)] = toSample(mono[size_t(i)]);
    return p;
}

Pcm drumTrack(double bpm, double seconds, unsigned seed, int rate) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    const int64_t n = int64_t(std::llround(seconds * rate));
    std::vector<double> l(size_t(n), 0.0), r(size_t(n), 0.0);
    const double beat = 60.0 / bpm * rate;
    auto add = [&](std::vector<double>& ch, int64_t at, double v) {
        if (at >= 0 && at < n) ch[size_t(at)] += v;
    };
    // Chord roots of a four-bar progression (A minor, F, C, G), in Hz.
    const double roots[4] = {110.0, 87.31, 130.81, 98.0};
    const int64_t beats = int64_t(double(n) / beat) + 1;
    for (int64_t b = 0; b < beats; ++b) {
        const int64_t t0 = int64_t(std::llround(double(b) * beat));
        // Kick: a falling sine with a fast decay.
        for (int64_t k = 0; k < rate / 6; ++k) {
            const double f = 50.0 + 90.0 * std::exp(-double(k) / (rate * 0.03));
            const double v =
                0.6 * std::exp(-double(k) / (rate * 0.05)) * std::sin(2 * kPi * f * k / rate);
            add(l, t0 + k, v);
            add(r, t0 + k, v);
        }
        // Snare on 2 and 4: noise burst.
        if (b % 2 == 1)
            for (int64_t k = 0; k < rate / 8; ++k) {
                const double v = 0.25 * std::exp(-double(k) / (rate * 0.04)) * uni(rng);
                add(l, t0 + k, v * 0.8);
                add(r, t0 + k, v);
            }
        // Hi-hats on eighths, panned right.
        for (int h = 0; h < 2; ++h) {
            const int64_t th = t0 + int64_t(h * beat / 2);
            for (int64_t k = 0; k < rate / 40; ++k)
                add(r, th + k, 0.08 * std::exp(-double(k) / (rate * 0.005)) * uni(rng));
        }
        // Bass on each beat (left) and a sustained chord (both), changing every bar.
        const double root = roots[(b / 4) % 4];
        for (int64_t k = 0; k < int64_t(beat) && t0 + k < n; ++k) {
            const double env = std::exp(-double(k) / (rate * 0.25));
            add(l, t0 + k, 0.18 * env * std::sin(2 * kPi * root * k / rate));
            const double chord = std::sin(2 * kPi * root * 2 * k / rate) +
                                 std::sin(2 * kPi * root * 2.52 * k / rate) +
                                 std::sin(2 * kPi * root * 3 * k / rate);
            add(l, t0 + k, 0.03 * chord);
            add(r, t0 + k, 0.03 * chord);
        }
    }
    Pcm p{rate, 2, {}};
    p.samples.resize(size_t(n * 2));
    for (int64_t i = 0; i < n; ++i) {
        p.samples[size_t(2 * i)] = toSample(l[size_t(i)] * 0.8);
        p.samples[size_t(2 * i + 1)] = toSample(r[size_t(i)] * 0.8);
    }
    return p;
}

Pcm stereoMix(double centreHz, double leftHz, double rightHz, double seconds, int rate,
              double amp) {
    Pcm p{rate, 2, {}};
    const int64_t n = int64_t(std::llround(seconds * rate));
    p.samples.resize(size_t(n * 2));
    for (int64_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        const double c = amp * std::sin(2 * kPi * centreHz * t);
        p.samples[size_t(2 * i)] = toSample(c + amp * std::sin(2 * kPi * leftHz * t));
        p.samples[size_t(2 * i + 1)] = toSample(c + amp * std::sin(2 * kPi * rightHz * t));
    }
    return p;
}

Pcm chordProgression(int tonic, bool minor, double seconds, int rate) {
    // (semitones of the chord's root above the tonic, minor triad)
    const std::pair<int, bool> chords[4] = {{0, minor}, {5, minor}, {7, false}, {0, minor}};
    const double tonicHz = 220.0 * std::pow(2.0, ((tonic - 9 + 12) % 12) / 12.0);  // A3 .. G#4
    Pcm p{rate, 2, {}};
    const int64_t n = int64_t(std::llround(seconds * rate));
    p.samples.resize(size_t(n * 2));
    for (int64_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        const double inChord = std::fmod(t, 1.0);
        const auto [step, chordMinor] = chords[int64_t(t) % 4];
        const double root = tonicHz * std::pow(2.0, step / 12.0);
        const double notes[4] = {root / 2, root, root * std::pow(2.0, (chordMinor ? 3 : 4) / 12.0),
                                 root * std::pow(2.0, 7 / 12.0)};
        // A soft attack and release so that each chord is a lasting tone.
        const double envelope = std::min({1.0, inChord / 0.02, (1.0 - inChord) / 0.05});
        double v = 0;
        for (double hz : notes)
            v += std::sin(2 * kPi * hz * t) + 0.3 * std::sin(2 * kPi * 2 * hz * t);
        p.samples[size_t(2 * i)] = p.samples[size_t(2 * i + 1)] = toSample(0.12 * envelope * v);
    }
    return p;
}

Pcm noise(double seconds, int rate, int channels, double amp, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(-amp, amp);
    Pcm p{rate, channels, {}};
    p.samples.resize(size_t(std::llround(seconds * rate)) * size_t(channels));
    for (auto& s : p.samples) s = toSample(uni(rng));
    return p;
}

void writeWav(const std::string& path, const Pcm& pcm, int subtype) {
    writeSound(path, pcm, SF_FORMAT_WAV | (subtype ? subtype : SF_FORMAT_PCM_16));
}

void writeSound(const std::string& path, const Pcm& pcm, int format) {
    SF_INFO info{};
    info.samplerate = pcm.rate;
    info.channels = pcm.channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) throw std::runtime_error("cannot write " + path);
    const int sub = info.format & SF_FORMAT_SUBMASK;
    if (sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE) {
        // Float files hold full scale as 1.0 (libsndfile would store the integers unscaled).
        std::vector<float> v(pcm.samples.size());
        for (size_t i = 0; i < v.size(); ++i) v[i] = float(pcm.samples[i]) / 32768.0f;
        sf_write_float(f, v.data(), sf_count_t(v.size()));
    } else {
        sf_write_short(f, pcm.samples.data(), sf_count_t(pcm.samples.size()));
    }
    sf_close(f);
}

Pcm readAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) throw std::runtime_error("cannot read " + path);
    Pcm p{info.samplerate, info.channels, {}};
    p.samples.resize(size_t(info.frames) * size_t(info.channels));
    const int sub = info.format & SF_FORMAT_SUBMASK;
    sf_count_t got = 0;
    if (sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE) {  // at unity, 1.0 is full scale
        std::vector<float> v(p.samples.size());
        got = sf_readf_float(f, v.data(), info.frames);
        for (size_t i = 0; i < v.size(); ++i)
            p.samples[i] = int16_t(std::lrintf(std::clamp(v[i] * 32768.0f, -32768.0f, 32767.0f)));
    } else {
        got = sf_readf_short(f, p.samples.data(), info.frames);
    }
    p.samples.resize(size_t(got) * size_t(info.channels));
    sf_close(f);
    return p;
}

void writeMp3(const std::string& path, const Pcm& pcm, int kbps, int vbrQuality, bool writeTag) {
    lame_global_flags* gf = lame_init();
    lame_set_in_samplerate(gf, pcm.rate);
    lame_set_out_samplerate(gf, pcm.rate);
    lame_set_num_channels(gf, pcm.channels);
    lame_set_mode(gf, pcm.channels == 1 ? MONO : JOINT_STEREO);
    if (vbrQuality >= 0) {
        lame_set_VBR(gf, vbr_default);
        lame_set_VBR_q(gf, vbrQuality);
    } else {
        lame_set_VBR(gf, vbr_off);
        lame_set_brate(gf, kbps);
    }
    lame_set_bWriteVbrTag(gf, writeTag ? 1 : 0);
    lame_set_quality(gf, 5);
    if (lame_init_params(gf) < 0) throw std::runtime_error("lame_init_params");
    std::vector<unsigned char> out;
    const int64_t frames = pcm.frames();
    std::vector<unsigned char> buf(size_t(1.25 * 8192 + 7200));
    std::vector<int16_t> left(8192), right(8192);
    for (int64_t i = 0; i < frames; i += 8192) {
        const int n = int(std::min<int64_t>(8192, frames - i));
        for (int k = 0; k < n; ++k) {
            left[size_t(k)] = pcm.samples[size_t((i + k) * pcm.channels)];
            right[size_t(k)] = pcm.samples[size_t((i + k) * pcm.channels + (pcm.channels - 1))];
        }
        const int w =
            lame_encode_buffer(gf, left.data(), right.data(), n, buf.data(), int(buf.size()));
        out.insert(out.end(), buf.begin(), buf.begin() + std::max(0, w));
    }
    const int w = lame_encode_flush(gf, buf.data(), int(buf.size()));
    out.insert(out.end(), buf.begin(), buf.begin() + std::max(0, w));
    if (writeTag) {
        std::vector<unsigned char> tag(8192);
        const size_t t = lame_get_lametag_frame(gf, tag.data(), tag.size());
        if (t > 0 && t <= out.size()) std::copy(tag.begin(), tag.begin() + long(t), out.begin());
    }
    lame_close(gf);
    writeBytes(path, std::vector<uint8_t>(out.begin(), out.end()));
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> floatWavBytes(const std::vector<float>& samples, int channels, int rate,
                                   const char* magic) {
    std::vector<uint8_t> b;
    auto put = [&](const void* p, size_t n) {
        b.insert(b.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
    };
    auto u32 = [&](uint32_t v) { put(&v, 4); };
    auto u16 = [&](uint16_t v) { put(&v, 2); };
    auto u64 = [&](uint64_t v) { put(&v, 8); };
    const uint32_t data = uint32_t(samples.size() * 4);
    const bool wide = std::string(magic) != "RIFF";
    put(magic, 4);
    u32(wide ? 0xFFFFFFFFu : 36 + data);
    put("WAVE", 4);
    if (wide) {
        put("ds64", 4);
        u32(28);
        u64(36 + 36 + data);
        u64(data);
        u64(samples.size() / size_t(channels));
        u32(0);
    }
    put("fmt ", 4);
    u32(16);
    u16(3);  // IEEE float
    u16(uint16_t(channels));
    u32(uint32_t(rate));
    u32(uint32_t(rate * channels * 4));
    u16(uint16_t(channels * 4));
    u16(32);
    put("data", 4);
    u32(wide ? 0xFFFFFFFFu : data);
    put(samples.data(), samples.size() * 4);
    return b;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::optional<std::string> capture(const std::string& tool, const std::string& args) {
    if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0) return std::nullopt;
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen((tool + " " + args + " 2>&1").c_str(), "r"),
                                            pclose);
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p.get())) out += buf;
    return out;
}

Pcm wideMix(double seconds) {
    const Pcm drums = drumTrack(120, seconds);
    const Pcm chords = chordProgression(9, true, seconds);
    const Pcm side = noise(seconds, 44100, 1, 1.0);
    Pcm mix = drums;
    for (int64_t i = 0; i < mix.frames(); ++i) {
        const double c = 0.5 * drums.samples[size_t(i * 2)] + 0.5 * chords.samples[size_t(i * 2)];
        const double s = 0.03 * side.samples[size_t(i)];
        mix.samples[size_t(i * 2)] = int16_t(std::clamp(c + s, -32768.0, 32767.0));
        mix.samples[size_t(i * 2 + 1)] = int16_t(std::clamp(c - s, -32768.0, 32767.0));
    }
    return mix;
}

std::pair<double, double> stereoImage(const Pcm& p) {
    double lr = 0, ll = 0, rr = 0, mid = 0, side = 0;
    for (int64_t i = p.frames() / 10; i < p.frames() * 9 / 10; ++i) {
        const double l = p.samples[size_t(i * 2)], r = p.samples[size_t(i * 2 + 1)];
        lr += l * r, ll += l * l, rr += r * r;
        mid += (l + r) * (l + r), side += (l - r) * (l - r);
    }
    return {lr / std::sqrt(ll * rr), 10 * std::log10(side / mid)};
}

double toneLevelDb(const Pcm& pcm, int channel, double freq) {
    const int64_t n = pcm.frames();
    if (n == 0) return -200;
    const double w = 2 * kPi * freq / pcm.rate;
    double s1 = 0, s2 = 0;
    const double coeff = 2 * std::cos(w);
    for (int64_t i = 0; i < n; ++i) {
        // Hann window keeps leakage from neighbouring tones out.
        const double win = 0.5 - 0.5 * std::cos(2 * kPi * double(i) / double(n - 1));
        const double x = pcm.samples[size_t(i * pcm.channels + channel)] / 32768.0 * win;
        const double s0 = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    const double amp = 2 * std::sqrt(std::max(power, 0.0)) / (double(n) * 0.5);
    return amp > 0 ? 20 * std::log10(amp) : -200;
}

double rmsDb(const Pcm& pcm, int channel) {
    const int64_t n = pcm.frames();
    double sum = 0;
    for (int64_t i = 0; i < n; ++i) {
        const double x = pcm.samples[size_t(i * pcm.channels + channel)] / 32768.0;
        sum += x * x;
    }
    if (n == 0 || sum == 0) return -200;
    return 10 * std::log10(sum / double(n));
}

double dominantFrequency(const Pcm& pcm, int channel) {
    // Count zero crossings with linear interpolation over the middle of the signal.
    const int64_t n = pcm.frames();
    double first = -1, last = -1;
    int crossings = 0;
    for (int64_t i = n / 10; i + 1 < n - n / 10; ++i) {
        const double a = pcm.samples[size_t(i * pcm.channels + channel)];
        const double b = pcm.samples[size_t((i + 1) * pcm.channels + channel)];
        if (a < 0 && b >= 0) {
            const double t = double(i) + (-a) / (b - a);
            if (first < 0)
                first = t;
            else
                ++crossings;
            last = t;
        }
    }
    if (crossings == 0) return 0;
    return crossings * pcm.rate / (last - first);
}

}  // namespace fixtures
