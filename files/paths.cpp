#include "files/paths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "files/file_io.h"

namespace fs = std::filesystem;

namespace files {

namespace {

bool isNormalFile(const fs::path& p) {
    const std::string name = p.filename().string();
    if (name.empty() || name.front() == '.') return false;
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

#ifdef _WIN32
char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
#else
char fold(char c) {
    return c;
}
#endif

}  // namespace

std::string RPP(const std::string& path) {
    const char sep = char(fs::path::preferred_separator);
    if (path.empty() || path.back() == sep) return path;
    return path + sep;
}

bool wildcardMatch(const std::string& pattern, const std::string& name) {
    // Iterative matcher with one back-tracking point for the last '*'.
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    const fs::path p = pathFromUtf8(path);
    const std::string pattern = p.filename().string();
    if (pattern.find_first_of("*?") == std::string::npos) return isNormalFile(p);
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        if (wildcardMatch(pattern, entry.filename().string()) && isNormalFile(entry)) return true;
    }
    return false;
}

bool endsWithNoCase(const std::string& text, const std::string& ending) {
    if (text.size() < ending.size()) return false;
    return std::equal(ending.begin(), ending.end(), text.end() - long(ending.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

}  // namespace files
