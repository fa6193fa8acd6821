// The CD track list without a window: track rows, CD-Text, times and the number formats the CD
// window shows. The window and `quorvin cd-list` both list a disc through readTrackList().
// Strings are UTF-8. Plain C++ over the engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cd {

// Whole seconds as mm:ss, or hh:mm:ss when there are hours; each part is the last two
// characters of "00" and its number, so -1 gives 00:-1.
std::string Seconds2HMS(int32_t seconds);

// Rounds to the nearest whole number, halves to even (2.5 -> 2, 3.5 -> 4).
int64_t roundHalfEven(double value);

// A track's length in bytes of CD audio as whole seconds (176400 bytes a second, halves to even).
int32_t lengthSeconds(int64_t bytes);

// The number field of row `index` (0-based): the track number with at least two digits.
std::string trackNumberField(int index);

// A row: number, TAB, name, TAB, "[mm:ss]"; "[data]" (under the name "Track n") when the length
// is below 1 byte.
std::string trackRow(int index, const std::string& name, int64_t lengthBytes);

// Digits of `value` grouped by threes with `separator` ("7,056"); "" for 0 when
// `zeroHasDigit` is false ("###,###"), "0" when true ("###,##0").
std::string groupedNumber(int64_t value, const std::string& separator, bool zeroHasDigit);
// "###,### Kbps": 7056 -> "7,056 Kbps", 0 -> " Kbps".
std::string formatKbps(int64_t value, const std::string& separator = ",");
// A bit rate row, "###,##0 Kbps" of rate / 1000 (halves to even): 128000 -> "128 Kbps".
std::string formatBitrateRow(int64_t bitsPerSecond, const std::string& separator = ",");
// "###.#": one decimal, no leading zero (0.43 -> ".4", 12.34 -> "12.3").
std::string formatTenths(double value, const std::string& decimalPoint = ".");

// A failure while reading CD-Text: its number and description.
struct RoutineError {
    int number = 0;
    std::string description;
};

// The disc (index 0) and track (1..n) titles and performers from a CD-Text block.
struct CdTextTables {
    std::vector<std::string> titles, performers;  // n + 1 entries each
    std::string genre;                            // the disc's ("GENRE0=")
};

// Reads "TITLEk=" and "PERFORMERk=" strings (keys without regard to case) of a block of
// NUL-terminated strings ended by an empty one, for a disc of `tracks` tracks. Other keys are
// skipped. An index that is not a number, outside 0..tracks, or a key without "=" is an error.
// Control characters in the values are dropped.
bool parseCdText(const char* block, int tracks, CdTextTables& tables, RoutineError& error);

// The rows and the two boxes for a disc, as the window fills them.
struct TrackListing {
    enum class Outcome {
        NotReady,          // no readable disc: empty list, boxes untouched
        TrackCountFailed,  // "Error retreiving number of tracks."
        CdTextFailed,      // the CD-Text could not be read: `error`; nothing to show
        Listed,
    };
    Outcome outcome = Outcome::NotReady;
    std::string artist, album;
    std::vector<std::string> rows;
    RoutineError error;
};

// Lists the disc in `drive` (engine drive index).
TrackListing readTrackList(int drive);

// Builds the rows for `tracks` tracks from CD-Text tables or, when `tables` is null, as
// "Track n"; `lengthOf(i)` gives track i's length in bytes.
template <class LengthOf>
std::vector<std::string> buildRows(int tracks, const CdTextTables* tables, LengthOf lengthOf) {
    std::vector<std::string> rows;
    rows.reserve(size_t(tracks > 0 ? tracks : 0));
    for (int i = 0; i < tracks; ++i) {
        int64_t length = lengthOf(i);
        std::string name = tables && length >= 1 ? tables->performers[size_t(i) + 1] + " / " +
                                                       tables->titles[size_t(i) + 1]
                                                 : "Track " + std::to_string(i + 1);
        rows.push_back(trackRow(i, name, length));
    }
    return rows;
}

}  // namespace cd
