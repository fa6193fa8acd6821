// libFuzzer target for the disc image checks as libcdio meets them: the first byte picks the kind
// (cue sheet, cdrdao .toc, Nero .nrg), the rest is the image. An image the check accepts is
// written to a folder, with the audio it names, and opened, listed and read through libcdio the
// way the drive does: whatever the check lets through must never make libcdio abort, loop or
// read outside the image.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include "disc/cd_cue.h"
#include "disc/cd_nrg.h"
#include "disc/cd_toc.h"
#include "tests/fuzz/fuzz_arguments.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kSector = 2352;
constexpr int64_t kAudioSectors = 300;

fs::path folder() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("fuzz_cd_images." + std::to_string(getpid()));
        fs::create_directories(d);
        std::ofstream(d / "data.bin", std::ios::binary)
            << std::string(size_t(kAudioSectors * kSector), '\x11');
        return d;
    }();
    return dir;
}

void write(const fs::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

// What libcdio made of an accepted image, as branches of our own: libFuzzer sees no coverage
// inside libcdio, so this keeps inputs that lead it to different discs.
volatile int gOutcome = 0;
void note(bool opened, int tracks, int audio) {
    if (!opened) gOutcome = gOutcome + 1;
    if (tracks > 1) gOutcome = gOutcome + 1;
    if (tracks > 2) gOutcome = gOutcome + 1;
    if (tracks > 9) gOutcome = gOutcome + 1;
    if (audio > 0) gOutcome = gOutcome + 1;
    if (audio > 1) gOutcome = gOutcome + 1;
    if (audio < tracks) gOutcome = gOutcome + 1;
}

// Opens `path` as libcdio's drive would and reads the first and last sector of every track.
void readThrough(const fs::path& path, driver_id_t driver) {
    CdIo_t* io = cdio_open(path.c_str(), driver);
    if (!io) return note(false, 0, 0);
    int audio = 0;
    const track_t first = cdio_get_first_track_num(io), count = cdio_get_num_tracks(io);
    const lsn_t leadout = cdio_get_track_lsn(io, CDIO_CDROM_LEADOUT_TRACK);
    std::vector<uint8_t> sector(kSector);
    if (first != CDIO_INVALID_TRACK && count != CDIO_INVALID_TRACK && count <= 99) {
        for (int t = first; t < first + count; ++t) {
            const lsn_t start = cdio_get_track_lsn(io, track_t(t));
            const lsn_t next =
                t + 1 < first + count ? cdio_get_track_lsn(io, track_t(t + 1)) : leadout;
            if (start < 0 || next <= start || next > leadout) continue;
            if (cdio_get_track_format(io, track_t(t)) != TRACK_FORMAT_AUDIO) continue;
            cdio_read_audio_sectors(io, sector.data(), start, 1);
            cdio_read_audio_sectors(io, sector.data(), next - 1, 1);
            ++audio;
        }
        note(true, count, audio);
    }
    cdio_get_cdtext(io);
    cdio_destroy(io);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    cdio_loglevel_default = CDIO_LOG_ASSERT;
    fuzzing::addDefaultArguments(argc, argv, 8192, [](const fs::path& dir) {
        std::error_code ec;
        if (fs::exists(dir, ec)) return;
        fs::create_directories(dir, ec);
        const std::string seeds[] = {
            std::string("c") + "\xEF\xBB\xBF" +
                "file \"x.bin\" binary\n track 01 audio\n"
                "  index 01 00:00:00\n track 02 audio\n  index 01 00:02:00\n"
                "  postgap 00:00:10\n",
            std::string("t") +
                "CD_DA\nCD_TEXT {\n LANGUAGE_MAP { 0 : EN }\n LANGUAGE 0 {\n"
                "  TITLE \"a\"\n }\n}\nTRACK AUDIO\nFILE \"data.bin\" 0 00:01:00\n"
                "TRACK AUDIO\nISRC \"ABCDE1234567\"\nFILE \"data.bin\" 00:01:00\n"
                "START 00:00:10\n",
        };
        int n = 0;
        for (const std::string& s : seeds) std::ofstream(dir / ("seed" + std::to_string(n++))) << s;
        // A Nero disc-at-once footer over 300 sectors: CUEX with two tracks, DAOX, END!, NER5.
        std::string nrg = "n";
        auto be32 = [&](uint32_t v) {
            for (int s = 24; s >= 0; s -= 8) nrg += char(v >> s);
        };
        nrg += "CUEX";
        be32(48);
        const int32_t lsns[] = {-150, -150, 0, 75, 75, 150};
        const uint8_t tracks[] = {0, 1, 1, 2, 2, 0xaa};
        for (int i = 0; i < 6; ++i) {
            nrg += std::string{'\x41', char(tracks[i]), '\x01', '\0'};
            be32(uint32_t(lsns[i]));
        }
        nrg += "DAOX";
        be32(22 + 2 * 42);
        std::string dao(22 + 2 * 42, '\0');
        dao[36] = dao[38] = 7;  // audio, where libcdio's releases look
        nrg += dao;
        nrg += "END!";
        be32(0);
        std::ofstream(dir / "seed_nrg", std::ios::binary) << nrg;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char kind = char(data[0]);
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    const fs::path dir = folder();
    if (kind == 'c') {
        std::string copy;
        if (!engine::cd::checkCueSheet(body, kAudioSectors * kSector, &copy, "data.bin").empty())
            return 0;
        write(dir / "data.cue", copy);
        readThrough(dir / "data.cue", DRIVER_BINCUE);
    } else if (kind == 't') {
        engine::cd::TocSheet sheet;
        auto bytes = [](const std::string& name) -> int64_t {
            return name == "data.bin" ? kAudioSectors * kSector : -1;
        };
        if (!engine::cd::checkTocFile(body, bytes, dir.string() + "/", &sheet).empty()) return 0;
        write(dir / "image.toc", sheet.text);
        readThrough(dir / "image.toc", DRIVER_CDRDAO);
    } else if (kind == 'n') {
        // The footer follows the audio (150 sectors of lead-in, then 300 sectors) and ends in
        // the NER5 signature with its offset.
        std::string image(size_t((150 + kAudioSectors) * kSector), '\x22');
        const uint64_t footer = image.size();
        image += body;
        image += "NER5";
        for (int s = 56; s >= 0; s -= 8) image += char(footer >> s);
        const std::string_view tail = std::string_view(image).substr(
            image.size() - std::min(image.size(), engine::cd::kNrgTailBytes));
        if (!engine::cd::checkNrgImage(tail, int64_t(image.size())).empty()) return 0;
        write(dir / "image.nrg", image);
        readThrough(dir / "image.nrg", DRIVER_NRG);
    }
    return 0;
}
