// The .toc check: one pass over the lines, keeping the tracks, writing the copy as it goes.
#include "disc/cd_toc.h"

#include <cctype>
#include <cstdio>
#include <tuple>
#include <vector>

#include "disc/cd_cue.h"

namespace engine::cd {

namespace {

constexpr int64_t kSectorBytes = 2352;
constexpr int kMaxTracks = 99;
constexpr size_t kMaxCopyLine = 500;  // libcdio reads lines of up to 511 bytes

struct Word {
    std::string text;
    bool quoted = false;
};

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Splits a line into words, dropping a "//" comment outside quotes. A quoted word's escapes, as
// cdrdao writes them, are read: \" a quote, \\ a backslash, \ooo the byte of three octal digits.
// False on an unclosed quote.
bool splitWords(std::string_view line, std::vector<Word>* words) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size() || line.substr(i, 2) == "//") break;
        Word w;
        if (line[i] == '"') {
            const auto octal = [&](size_t at) {
                return at < line.size() && line[at] >= '0' && line[at] <= '7';
            };
            for (++i;; ++i) {
                if (i >= line.size()) return false;
                if (line[i] == '"') break;
                if (line[i] == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    w.text += line[++i];
                } else if (line[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
                    w.text += char((line[i + 1] - '0') * 64 + (line[i + 2] - '0') * 8 +
                                   (line[i + 3] - '0'));
                    i += 3;
                } else {
                    w.text += line[i];
                }
            }
            w.quoted = true;
            ++i;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '"' &&
                   line.substr(i, 2) != "//")
                w.text += line[i++];
        }
        words->push_back(std::move(w));
    }
    return true;
}

// "mm:ss:ff" (or "0") to sectors; -1 when malformed.
int64_t parseMsf(const std::string& s) {
    if (s == "0") return 0;
    int m = 0, sec = 0, f = 0;
    char tail = 0;
    if (s.size() > 9 || std::sscanf(s.c_str(), "%3d:%2d:%2d%c", &m, &sec, &f, &tail) != 3)
        return -1;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != ':') return -1;
    if (m < 0 || m > 99 || sec < 0 || sec > 59 || f < 0 || f >= 75) return -1;
    return (int64_t(m) * 60 + sec) * 75 + f;
}

bool allOf(const std::string& s, size_t n, int (*is)(int)) {
    if (s.size() != n) return false;
    for (char c : s)
        if (!is(static_cast<unsigned char>(c))) return false;
    return true;
}

bool isCdTextKey(const std::string& k) {
    for (const char* known : {"TITLE", "PERFORMER", "SONGWRITER", "COMPOSER", "ARRANGER", "MESSAGE",
                              "DISC_ID", "GENRE", "UPC_EAN", "ISRC"})
        if (k == known) return true;
    return false;
}

struct Track {
    bool file = false;
    int64_t start = 0;    // in the file
    int64_t length = -1;  // -1: not given (or 0: to the file's end)
    int64_t index1 = -1;  // START: index 1 after the track's start
    size_t fileLine = 0;  // its FILE line in the copy
    std::string startText;
};

// Follows the braces of a binary CD-Text value ("{ 0, 1, 2 }", over one line or more), whose
// words may only be numbers, commas and braces. Empty, or what is wrong.
std::string skipBinary(const std::vector<Word>& words, int* open) {
    for (const Word& x : words) {
        for (char c : x.text) {
            if (x.quoted ||
                (!std::isdigit(static_cast<unsigned char>(c)) && c != ',' && c != '{' && c != '}'))
                return "a binary CD-Text value holds \"" + x.text + "\"";
            if (c == '{') ++*open;
            if (c == '}' && --*open < 0) return "a } without its {";
        }
        if (*open == 0 && &x != &words.back()) return "words after a binary CD-Text value";
    }
    return {};
}

std::string msf(int64_t sectors) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", int(sectors / 4500), int(sectors / 75 % 60),
                  int(sectors % 75));
    return buf;
}

}  // namespace

std::string checkTocFile(std::string_view text,
                         const std::function<int64_t(const std::string&)>& fileBytes,
                         const std::string& folder, TocSheet* sheet) {
    if (text.size() > kMaxTocBytes) return "the .toc file is too large";
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    for (char c : folder)
        if (c == '"' || static_cast<unsigned char>(c) < 0x20)
            return "the image's folder has a name the reader cannot be given";
    if (folder.find("//") != std::string::npos || folder.empty() || folder.back() != '/')
        return "the image's folder has a name the reader cannot be given";
    std::vector<std::string> out;
    std::vector<Track> tracks;
    std::string dataFile;
    int64_t dataBytes = -1;
    int depth = 0;       // 1 inside CD_TEXT, 2 inside its LANGUAGE
    int skipping = 0;    // braces open in a binary CD-Text value
    bool inMap = false;  // inside a LANGUAGE_MAP written over several lines
    // The texts of the first language (block 0), for the CD-Text block read by ourselves:
    // libcdio would show cdrdao's escapes as written and read UTF-8 as Latin-1.
    std::vector<std::tuple<std::string, size_t, std::string>> texts;
    bool firstLanguage = false;
    SheetLines lines(text, kMaxTocLine);
    for (std::string_view line; lines.next(line);) {
        const std::string& at = lines.at();
        std::vector<Word> w;
        if (!splitWords(line, &w)) return at + "a quote is not closed";
        if (w.empty()) continue;
        const std::string key = w[0].quoted ? std::string() : upper(w[0].text);
        auto emit = [&](const std::string& l) { out.push_back(l); };

        if (skipping > 0) {
            if (const std::string bad = skipBinary(w, &skipping); !bad.empty()) return at + bad;
            continue;
        }
        if (inMap) {
            // "0 : EN" or "0 : 9" a line, up to the closing brace.
            if (w.back().text == "}") {
                inMap = false;
                emit("LANGUAGE_MAP");
            } else if (w.size() != 3 || !allOf(w[0].text, 1, isdigit) || w[1].text != ":") {
                return at + "LANGUAGE_MAP pairs a number with a language: 0 : EN";
            }
            continue;
        }
        if (depth > 0) {
            if (key == "}" && w.size() == 1) {
                --depth;
                emit("}");
            } else if (depth == 1 && key == "LANGUAGE_MAP") {
                if (w.size() < 2 || w[1].text != "{")
                    return at + "LANGUAGE_MAP needs its pairs in braces";
                if (w.size() >= 3 && w.back().text == "}")
                    emit("LANGUAGE_MAP");
                else if (w.size() == 2)
                    inMap = true;  // its pairs on the lines that follow
                else
                    return at + "LANGUAGE_MAP needs its pairs in braces";
            } else if (depth == 1 && key == "LANGUAGE") {
                if (w.size() != 3 || !allOf(w[1].text, 1, isdigit) || w[2].text != "{")
                    return at + "LANGUAGE needs a number and {";
                ++depth;
                firstLanguage = w[1].text == "0";
                emit("LANGUAGE " + w[1].text + " {");
            } else if (depth == 2 && !key.empty() && w.size() >= 2 && w[1].text == "{" &&
                       !w[1].quoted) {
                // A binary value (SIZE_INFO, TOC_INFO1, ...): not needed, left out of the copy.
                std::vector<Word> rest(w.begin() + 1, w.end());
                if (const std::string bad = skipBinary(rest, &skipping); !bad.empty())
                    return at + bad;
            } else if (depth == 2 && isCdTextKey(key)) {
                if (w.size() != 2 || !w[1].quoted) return at + key + " needs one quoted value";
                if (firstLanguage && !w[1].text.empty())
                    texts.emplace_back(key, tracks.size(), textAsUtf8(w[1].text));
                // The copy keeps plain ASCII: the text that counts is the one read here.
                std::string plain;
                for (const char c : w[1].text)
                    plain += c == '"' ? '\'' : c == '\\' ? '/' : (c & 0x80) ? '?' : c;
                if (!plain.empty()) emit(key + " \"" + plain + "\"");
            } else {
                return at + "unknown word " + w[0].text + " in CD_TEXT";
            }
            continue;
        }
        if (key == "CD_TEXT") {
            if (w.size() != 2 || w[1].text != "{") return at + "CD_TEXT needs {";
            depth = 1;
            emit("CD_TEXT {");
            continue;
        }
        if (key == "CD_DA" || key == "CD_ROM" || key == "CD_ROM_XA" || key == "CATALOG") {
            if (!tracks.empty()) return at + key + " after the first TRACK";
            if (key == "CATALOG") {
                if (w.size() != 2 || !allOf(w[1].text, 13, isdigit))
                    return at + "CATALOG needs 13 digits";
                emit("CATALOG \"" + w[1].text + "\"");
            } else {
                if (w.size() != 1) return at + key + " takes nothing after it";
                emit(key);
            }
            continue;
        }
        if (key == "TRACK") {
            if (tracks.size() >= size_t(kMaxTracks)) return at + "more than 99 tracks";
            if (!tracks.empty() && !tracks.back().file)
                return at + "track " + std::to_string(tracks.size()) + " has no FILE";
            if (w.size() < 2 || w.size() > 3) return at + "TRACK needs a mode";
            const std::string mode = upper(w[1].text);
            if (mode != "AUDIO" && mode != "MODE1_RAW" && mode != "MODE2_RAW")
                return at + "track mode " + w[1].text + " is not read";
            std::string line = "TRACK " + mode;
            if (w.size() == 3) {
                const std::string sub = upper(w[2].text);
                if (sub != "RW" && sub != "RW_RAW") return at + "unknown sub-channel " + w[2].text;
                line += " " + sub;
            }
            tracks.emplace_back();
            emit(line);
            continue;
        }
        if (key == "DATAFILE" || key == "FIFO")
            return at + key + " is not read (only FILE or AUDIOFILE)";
        if (key == "SILENCE" || key == "ZERO" || key == "PREGAP")
            return at + key + ": silence that is not in the file is not read";
        const bool trackWord = key == "NO" || key == "COPY" || key == "PRE_EMPHASIS" ||
                               key == "TWO_CHANNEL_AUDIO" || key == "FOUR_CHANNEL_AUDIO" ||
                               key == "ISRC" || key == "FILE" || key == "AUDIOFILE" ||
                               key == "START" || key == "INDEX";
        if (!trackWord) return at + "unknown word " + w[0].text;
        if (tracks.empty()) return at + key + " before the first TRACK";
        Track& t = tracks.back();
        if (key == "NO") {
            const std::string what = w.size() == 2 ? upper(w[1].text) : "";
            if (what != "COPY" && what != "PRE_EMPHASIS")
                return at + "NO needs COPY or PRE_EMPHASIS";
            emit("NO " + what);
        } else if (key == "COPY" || key == "PRE_EMPHASIS" || key == "TWO_CHANNEL_AUDIO" ||
                   key == "FOUR_CHANNEL_AUDIO") {
            if (w.size() != 1) return at + key + " takes nothing after it";
            emit(key);
        } else if (key == "ISRC") {
            if (w.size() != 2 || !allOf(w[1].text, 12, isalnum))
                return at + "ISRC needs 12 letters and digits";
            emit("ISRC \"" + w[1].text + "\"");
        } else if (key == "FILE" || key == "AUDIOFILE") {
            if (t.file) return at + "a second FILE in the track";
            if (w.size() < 3 || w.size() > 4) return at + key + " needs a name and a start";
            const std::string& name = w[1].text;
            if (name.empty() || name == "." || name == ".." ||
                name.find_first_of("/\\\"") != std::string::npos)
                return at + key + " \"" + name + "\" is not a plain name in the image's folder";
            if (name.size() >= 4 && upper(name.substr(name.size() - 4)) == ".WAV")
                return at + key + " \"" + name +
                       "\" is a WAVE file, which is not read from a .toc; a cue sheet reads it "
                       "(FILE \"" +
                       name + "\" WAVE)";
            if (dataFile.empty()) {
                dataBytes = fileBytes(name);
                if (dataBytes < 0)
                    return at + key + " \"" + name + "\" is not a file in the image's folder";
                dataFile = name;
            } else if (name != dataFile) {
                return at + "every track must read the same file (\"" + dataFile + "\", not \"" +
                       name + "\")";
            }
            t.start = parseMsf(w[2].text);
            if (t.start < 0) return at + "bad start \"" + w[2].text + "\" (mm:ss:ff)";
            std::string line = "FILE \"" + folder + name + "\" " + w[2].text;
            if (w.size() == 4) {
                t.length = parseMsf(w[3].text);
                if (t.length < 0) return at + "bad length \"" + w[3].text + "\" (mm:ss:ff)";
                line += " " + w[3].text;
            }
            if (line.size() > kMaxCopyLine) return at + "the path of the file is too long";
            t.file = true;
            t.fileLine = out.size();
            t.startText = w[2].text;
            emit(line);
        } else if (key == "START") {
            if (!t.file) return at + "START before FILE";
            if (t.index1 >= 0) return at + "a second START";
            if (w.size() != 2 || (t.index1 = parseMsf(w[1].text)) < 0)
                return at + "START needs a time (mm:ss:ff)";
            if (t.length > 0 && t.index1 >= t.length) return at + "START after the track's end";
            emit("START " + w[1].text);
        } else {  // INDEX
            if (w.size() != 2 || parseMsf(w[1].text) < 0)
                return at + "INDEX needs a time (mm:ss:ff)";
            emit("INDEX " + w[1].text);
        }
    }
    if (!lines.error().empty()) return lines.error();
    if (depth > 0 || skipping > 0) return "a CD_TEXT block is not closed";
    if (tracks.empty()) return "no TRACK in the .toc file";
    if (!tracks.back().file) return "track " + std::to_string(tracks.size()) + " has no FILE";
    if (dataBytes == 0) return "\"" + dataFile + "\" is empty";
    if (dataBytes < 0 || dataBytes % kSectorBytes != 0)
        return "\"" + dataFile + "\" is not a whole number of 2352-byte sectors";
    const int64_t fileSectors = dataBytes / kSectorBytes;
    int64_t previous = -1;  // where the track before starts on the disc
    for (size_t i = 0; i < tracks.size(); ++i) {
        const Track& t = tracks[i];
        const std::string which = "track " + std::to_string(i + 1) + " ";
        if (i == 0 && t.start != 0) return "the first track must start at the file's start";
        const int64_t disc = t.start + std::max<int64_t>(t.index1, 0);
        if (disc <= previous) return which + "starts before the track before it ends";
        if (i > 0 && tracks[i - 1].length > 0 &&
            t.start < tracks[i - 1].start + tracks[i - 1].length)
            return which + "starts inside the track before it";
        // libcdio ends a track where the next one starts in the file: audio between them would
        // be read as the end of the track before.
        if (i > 0 && tracks[i - 1].length > 0 &&
            t.start > tracks[i - 1].start + tracks[i - 1].length)
            return which + "does not start where the track before it ends in \"" + dataFile + "\"";
        const int64_t length = t.length > 0 ? t.length : fileSectors - t.start;
        if (disc >= fileSectors || t.start + length > fileSectors)
            return which + "runs past the end of \"" + dataFile + "\"";
        if (i + 1 == tracks.size()) {
            // libcdio ends the last track at its START plus its length: the copy gives the length
            // from START on, so that the disc ends where the track's audio does.
            if (disc >= t.start + length) return which + "starts after its end";
            out[t.fileLine] = "FILE \"" + folder + dataFile + "\" " + t.startText + " " +
                              msf(t.start + length - disc);
        }
        previous = disc;
    }
    if (sheet) {
        sheet->dataFile = dataFile;
        sheet->cdText = cdTextBlock(texts, tracks.size());
        sheet->text.clear();
        for (const std::string& l : out) sheet->text += l + "\n";
    }
    return {};
}

}  // namespace engine::cd
