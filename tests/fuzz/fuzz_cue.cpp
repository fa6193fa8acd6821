// libFuzzer target for the cue sheet check: any bytes as a sheet, with .bin sizes taken from the
// input's last bytes. The check must never read outside the sheet, and a sheet it accepts must
// hold its promises: tracks numbered from 1 one by one, each with an INDEX 01 inside the .bin,
// no line longer than the limit; the copy it writes for libcdio holds them too. The same bytes as
// a sheet of several files (each as large as that .bin): the disc laid out holds its tracks in
// order, their numbers rising, each inside the disc and not empty, its gap before it.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "disc/cd_cue.h"
#include "tests/fuzz/fuzz_arguments.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// The promises of an accepted sheet, checked with a reader of its own: tracks numbered 1, 2,
// 3..., or with `rising` numbers that only rise (a sheet the program reads itself).
void checkAccepted(std::string_view text, int64_t binBytes, bool rising = false) {
    check(binBytes >= 0 && text.size() <= engine::cd::kMaxCueBytes);
    int expectTrack = 1;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        check(line.size() <= engine::cd::kMaxCueLine + 1);
        size_t b = line.find_first_not_of(" \t");
        if (b != std::string_view::npos) line.remove_prefix(b);
        std::string head(line.substr(0, 6));
        for (char& c : head) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (head == "TRACK " || head == "TRACK\t") {
            std::string_view rest = line.substr(6);
            rest.remove_prefix(std::min(rest.find_first_not_of(" \t\""), rest.size()));
            int n = std::atoi(std::string(rest.substr(0, 2)).c_str());
            check(rising ? n >= expectTrack : n == expectTrack);
            expectTrack = n + 1;
        }
        pos = end + 1;
    }
    check(expectTrack > 1);
}

}  // namespace

// Without a corpus on the command line, one beside the target seeded with well-formed sheets.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzing::addDefaultArguments(argc, argv, 0, [](const std::filesystem::path& dir) {
        std::error_code ec;
        if (std::filesystem::exists(dir, ec)) return;
        std::filesystem::create_directories(dir, ec);
        const std::string sheets[] = {
            "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
            "  TRACK 02 AUDIO\n    INDEX 00 00:01:00\n    INDEX 01 00:01:10\n",
            "REM x\r\nTITLE \"t\"\r\nFILE \"a b.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n"
            "    PREGAP 00:02:00\r\n    INDEX 01 00:00:00\r\n  TRACK 02 MODE1/2352\r\n"
            "    FLAGS DCP\r\n    INDEX 01 00:03:00\r\n    POSTGAP 00:00:10\r\n",
            "\xEF\xBB\xBFperformer \"p\"\nfile \"IMG.BIN\" binary\n track 1 audio\n"
            "  title a\"b\n  index 1 0:0:0\n track 2 audio\n  isrc ABCDE1234567\n"
            "  index 00 00:01:00\n  index 01 00:02:00\n  postgap 00:02:00\n",
            "FILE \"a (Track 01).bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
            "  TRACK 02 AUDIO\n    INDEX 00 00:03:00\nFILE \"a (Track 02).bin\" BINARY\n"
            "    INDEX 01 00:00:00\nFILE \"a (Track 03).bin\" BINARY\n  TRACK 03 AUDIO\n"
            "    INDEX 00 00:00:00\n    INDEX 01 00:00:20\n",
        };
        int n = 0;
        for (const std::string& sheet : sheets) {
            std::ofstream f(dir / ("seed" + std::to_string(n++)), std::ios::binary);
            f << sheet << std::string("\x10\x27\x00\x00", 4);  // a .bin of 640000 bytes
        }
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int64_t binBytes = -1;
    if (size >= 4) {
        uint32_t v;
        std::memcpy(&v, data + size - 4, 4);
        binBytes = v == 0xffffffffu ? -1 : int64_t(v) * 64;
    }
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string copy;
    const std::string why = engine::cd::checkCueSheet(text, binBytes, &copy, "a.bin");
    if (why.empty()) {
        checkAccepted(text, binBytes);
        // The copy handed to libcdio is a sheet of its own kind: accepted, and copied unchanged.
        std::string again;
        check(engine::cd::checkCueSheet(copy, binBytes, &again, "a.bin").empty() && again == copy);
        checkAccepted(copy, binBytes);
    }
    engine::cd::CueFilesDisc disc;
    if (engine::cd::checkCueFiles(
            text,
            [&](const std::string&, bool decoded) {
                return engine::cd::CueFileFacts{binBytes, decoded, {}};
            },
            &disc)
            .empty()) {
        checkAccepted(text, binBytes, true);
        int32_t end = 0;
        for (size_t i = 0; i < disc.tracks.size(); ++i) {
            const auto& t = disc.tracks[i];
            check(t.number >= 1 && (i == 0 || t.number > disc.tracks[i - 1].number) &&
                  t.lsn >= end && t.sectors > 0 && t.lsn + t.sectors <= disc.sectors &&
                  t.pregap <= t.lsn && (i == 0 || t.pregap > disc.tracks[i - 1].lsn));
            end = t.lsn + t.sectors;
        }
        check(end == disc.sectors && !disc.files.empty() && disc.files[0].first == 0);
    }
    return 0;
}
