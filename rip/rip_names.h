// File names of a ripped disc, from a template and the disc's text.
//
// Template fields:
//   %N  track number, two digits (01, 02, ... 10)   %n  track number as is (1, 2, ... 10)
//   %t  track title                                 %a  track artist (the disc's when not given)
//   %A  album artist (the disc's performer)         %d  album (the disc's title)
//   %y  year (empty when not known)                 %%  a percent sign
// A '/' in the template makes folders ("%A/%d/%N - %t"). Characters that file systems refuse or
// that some of them refuse ('\' ':' '*' '?' '"' '<' '>' '|', control characters and NUL) are
// replaced by '_' in the text of every field and in the template's own text; a field's '/' is
// replaced too, so a title can never make a folder. An empty title becomes "Track NN".
#pragma once

#include <set>
#include <string>

namespace cd {

constexpr const char* kDefaultNameTemplate = "%N - %t";

struct TrackNaming {
    int number = 0;
    std::string title, artist, albumArtist, album, year;
};

// Whether every '%' in `tmpl` starts a known field; otherwise `error` says which one does not.
bool validNameTemplate(const std::string& tmpl, std::string* error = nullptr);

// The characters file systems refuse replaced by '_'; also '/' when `keepSlash` is false.
// Leading and trailing blanks and dots are dropped from each part ("." and ".." never name a
// folder), but the last part keeps its trailing dots when `extensionFollows`; an empty result is
// "_".
std::string safeFileName(const std::string& text, bool keepSlash = false,
                         bool extensionFollows = false);

// Room left in a name for what uniquePath() adds: " (NNN)" and the longest extension.
constexpr size_t kNameSuffixRoom = 16;

// The relative path (without extension) that `tmpl` gives for a track. A folder or file name
// longer than `longest` bytes is shortened by cutting its text fields (title, artists, album,
// year: the longest first, at a whole UTF-8 character), so the track number and the template's
// own text stay.
std::string expandNameTemplate(const std::string& tmpl, const TrackNaming& track,
                               size_t longest = 255 - kNameSuffixRoom);

// `folder`/`relative` + `extension`, or with " (2)", " (3)", ... before the extension when that
// path is already taken by an existing file or by a name in `taken`. The result is added to
// `taken`.
std::string uniquePath(const std::string& folder, const std::string& relative,
                       const std::string& extension, std::set<std::string>& taken);

}  // namespace cd
