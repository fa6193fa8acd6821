// The cue sheet check: one pass over the lines, keeping the tracks and their indexes.
#include "disc/cd_cue.h"
#include "platform/windows1252.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <tuple>
#include <vector>

namespace engine::cd {

namespace {

constexpr int64_t kSectorBytes = 2352;
constexpr int64_t kMaxSectors = INT32_MAX / kSectorBytes;
constexpr int kFramesPerSecond = 75;

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Splits a line into words; a double-quoted word may hold spaces. False on an unclosed quote.
bool splitWords(std::string_view line, std::vector<std::string>* words) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string w;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string_view::npos) return false;
            w = std::string(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') w += line[i++];
        }
        words->push_back(std::move(w));
    }
    return true;
}

// "mm:ss:ff" to sectors; -1 when malformed or out of range.
int64_t parseMsf(const std::string& s) {
    int m = 0, sec = 0, f = 0;
    char tail = 0;
    if (s.size() > 9 || std::sscanf(s.c_str(), "%3d:%2d:%2d%c", &m, &sec, &f, &tail) != 3)
        return -1;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != ':') return -1;
    if (m < 0 || m > 99 || sec < 0 || sec > 59 || f < 0 || f >= kFramesPerSecond) return -1;
    return (int64_t(m) * 60 + sec) * kFramesPerSecond + f;
}

// A two-digit number 0..99 ("01", "1"); -1 otherwise.
int parseNumber(const std::string& s) {
    if (s.empty() || s.size() > 2) return -1;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    return std::stoi(s);
}

struct Track {
    int number = 0;
    int lastIndex = -1;
    int64_t start = -1;  // INDEX 01, counted from the start of the first file
    int64_t index0 = -1;
    int64_t last = -1;       // the latest index position
    int64_t silence = 0;     // PREGAP: sectors of silence before its first INDEX (several files)
    int64_t silenceAt = -1;  // where that silence begins
    int64_t after = 0;       // POSTGAP: sectors of silence after its audio (several files)
    bool pregap = false, postgap = false;
    bool audio = true, pre = false, dcp = false;
    std::string isrc;
};

std::string msf(int64_t sectors) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", int(sectors / (60 * kFramesPerSecond)),
                  int(sectors / kFramesPerSecond % 60), int(sectors % kFramesPerSecond));
    return buf;
}

std::string twoDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", n);
    return buf;
}

bool isUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80             ? 1
                         : (c & 0xe0) == 0xc0 ? 2
                         : (c & 0xf0) == 0xe0 ? 3
                         : (c & 0xf8) == 0xf0 ? 4
                                              : 0;
        if (n == 0 || (n == 2 && c < 0xc2) || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80) return false;
        i += n;
    }
    return true;
}

}  // namespace

namespace {

// The CD-Text fields kept, in the order of the block.
constexpr const char* kTextFields[] = {"TITLE",    "PERFORMER", "SONGWRITER", "COMPOSER",
                                       "ARRANGER", "MESSAGE",   "GENRE"};

}  // namespace

std::string textAsUtf8(std::string_view s) {
    return isUtf8(s) ? std::string(s) : platform::windows1252ToUtf8(s);
}

std::string cdTextBlock(const std::vector<std::tuple<std::string, size_t, std::string>>& texts,
                        size_t tracks) {
    std::string block;
    for (const char* field : kTextFields)
        for (size_t t = 0; t <= tracks; ++t)
            for (const auto& [key, track, value] : texts)
                if (key == field && track == t && !value.empty())
                    block += key + std::to_string(t) + "=" + value + '\0';
    if (!block.empty()) block += '\0';
    return block;
}

namespace {

// The sheet without its UTF-8 byte-order mark (which a UTF-16 sheet gets when it is converted).
std::string_view withoutBom(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return text;
}

// The (name, type in capitals) of each FILE line, read without checking the rest of the sheet.
std::vector<std::pair<std::string, std::string>> fileLines(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> files;
    if (text.size() > kMaxCueBytes) return files;
    text = withoutBom(text);
    SheetLines lines(text, kMaxCueLine);
    for (std::string_view line; lines.next(line);) {
        std::vector<std::string> w;
        if (splitWords(line, &w) && w.size() == 3 && upper(w[0]) == "FILE")
            files.emplace_back(w[1], upper(w[2]));
    }
    return files;
}

}  // namespace

bool cueNeedsOwnReader(std::string_view text,
                       const std::function<bool(const std::string& name)>& isAudioFile) {
    const auto files = fileLines(text);
    if (files.size() > 1 || (files.size() == 1 && files[0].second != "BINARY")) return true;
    if (files.size() == 1 && isAudioFile && isAudioFile(files[0].first)) return true;
    if (text.size() > kMaxCueBytes) return false;
    SheetLines lines(withoutBom(text), kMaxCueLine);
    int expected = 1;  // the track number libcdio reads next
    for (std::string_view line; lines.next(line);) {
        std::vector<std::string> w;
        if (!splitWords(line, &w) || w.empty()) continue;
        const std::string key = upper(w[0]);
        if (key == "POSTGAP" || key == "PREGAP") return true;
        if (key == "TRACK" && w.size() >= 2) {
            const int n = parseNumber(w[1]);
            if (n >= 1 && n != expected) return true;
            ++expected;
        }
    }
    return false;
}

CueDisc cueDisc(std::string_view text) {
    CueDisc disc;
    if (text.size() > kMaxCueBytes) return disc;
    const auto digits = [](const std::string& s, size_t n) {
        return s.size() >= n && std::all_of(s.begin(), s.begin() + long(n), [](char c) {
                   return std::isdigit(static_cast<unsigned char>(c));
               });
    };
    SheetLines lines(withoutBom(text), kMaxCueLine);
    for (std::string_view line; lines.next(line);) {
        std::vector<std::string> w;
        if (!splitWords(line, &w) || w.empty()) continue;
        const std::string key = upper(w[0]);
        if (key == "TRACK") break;  // what follows is the tracks'
        if (w.size() == 3 && key == "REM" && upper(w[1]) == "DATE" && digits(w[2], 4) &&
            disc.year.empty())
            disc.year = w[2].substr(0, 4);
        if (w.size() == 2 && key == "CATALOG" && w[1].size() == 13 && digits(w[1], 13) &&
            disc.catalog.empty())
            disc.catalog = w[1];
    }
    return disc;
}

bool cueIsOneBinary(std::string_view text) {
    const auto files = fileLines(text);
    return files.size() == 1 && files[0].second == "BINARY";
}

std::string cueFileName(std::string_view text) {
    const auto files = fileLines(text);
    return files.empty() ? std::string() : files[0].first;
}

namespace {

// One pass for both kinds of sheet: of one .bin (`several` null: `binBytes` its size) and of
// several files (`fileBytes` gives each one's size, `several` receives the disc they make).
std::string check(std::string_view text, int64_t binBytes, std::string* copy,
                  const std::string& binName, std::string* cdText, const CueFileBytes* fileBytes,
                  CueFilesDisc* several) {
    std::string out;
    auto emit = [&](const std::string& line) {
        out += line;
        out += '\n';
    };
    if (text.size() > kMaxCueBytes) return "the cue sheet is too large";
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const bool utf8 = isUtf8(text);
    // (field, track (0: the disc), value in UTF-8)
    std::vector<std::tuple<std::string, size_t, std::string>> texts;
    std::vector<Track> tracks;
    int files = 0;
    int64_t lastPosition = -1;
    int64_t fileStart = 0;  // sectors of the files before the current one
    int64_t silence = 0;    // sectors of PREGAP and POSTGAP silence so far (several files)
    std::string fileAt;     // "line N: " of the last FILE line
    bool lastDecoded = false;
    SheetLines lines(text, kMaxCueLine);
    for (std::string_view line; lines.next(line);) {
        const std::string& at = lines.at();
        std::vector<std::string> w;
        if (!splitWords(line, &w)) return at + "a quote is not closed";
        if (w.empty()) continue;
        const std::string key = upper(w[0]);
        if (key == "REM") {
            // The disc's genre as ripping programs write it, where CD-Text has none.
            if (w.size() == 3 && upper(w[1]) == "GENRE" && tracks.empty() && !w[2].empty())
                texts.emplace_back("GENRE", 0, utf8 ? w[2] : platform::windows1252ToUtf8(w[2]));
            continue;
        }
        if (key == "FILE") {
            if (w.size() != 3) return at + "FILE needs a name and a type";
            if (w[1].empty()) return at + "FILE has an empty name";
            const std::string type = upper(w[2]);
            const bool decoded = type == "WAVE" || type == "AIFF" || type == "MP3";
            if (type != "BINARY" && !(several && decoded))
                return at + (several ? "only BINARY, WAVE, AIFF and MP3 files are read"
                                     : "only BINARY files are read");
            if (several) {
                // The files follow one another: the next starts after the whole sectors of this.
                if (!several->files.empty()) {
                    const auto& prev = several->files.back();
                    if (prev.bytes % kSectorBytes != 0)
                        return fileAt + "\"" + prev.name + "\" does not hold whole sectors (" +
                               (prev.decoded ? "588 frames" : "2352 bytes") +
                               " each), as a file followed by another must";
                    fileStart += prev.bytes / kSectorBytes;
                }
                fileAt = at;
                const CueFileFacts facts = (*fileBytes)(w[1], decoded);
                if (facts.bytes == -1)
                    return at + "FILE \"" + w[1] + "\" " +
                           (facts.notCdAudio.empty() ? "is missing beside the sheet"
                                                     : facts.notCdAudio);
                if (facts.bytes < 0)
                    return at + "\"" + w[1] + "\" " +
                           (facts.notCdAudio.empty()
                                ? "is no audio the program can decode"
                                : facts.notCdAudio + ", not CD audio (16-bit, 44.1 kHz, stereo)");
                // 99 tracks and a hidden track before the first, in a file of its own.
                if (several->files.size() >= 100) return at + "more than 100 FILEs";
                several->files.push_back({w[1], facts.bytes, int32_t(fileStart), facts.decoded});
                binBytes = facts.bytes;
                lastDecoded = facts.decoded;
                ++files;
                continue;
            }
            if (++files > 1) return at + "more than one FILE (only one .bin is read)";
            if (!tracks.empty()) return at + "FILE after the first TRACK";
            emit("FILE \"" + binName + "\" BINARY");
            continue;
        }
        if (key == "TRACK") {
            if (files == 0) return at + "TRACK before FILE";
            if (w.size() != 3) return at + "TRACK needs a number and a mode";
            const int n = parseNumber(w[1]);
            const int expected = tracks.empty() ? 1 : tracks.back().number + 1;
            if (n < 1) return at + "bad track number \"" + w[1] + "\"";
            if (several) {
                // Read by the program itself: the first track may be numbered above 1 and a
                // number may be left out (a rip's sheet without the data track before the audio,
                // or without a track that failed), as long as the numbers rise.
                if (!tracks.empty() && n <= tracks.back().number)
                    return at + "TRACK " + w[1] + " after TRACK " +
                           std::to_string(tracks.back().number) + " (track numbers rise)";
            } else if (n != expected) {
                return at + "TRACK " + w[1] +
                       (tracks.empty() ? " first"
                                       : " after TRACK " + std::to_string(tracks.back().number)) +
                       " (tracks are numbered from 1, one by one)";
            }
            const std::string mode = upper(w[2]);
            if (mode != "AUDIO" && mode != "MODE1/2352" && mode != "MODE2/2352")
                return at + "track mode " + w[2] + " is not read";
            if (!tracks.empty() && tracks.back().start < 0)
                return at + "track " + std::to_string(tracks.back().number) + " has no INDEX 01";
            tracks.emplace_back();
            tracks.back().number = n;
            tracks.back().audio = mode == "AUDIO";
            emit("  TRACK " + twoDigits(n) + " " + mode);
            continue;
        }
        if (key == "INDEX") {
            if (tracks.empty()) return at + "INDEX before the first TRACK";
            if (w.size() != 3) return at + "INDEX needs a number and a time";
            Track& t = tracks.back();
            const int n = parseNumber(w[1]);
            if (n < 0) return at + "bad index number \"" + w[1] + "\"";
            const int expected = t.lastIndex < 0 ? (n == 0 ? 0 : 1) : t.lastIndex + 1;
            if (n != expected) return at + "INDEX " + w[1] + " out of order";
            const int64_t inFile = parseMsf(w[2]);
            if (inFile < 0) return at + "bad time \"" + w[2] + "\" (mm:ss:ff)";
            int64_t p = fileStart + inFile + silence;
            if (tracks.size() == 1 && n == 1 && t.lastIndex < 0 && p != 0 && t.silence == 0) {
                // Audio before the first track's INDEX 01 with no INDEX 00 to name it is that
                // track's pregap, as players read such a sheet.
                emit("    INDEX 00 " + msf(0));
                t.lastIndex = 0;
                t.last = 0;
                t.index0 = 0;
                lastPosition = 0;
            }
            if (tracks.size() == 1 && n <= 1 && t.lastIndex < 0 && p != 0)
                return at + "the first track must start at 00:00:00";
            if (t.lastIndex < 0 && tracks.size() > 1 && tracks[tracks.size() - 2].after > 0) {
                // The track before's POSTGAP, after its audio.
                const int64_t gap = tracks[tracks.size() - 2].after;
                several->silences.push_back({int32_t(p), int32_t(gap)});
                silence += gap;
                p += gap;
            }
            if (t.lastIndex < 0 && t.silence > 0) {  // the PREGAP's silence comes first
                several->silences.push_back({int32_t(p), int32_t(t.silence)});
                t.silenceAt = p;
                if (n == 1) t.index0 = p;
                silence += t.silence;
                p += t.silence;
            }
            if (p < lastPosition) return at + "INDEX " + w[1] + " goes back in time";
            if (n == 1 && tracks.size() > 1 && p <= tracks[tracks.size() - 2].start)
                return at + "INDEX 01 leaves the track before it empty";
            if (binBytes >= 0 && inFile * kSectorBytes >= binBytes)
                return at + "INDEX " + w[1] + " at " + w[2] + " is past the end of " +
                       (several ? "its file" : "the .bin");
            t.lastIndex = n;
            t.last = p;
            if (n == 1) t.start = p;
            if (n == 0) t.index0 = p;
            lastPosition = p;
            emit("    INDEX " + twoDigits(n) + " " + msf(p));
            continue;
        }
        if (key == "PREGAP" || key == "POSTGAP") {
            if (tracks.empty()) return at + key + " before the first TRACK";
            if (w.size() != 2 || parseMsf(w[1]) < 0) return at + key + " needs a time (mm:ss:ff)";
            Track& t = tracks.back();
            bool& seen = key == "PREGAP" ? t.pregap : t.postgap;
            if (seen) return at + "a second " + key;
            if (key == "PREGAP" && t.lastIndex >= 0) return at + "PREGAP after an INDEX";
            if (key == "PREGAP" && several) t.silence = parseMsf(w[1]);
            if (key == "POSTGAP" && t.start < 0) return at + "POSTGAP before INDEX 01";
            if (key == "POSTGAP" && several) t.after = parseMsf(w[1]);
            seen = true;
            if (key == "PREGAP") emit("    PREGAP " + msf(parseMsf(w[1])));
            continue;
        }
        if (key == "FLAGS") {
            if (tracks.empty()) return at + "FLAGS before the first TRACK";
            std::string flags = "    FLAGS";
            for (size_t i = 1; i < w.size(); ++i) {
                const std::string f = upper(w[i]);
                if (f != "DCP" && f != "4CH" && f != "PRE" && f != "SCMS")
                    return at + "unknown flag " + w[i];
                flags += " " + f;
                tracks.back().pre = tracks.back().pre || f == "PRE";
                tracks.back().dcp = tracks.back().dcp || f == "DCP";
            }
            emit(flags);
            continue;
        }
        if (key == "TITLE" || key == "PERFORMER" || key == "SONGWRITER" || key == "COMPOSER" ||
            key == "ARRANGER" || key == "MESSAGE" || key == "ISRC" || key == "CATALOG" ||
            key == "DISC_ID" || key == "GENRE" || key == "UPC_EAN" || key == "CDTEXTFILE") {
            // A text that holds quotes as they stand (TITLE "Café "Noir""), as some rippers write
            // it: the value is what lies between the line's first quote and its last.
            const size_t open = line.find('"'), close = line.rfind('"');
            const bool text = key != "ISRC" && key != "CATALOG" && key != "UPC_EAN" &&
                              key != "DISC_ID" && key != "CDTEXTFILE";
            if (w.size() != 2 && text && open != std::string_view::npos && close > open &&
                line.find_first_not_of(" \t", close + 1) == std::string_view::npos &&
                line.find_first_not_of(" \t", line.find(w[0]) + w[0].size()) == open)
                w = {w[0], std::string(line.substr(open + 1, close - open - 1))};
            if (w.size() != 2) return at + key + " needs one value (quote it when it has spaces)";
            if (key == "ISRC" && tracks.empty()) return at + "ISRC before the first TRACK";
            if (key == "ISRC") tracks.back().isrc = w[1];
            if (key == "CDTEXTFILE") continue;  // another file: not for libcdio to open
            // libcdio refuses the whole sheet for a catalogue number that is not 13 digits or is
            // not the disc's (inside a TRACK): such a one is left out, as the ISRCs libcdio
            // passes over.
            if (key == "CATALOG" && (!tracks.empty() || w[1].size() != 13 ||
                                     !std::all_of(w[1].begin(), w[1].end(),
                                                  [](unsigned char c) { return std::isdigit(c); })))
                continue;
            for (const char* field : kTextFields)
                if (key == field)
                    texts.emplace_back(key, tracks.size(),
                                       utf8 ? w[1] : platform::windows1252ToUtf8(w[1]));
            // A value read unquoted may hold a quote, never a space: it is passed on as it came.
            // ISRC and CATALOG are codes that libcdio takes unquoted.
            // A value with both a quote and a space goes to libcdio with apostrophes for its quotes
            // (the CD-Text comes from the texts above, as written).
            std::string value = w[1];
            if (value.find('"') != std::string::npos && value.find(' ') != std::string::npos)
                std::replace(value.begin(), value.end(), '"', '\'');
            const bool quote =
                value.find('"') == std::string::npos && key != "ISRC" && key != "CATALOG";
            emit((tracks.empty() ? "" : "    ") + key + " " +
                 (quote ? "\"" + value + "\"" : value));
            continue;
        }
        return at + "unknown command " + w[0];
    }
    if (!lines.error().empty()) return lines.error();
    if (files == 0) return "no FILE in the cue sheet";
    if (tracks.empty()) return "no TRACK in the cue sheet";
    if (tracks.back().start < 0)
        return "track " + std::to_string(tracks.back().number) + " has no INDEX 01";
    if (binBytes < 0) return kMissingBinReason;
    if (several) {
        // A track's length in bytes is an int: the disc ends before 2^31 bytes.
        // An audio file that ends inside its last sector fills it with silence; a .bin that does
        // was cut short.
        const int64_t lastSectors =
            lastDecoded ? (binBytes + kSectorBytes - 1) / kSectorBytes : binBytes / kSectorBytes;
        // The last track's POSTGAP ends the disc.
        if (tracks.back().after > 0) {
            several->silences.push_back(
                {int32_t(std::min(fileStart + lastSectors + silence, kMaxSectors)),
                 int32_t(tracks.back().after)});
            silence += tracks.back().after;
        }
        if (fileStart + lastSectors + silence > kMaxSectors)
            return "the files last longer than a disc image can (3 hours 22 minutes)";
        several->sectors = int32_t(fileStart + lastSectors + silence);
        several->missingBytes =
            lastDecoded ? 0 : uint32_t((kSectorBytes - binBytes % kSectorBytes) % kSectorBytes);
        for (size_t i = 0; i < tracks.size(); ++i) {
            const Track& t = tracks[i];
            int64_t end = i + 1 < tracks.size() ? tracks[i + 1].start : several->sectors;
            // A data track's PREGAP is written as data sectors, no audio of the track before:
            // that track ends where the gap begins (an audio track's gap plays with the track
            // before it, as a drive reads it).
            if (i + 1 < tracks.size() && t.audio && !tracks[i + 1].audio &&
                tracks[i + 1].silenceAt >= 0)
                end = tracks[i + 1].silenceAt;
            // INDEX 00 where it leaves the track before a sector of its own, as a drive reads it.
            const bool gap = t.index0 >= 0 && (i == 0 || t.index0 > tracks[i - 1].start);
            several->tracks.push_back({t.number, int32_t(t.start), int32_t(end - t.start),
                                       int32_t(gap ? t.index0 : t.start), t.audio, t.pre, t.dcp,
                                       t.isrc});
        }
    }
    if (copy) *copy = std::move(out);
    if (cdText) *cdText = cdTextBlock(texts, tracks.size());
    return {};
}

}  // namespace

std::string checkCueSheet(std::string_view text, int64_t binBytes, std::string* copy,
                          const std::string& binName, std::string* cdText) {
    return check(text, binBytes, copy, binName, cdText, nullptr, nullptr);
}

std::string checkCueFiles(std::string_view text, const CueFileBytes& fileBytes, CueFilesDisc* disc,
                          std::string* cdText) {
    *disc = CueFilesDisc{};
    return check(text, 0, nullptr, {}, cdText, &fileBytes, disc);
}

std::string utf8FromUtf16Sheet(std::string text) {
    if (text.size() < 2) return text;
    const auto b0 = static_cast<unsigned char>(text[0]), b1 = static_cast<unsigned char>(text[1]);
    const bool little = b0 == 0xff && b1 == 0xfe, big = b0 == 0xfe && b1 == 0xff;
    if (!little && !big) return text;
    auto unit = [&](size_t i) {
        const auto lo = static_cast<unsigned char>(text[i + (big ? 1 : 0)]);
        const auto hi = static_cast<unsigned char>(text[i + (big ? 0 : 1)]);
        return uint32_t(hi) << 8 | lo;
    };
    // A sheet begins with a command or a blank: a first unit past ASCII is 8-bit text behind a
    // stray mark (an editor's), read as such.
    if (text.size() >= 4 && unit(2) >= 0x80) return text.substr(2);
    std::string out = "\xEF\xBB\xBF";
    for (size_t i = 2; i + 1 < text.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xd800 && c < 0xdc00 && i + 3 < text.size() && unit(i + 2) >= 0xdc00 &&
            unit(i + 2) < 0xe000) {
            c = 0x10000 + ((c - 0xd800) << 10) + (unit(i + 2) - 0xdc00);
            i += 2;
        } else if (c >= 0xd800 && c < 0xe000) {
            c = 0xfffd;  // half a pair
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xc0 | c >> 6);
            out += char(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            out += char(0xe0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3f));
            out += char(0x80 | (c & 0x3f));
        } else {
            out += char(0xf0 | c >> 18);
            out += char(0x80 | (c >> 12 & 0x3f));
            out += char(0x80 | (c >> 6 & 0x3f));
            out += char(0x80 | (c & 0x3f));
        }
    }
    return out;
}

bool SheetLines::next(std::string_view& line) {
    if (!error_.empty() || pos_ >= text_.size()) return false;
    // Lines end in LF, CR LF or, as classic Mac OS wrote them, CR alone.
    size_t end = text_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    pos_ = end + (text_.substr(end, 2) == "\r\n" ? 2 : 1);
    // A DOS end-of-file mark (Ctrl+Z) after the last line ends the sheet.
    if (line == "\x1a" && pos_ >= text_.size()) return false;
    at_ = "line " + std::to_string(++number_) + ": ";
    if (line.size() > maxLine_) {
        error_ = at_ + "the line is too long";
        return false;
    }
    for (char c : line)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
            error_ = at_ + "a control character in the line";
            return false;
        }
    return true;
}

}  // namespace engine::cd
