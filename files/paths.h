// File-name helpers used to build and clear the work files in the program's folder.
#pragma once

#include <string>

namespace files {

// `path` with one trailing separator: the platform's separator is appended unless `path`
// already ends in it (only that character counts; on Windows a path ending in '/' still gets a
// backslash). An empty path stays empty, so that appending a file name gives a relative name
// rather than one at the root.
std::string RPP(const std::string& path);

// True when `path` names a normal file: not a folder, not a hidden file (name starting with a
// dot), not a device, pipe or socket. Wild cards '*' and '?' in the file-name part match like a
// directory listing does. False when nothing matches or the folder cannot be listed.
bool FileExists(const std::string& path);

// Case-insensitive test of a file name's ending: endsWithNoCase("a.WAV", ".wav").
bool endsWithNoCase(const std::string& text, const std::string& ending);

// Whether `name` matches the wild-card `pattern` ('*' any run, '?' one character).
bool wildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace files
