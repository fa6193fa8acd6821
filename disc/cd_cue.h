// Checking a cue sheet before libcdio reads it. libcdio's cue parser trusts what it reads (track
// numbers index its arrays, a track without an INDEX leaves its reader without an end), so a
// sheet is handed to it only when everything in it is well-formed and agrees with its .bin.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace engine::cd {

// The lines of an image's text file (a cue sheet, a .toc file), one at a time, each checked: LF
// or CR LF ends a line; a line longer than `maxLine` or holding a control character other than a
// tab is refused, with the reason after "line N: ".
class SheetLines {
  public:
    SheetLines(std::string_view text, size_t maxLine) : text_(text), maxLine_(maxLine) {}
    // The next line; false at the end, or when a line is refused (error() then says why).
    bool next(std::string_view& line);
    // "line N: " for the line last given, to begin a reason with.
    const std::string& at() const { return at_; }
    const std::string& error() const { return error_; }

  private:
    std::string_view text_;
    size_t maxLine_;
    size_t pos_ = 0, number_ = 0;
    std::string at_, error_;
};

// The longest cue sheet and the longest line accepted.
constexpr size_t kMaxCueBytes = 256 * 1024;
constexpr size_t kMaxCueLine = 1024;

// A sheet written in UTF-16 (its byte-order mark first, as some Windows programs write it) as
// UTF-8 with a byte-order mark; any other text as it is.
std::string utf8FromUtf16Sheet(std::string text);

// What the sheet says of the disc before its tracks: the year of its REM DATE line, as ripping
// programs write it ("REM DATE 1973" or a whole date, "2001-05-17"), and its catalogue number (its
// UPC/EAN, 13 digits) from its CATALOG line; each empty when it has none (or a malformed one).
struct CueDisc {
    std::string year, catalog;
};
CueDisc cueDisc(std::string_view text);

// Whether the sheet has one FILE, of the type BINARY.
bool cueIsOneBinary(std::string_view text);

// The name the sheet's FILE line gives its .bin, as written (a path, often relative to the sheet);
// empty when it has none.
std::string cueFileName(std::string_view text);

// A text of a sheet in UTF-8: as it is when it is UTF-8, else read as Windows-1252.
std::string textAsUtf8(std::string_view s);

// The engine's CD-Text block ("TITLE0=...\0PERFORMER1=...\0...\0") from a sheet's texts (field,
// track, UTF-8 value; track 0 the disc), the fields in the block's order; empty when none.
std::string cdTextBlock(const std::vector<std::tuple<std::string, size_t, std::string>>& texts,
                        size_t tracks);

// Empty when `text` is a cue sheet the program can read with a .bin of `binBytes` bytes (the
// .bin of the sheet's base name; -1 when there is none); otherwise why it is refused, for the
// user, e.g. "line 7: TRACK 02 after TRACK 99 (tracks are numbered from 1, one by one)".
// Sheets as people write them are accepted: a byte-order mark, keywords in any case, a POSTGAP.
// `copy`, when given, receives the sheet as libcdio reads it: what was checked, keywords in
// capitals, no byte-order mark, no POSTGAP (silence that is not in the .bin, which libcdio
// refuses), and the FILE line naming `binName`. `cdText`, when given, receives the sheet's
// CD-Text as a block of "TITLE0=...\0PERFORMER1=...\0" entries ended by an empty string (empty
// when there is none; a REM GENRE counts as the disc's GENRE), its text read as UTF-8 (with or
// without a byte-order mark) when it is UTF-8 throughout, otherwise as Windows-1252.
std::string checkCueSheet(std::string_view text, int64_t binBytes, std::string* copy = nullptr,
                          const std::string& binName = "image.bin", std::string* cdText = nullptr);

// The disc of a sheet libcdio cannot read: several files (a .bin per track, as some imaging tools
// write it), or audio files instead of a .bin (FILE ... WAVE: a WAV or FLAC of the whole disc or of
// each track). The files follow one another as if they were one .bin.
struct CueFilesDisc {
    struct File {
        std::string name;      // as the sheet writes it
        int64_t bytes = 0;     // of CD audio: its size, or a decoded file's frames times 4
        int32_t first = 0;     // its first sector among the files' (the silences not counted)
        bool decoded = false;  // WAVE, AIFF or MP3: audio to decode, not sectors to read
    };
    struct Track {
        int number = 0;
        int32_t lsn = 0;      // INDEX 01
        int32_t sectors = 0;  // up to the next track's INDEX 01
        int32_t pregap = 0;   // INDEX 00 (== lsn when it has none)
        bool audio = true, preEmphasis = false, copyPermitted = false;
        std::string isrc;
    };
    // A PREGAP or a POSTGAP: silence in no file, before its track's first INDEX or after its
    // track's audio.
    struct Silence {
        int32_t first = 0;  // on the disc
        int32_t sectors = 0;
    };
    std::vector<File> files;
    std::vector<Track> tracks;
    std::vector<Silence> silences;  // in the order of the disc
    // Of the disc: the sectors of its files and the silences. A last audio file that ends inside
    // a sector fills it (silence after its last frame, as a disc is written); a last .bin that
    // does, does not.
    int32_t sectors = 0;
    uint32_t missingBytes = 0;  // of a sector a last .bin ends inside (left out)
};

// Whether the sheet is one for checkCueFiles: more than one FILE, a FILE other than BINARY or
// one that `isAudioFile` says is an audio file all the same (a WAV or FLAC the sheet calls
// BINARY), a PREGAP or a POSTGAP (silence in no file, which libcdio does not lay out or
// refuses), or tracks not numbered 1, 2, 3... (libcdio's reader relies on that numbering).
bool cueNeedsOwnReader(std::string_view text,
                       const std::function<bool(const std::string& name)>& isAudioFile);

// What the file a FILE line names holds.
struct CueFileFacts {
    // Of CD audio: its size, or a decoded file's frames times 4 (as many as its header gives);
    // -1 when there is no such file, -2 when it is no CD audio that can be decoded.
    int64_t bytes = -1;
    bool decoded = false;  // audio to decode, also when the sheet calls it BINARY
    // With -2, what it is instead, if known: "is 48000 Hz, mono", "holds samples finer than 16
    // bits"; with -1, what is there instead of a file, if anything: "is a folder, not a file".
    std::string notCdAudio;
};
// `decoded`: the sheet's type is WAVE, AIFF or MP3.
using CueFileBytes = std::function<CueFileFacts(const std::string& name, bool decoded)>;

// The check of checkCueSheet for a sheet of one or more files, each holding whole sectors but the
// last. Its INDEX times count from the start of their file; a PREGAP or POSTGAP is silence in no
// file. Its track numbers rise from any number, not always by one: a rip's sheet leaves out a
// data track and the tracks that failed, and keeps the disc's numbers.
std::string checkCueFiles(std::string_view text, const CueFileBytes& fileBytes, CueFilesDisc* disc,
                          std::string* cdText = nullptr);

// Why a sheet is refused when it has no .bin beside it.
constexpr const char* kMissingBinReason = "the .bin of the cue sheet is missing";

}  // namespace engine::cd
