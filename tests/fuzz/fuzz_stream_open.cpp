// libFuzzer target for the engine's file stream opener: the input is written to a file, opened
// with BASS_StreamCreateFile as a decoding stream, read to the end, sought to its middle, start and
// end and read again. Built four times: fuzz_wav_stream (seeded with WAV files of every sample
// format), fuzz_mp3_stream (seeded with MPEG-1, 2 and 2.5 layer III frames; FUZZ_SEEDS_MP3),
// fuzz_ogg_stream (seeded with Vorbis and Opus files, alone and chained; FUZZ_SEEDS_OGG) and
// fuzz_container_stream (seeded with FLAC, AIFF, CAF and AU files; FUZZ_SEEDS_CONTAINERS).
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if defined(FUZZ_SEEDS_OGG) || defined(FUZZ_SEEDS_CONTAINERS)
#include <sndfile.h>

#include <cmath>
#include <iterator>
#include <tuple>
#endif

#include "engine/bass.h"
#include "tests/fuzz/fuzz_arguments.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put(Bytes& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A WAV file: `format` 1 (PCM) or 3 (float), or 0xFFFE (extensible over PCM).
[[maybe_unused]] Bytes wav(int format, int bits, int channels, int rate, int frames) {
    Bytes b;
    const int block = channels * bits / 8, fmtSize = format == 0xFFFE ? 40 : 16;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put(b, uint32_t(4 + 8 + fmtSize + 8 + frames * block), 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(b, uint32_t(fmtSize), 4);
    put(b, uint32_t(format), 2);
    put(b, uint32_t(channels), 2);
    put(b, uint32_t(rate), 4);
    put(b, uint32_t(rate * block), 4);
    put(b, uint32_t(block), 2);
    put(b, uint32_t(bits), 2);
    if (format == 0xFFFE) {
        put(b, 22, 2);
        put(b, uint32_t(bits), 2);
        put(b, channels == 1 ? 4 : 3, 4);
        const uint8_t pcmGuid[16] = {1,    0, 0, 0,    0, 0,    0x10, 0,
                                     0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        b.insert(b.end(), pcmGuid, pcmGuid + 16);
    }
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put(b, uint32_t(frames * block), 4);
    for (int i = 0; i < frames * block; ++i) b.push_back(uint8_t(i * 37));
    return b;
}

// `count` layer III frames of silence with the header bytes h1..h3 (after 0xFF), `size` bytes each.
[[maybe_unused]] Bytes mp3(uint8_t h1, uint8_t h2, uint8_t h3, int size, int count) {
    Bytes b;
    for (int i = 0; i < count; ++i) {
        b.insert(b.end(), {0xFF, h1, h2, h3});
        b.resize(b.size() + size_t(size - 4), 0);
    }
    return b;
}

#if defined(FUZZ_SEEDS_OGG) || defined(FUZZ_SEEDS_CONTAINERS)
// A short file of a tone written by libsndfile in `format` (container and encoding).
Bytes sndfile(int format, int rate, int channels, const std::filesystem::path& scratch) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(scratch.c_str(), SFM_WRITE, &info);
    if (!f) return {};
    std::vector<float> v(size_t(rate / 5) * size_t(channels));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = 0.5f * float(std::sin(double(i / size_t(channels)) * 0.06));
    sf_writef_float(f, v.data(), sf_count_t(v.size() / size_t(channels)));
    sf_close(f);
    std::ifstream in(scratch, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
#endif

void seedCorpus(const std::filesystem::path& dir) {
    std::error_code ec;
    if (std::filesystem::exists(dir, ec)) return;
    std::filesystem::create_directories(dir, ec);
#if defined(FUZZ_SEEDS_OGG)
    const auto scratch = dir / "scratch.ogg";
    const Bytes vorbis = sndfile(SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, scratch),
                vorbisMono = sndfile(SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 1, scratch),
                opus = sndfile(SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 2, scratch);
    std::filesystem::remove(scratch, ec);
    Bytes chain = vorbis, opusChain = opus;
    chain.insert(chain.end(), vorbisMono.begin(), vorbisMono.end());
    opusChain.insert(opusChain.end(), opus.begin(), opus.end());
    const std::vector<Bytes> seeds = {vorbis, opus, chain, opusChain};
#elif defined(FUZZ_SEEDS_CONTAINERS)
    const auto scratch = dir / "scratch.bin";
    std::vector<Bytes> seeds;
    for (const auto& [format, rate, channels] :
         {std::tuple{SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2},
          std::tuple{SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 1},
          std::tuple{SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, 8000, 6},
          std::tuple{SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, 2},
          std::tuple{SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 48000, 1},
          std::tuple{SF_FORMAT_CAF | SF_FORMAT_PCM_24, 44100, 2},
          std::tuple{SF_FORMAT_AU | SF_FORMAT_ULAW, 8000, 1}})
        seeds.push_back(sndfile(format, rate, channels, scratch));
    std::filesystem::remove(scratch, ec);
#elif defined(FUZZ_SEEDS_MP3)
    std::vector<Bytes> seeds = {mp3(0xFB, 0x90, 0x00, 417, 12), mp3(0xFB, 0x90, 0xC0, 417, 12),
                                mp3(0xF3, 0x80, 0xC0, 208, 20), mp3(0xE3, 0x48, 0x00, 288, 20)};
    Bytes id3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 10};
    id3.resize(20, 0);
    const Bytes body = mp3(0xFB, 0x90, 0x40, 417, 12);
    id3.insert(id3.end(), body.begin(), body.end());
    seeds.push_back(id3);
#else
    const std::vector<Bytes> seeds = {wav(1, 8, 1, 22050, 64),      wav(1, 16, 2, 44100, 64),
                                      wav(1, 24, 2, 48000, 64),     wav(1, 32, 1, 96000, 64),
                                      wav(3, 32, 2, 44100, 64),     wav(3, 64, 1, 8000, 64),
                                      wav(0xFFFE, 16, 2, 44100, 64)};
#endif
    for (size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream f(dir / ("seed" + std::to_string(i)), std::ios::binary);
        f.write(reinterpret_cast<const char*>(seeds[i].data()), std::streamsize(seeds[i].size()));
    }
}

std::string scratchFile() {
    return (std::filesystem::temp_directory_path() /
            ("quorvin-fuzz-stream-" + std::to_string(getpid()) + ".bin"))
        .string();
}

void readToEnd(HSTREAM h) {
    static char buf[8192];
    for (int i = 0; i < 100000 && BASS_ChannelGetData(h, buf, sizeof buf) > 0; ++i) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzing::addDefaultArguments(argc, argv, 16384, seedCorpus);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = scratchFile();
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    const HSTREAM h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (h) {
        readToEnd(h);
        const QWORD length = BASS_ChannelGetLength(h);
        for (QWORD at : {length / 2, QWORD(0), length}) {
            BASS_ChannelSetPosition(h, at);
            readToEnd(h);
        }
        BASS_StreamFree(h);
    }
    return 0;
}
