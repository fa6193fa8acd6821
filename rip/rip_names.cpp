#include "rip/rip_names.h"

#include <filesystem>
#include <system_error>

#include "files/file_io.h"

namespace cd {

namespace {

bool refused(unsigned char c, bool keepSlash) {
    if (c < 0x20 || c == 0x7f) return true;
    switch (c) {
        case '/':
            return !keepSlash;
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            return false;
    }
}

std::string trimPart(const std::string& part) {
    size_t b = 0, e = part.size();
    while (b < e && (part[b] == ' ' || part[b] == '.')) ++b;
    while (e > b && (part[e - 1] == ' ' || part[e - 1] == '.')) --e;
    std::string out = part.substr(b, e - b);
    return out.empty() ? "_" : out;
}

std::string twoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

}  // namespace

bool validNameTemplate(const std::string& tmpl, std::string* error) {
    static const std::string fields = "NntaAdy%";
    for (size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] != '%') continue;
        if (i + 1 >= tmpl.size() || fields.find(tmpl[i + 1]) == std::string::npos) {
            if (error)
                *error = i + 1 >= tmpl.size()
                             ? "the name template ends in '%'"
                             : std::string("unknown field %") + tmpl[i + 1] +
                                   " in the name template (fields: %N %n %t %a %A %d %y %%)";
            return false;
        }
        ++i;
    }
    if (tmpl.empty() || tmpl.back() == '/') {
        if (error) *error = "the name template gives no file name";
        return false;
    }
    return true;
}

std::string safeFileName(const std::string& text, bool keepSlash) {
    std::string replaced;
    replaced.reserve(text.size());
    for (char c : text) replaced += refused(static_cast<unsigned char>(c), keepSlash) ? '_' : c;
    if (!keepSlash) return trimPart(replaced);
    std::string out;
    size_t start = 0;
    while (true) {
        size_t slash = replaced.find('/', start);
        std::string part =
            replaced.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty()) out += (out.empty() ? "" : "/") + trimPart(part);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return out.empty() ? "_" : out;
}

std::string expandNameTemplate(const std::string& tmpl, const TrackNaming& track) {
    std::string out;
    for (size_t i = 0; i < tmpl.size(); ++i) {
        const char c = tmpl[i];
        if (c != '%' || i + 1 >= tmpl.size()) {
            // The template's own text keeps its '/' (folders) but loses what file systems refuse.
            out += refused(static_cast<unsigned char>(c), true) ? '_' : c;
            continue;
        }
        std::string field;
        switch (tmpl[++i]) {
            case 'N':
                field = twoDigits(track.number);
                break;
            case 'n':
                field = std::to_string(track.number);
                break;
            case 't':
                field = track.title.empty() ? "Track " + twoDigits(track.number) : track.title;
                break;
            case 'a':
                field = track.artist.empty() ? track.albumArtist : track.artist;
                break;
            case 'A':
                field = track.albumArtist;
                break;
            case 'd':
                field = track.album;
                break;
            case 'y':
                field = track.year;
                break;
            case '%':
                out += '%';
                continue;
            default:
                out += '%';
                out += tmpl[i];
                continue;
        }
        for (char f : field) out += refused(static_cast<unsigned char>(f), false) ? '_' : f;
    }
    return safeFileName(out, true);
}

std::string uniquePath(const std::string& folder, const std::string& relative,
                       const std::string& extension, std::set<std::string>& taken) {
    const std::string base = (folder.empty() ? std::string() : folder + "/") + relative;
    for (int n = 1;; ++n) {
        std::string candidate = base + (n == 1 ? "" : " (" + std::to_string(n) + ")") + extension;
        std::error_code ec;
        if (taken.count(candidate) || std::filesystem::exists(files::pathFromUtf8(candidate), ec))
            continue;
        taken.insert(candidate);
        return candidate;
    }
}

}  // namespace cd
