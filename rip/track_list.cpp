#include "rip/track_list.h"

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "disc/basscd.h"

namespace cd {

namespace {

// The last two characters of "00" followed by the number.
std::string twoDigits(int64_t part) {
    std::string s = "00" + std::to_string(part);
    return s.substr(s.size() - 2);
}

// A decimal index with surrounding blanks allowed; false when it is not a whole number, with
// the error it makes.
bool parseIndex(const std::string& text, int64_t& value, RoutineError& error) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    std::string t = text.substr(b, e - b);
    size_t digits = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    bool numeric = t.size() > digits;
    for (size_t i = digits; i < t.size(); ++i)
        numeric = numeric && std::isdigit(static_cast<unsigned char>(t[i]));
    if (!numeric) {
        error = {13, "Type mismatch"};
        return false;
    }
    errno = 0;
    long long v = std::strtoll(t.c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) {
        error = {6, "Overflow"};
        return false;
    }
    value = v;
    return true;
}

// `text` without control characters (C0, DEL and the UTF-8 C1 range): a disc's CD-Text must not
// drive a terminal or break the TAB-separated rows.
std::string withoutControls(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) continue;
        if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            ++i;
            continue;
        }
        out += char(c);
    }
    return out;
}

// One "KEYk=value" string into `table`; false on an error.
bool readEntry(const std::string& s, size_t keyLength, std::vector<std::string>& table,
               RoutineError& error) {
    size_t eq = s.find('=');
    if (eq == std::string::npos) {
        error = {5, "Invalid procedure call or argument"};
        return false;
    }
    int64_t index = 0;
    if (!parseIndex(s.substr(keyLength, eq - keyLength), index, error)) return false;
    if (index < 0 || index >= int64_t(table.size())) {
        error = {9, "Subscript out of range"};
        return false;
    }
    table[size_t(index)] = withoutControls(s.substr(eq + 1));
    return true;
}

}  // namespace

std::string Seconds2HMS(int32_t seconds) {
    int64_t s = seconds;
    int64_t hours = s / 3600;  // truncated toward zero
    int64_t rest = s - 3600 * hours;
    int64_t minutes = rest / 60;
    int64_t secs = rest - 60 * minutes;
    if (hours > 0) return twoDigits(hours) + ":" + twoDigits(minutes) + ":" + twoDigits(secs);
    return twoDigits(minutes) + ":" + twoDigits(secs);
}

int64_t roundHalfEven(double value) {
    return int64_t(std::nearbyint(value));
}

int32_t lengthSeconds(int64_t bytes) {
    return int32_t(roundHalfEven(double(bytes) / double(BASS_CD_BYTES_PER_SECOND)));
}

std::string trackNumberField(int index) {
    std::string n = std::to_string(index + 1);
    return n.size() < 2 ? "0" + n : n;
}

std::string trackRow(int index, const std::string& name, int64_t lengthBytes) {
    if (lengthBytes < 1)
        return trackNumberField(index) + "\tTrack " + std::to_string(index + 1) + "\t[data]";
    return trackNumberField(index) + "\t" + name + "\t[" + Seconds2HMS(lengthSeconds(lengthBytes)) +
           "]";
}

std::string groupedNumber(int64_t value, const std::string& separator, bool zeroHasDigit) {
    if (value == 0) return zeroHasDigit ? "0" : "";
    bool negative = value < 0;
    std::string digits = std::to_string(negative ? -value : value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
        out += digits[i];
    }
    return negative ? "-" + out : out;
}

std::string formatKbps(int64_t value, const std::string& separator) {
    return groupedNumber(value, separator, false) + " Kbps";
}

std::string formatBitrateRow(int64_t bitsPerSecond, const std::string& separator) {
    return groupedNumber(roundHalfEven(double(bitsPerSecond) / 1000.0), separator, true) + " Kbps";
}

std::string formatTenths(double value, const std::string& decimalPoint) {
    int64_t tenths = std::llround(std::fabs(value) * 10.0);
    std::string whole = tenths >= 10 ? std::to_string(tenths / 10) : "";
    return (value < 0 && tenths > 0 ? "-" : "") + whole + decimalPoint +
           std::to_string(tenths % 10);
}

bool parseCdText(const char* block, int tracks, CdTextTables& tables, RoutineError& error) {
    size_t n = size_t(tracks > 0 ? tracks : 0) + 1;
    tables.titles.assign(n, std::string());
    tables.performers.assign(n, std::string());
    for (const char* p = block; p && *p; p += std::strlen(p) + 1) {
        std::string s = p;
        bool ok = true;
        if (s.size() >= 5 && strncasecmp(s.c_str(), "TITLE", 5) == 0)
            ok = readEntry(s, 5, tables.titles, error);
        else if (s.size() >= 9 && strncasecmp(s.c_str(), "PERFORMER", 9) == 0)
            ok = readEntry(s, 9, tables.performers, error);
        else if (strncasecmp(s.c_str(), "GENRE0=", 7) == 0)
            tables.genre = s.substr(7);
        if (!ok) return false;
    }
    return true;
}

TrackListing readTrackList(int drive) {
    TrackListing list;
    const DWORD d = DWORD(drive);
    if (!BASS_CD_IsReady(d)) return list;
    int tracks = BASS_CD_GetTracks(d);
    if (tracks == -1) {
        list.outcome = TrackListing::Outcome::TrackCountFailed;
        return list;
    }
    auto lengthOf = [d](int i) { return int64_t(BASS_CD_GetTrackLength(d, DWORD(i))); };
    CdTextTables tables;
    const char* block = BASS_CD_GetID(d, BASS_CDID_TEXT);
    if (block && !parseCdText(block, tracks, tables, list.error)) {
        list.outcome = TrackListing::Outcome::CdTextFailed;
        return list;
    }
    // A text that names nothing (only a genre, as an image's sheet with REM GENRE gives it) is
    // listed as a disc without text.
    const auto blank = [](const std::vector<std::string>& v) {
        return std::all_of(v.begin(), v.end(), [](const std::string& s) { return s.empty(); });
    };
    if (block && !(blank(tables.titles) && blank(tables.performers))) {
        list.artist = tables.performers[0];
        list.album = tables.titles[0];
        list.rows = buildRows(tracks, &tables, lengthOf);
    } else {
        list.artist = "Unknown Artist";
        list.album = "Unknown Album";
        list.rows = buildRows(tracks, nullptr, lengthOf);
    }
    list.outcome = TrackListing::Outcome::Listed;
    return list;
}

}  // namespace cd
