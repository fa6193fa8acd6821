// Checking a cdrdao table of contents (.toc) before libcdio reads it, and the copy of it libcdio
// is given. libcdio's reader opens every FILE line's path as it stands (any folder, relative to
// the working directory), writes track entries before the first TRACK and past the 99th, and
// reads all audio from the first track's file. So a .toc is read only when it is a single-file
// image of the kind cdrdao writes: every track's FILE names the same plain file in the .toc's own
// folder, tracks follow one another inside it, and nothing in it is outside what is checked here.
// The copy handed to libcdio is written from what was checked, with the file's full path.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace engine::cd {

constexpr size_t kMaxTocBytes = 256 * 1024;
constexpr size_t kMaxTocLine = 400;

struct TocSheet {
    std::string dataFile;  // the plain name every track reads
    std::string text;      // the copy for libcdio
    std::string cdText;    // its CD-Text block as the engine gives it (cdTextBlock), UTF-8
};

// Empty when `text` can be read; otherwise why it is refused, for the user, e.g. "line 4: FILE
// \"../x.bin\" is not a plain name in the image's folder". `fileBytes(name)` gives the size of
// the regular file `name` in the image's folder (-1 when there is none); `folder` is that
// folder's full path, ending in '/', as the copy names it.
std::string checkTocFile(std::string_view text,
                         const std::function<int64_t(const std::string&)>& fileBytes,
                         const std::string& folder, TocSheet* sheet);

}  // namespace engine::cd
