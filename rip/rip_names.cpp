#include "rip/rip_names.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

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

// Without the spaces and dots at its start (no hidden files) and end (refused by some file
// systems); the dots at the end are kept when an extension follows (`Mr.` gives `Mr..wav`).
std::string trimPart(const std::string& part, bool extensionFollows = false) {
    size_t b = 0, e = part.size();
    while (b < e && (part[b] == ' ' || part[b] == '.')) ++b;
    while (e > b && (part[e - 1] == ' ' || (part[e - 1] == '.' && !extensionFollows))) --e;
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

std::string safeFileName(const std::string& text, bool keepSlash, bool extensionFollows) {
    std::string replaced;
    replaced.reserve(text.size());
    for (char c : text) replaced += refused(static_cast<unsigned char>(c), keepSlash) ? '_' : c;
    if (!keepSlash) return trimPart(replaced, extensionFollows);
    std::string out;
    size_t start = 0;
    while (true) {
        size_t slash = replaced.find('/', start);
        std::string part =
            replaced.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty())
            out += (out.empty() ? "" : "/") +
                   trimPart(part, extensionFollows && slash == std::string::npos);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return out.empty() ? "_" : out;
}

namespace {

// A piece of one folder or file name: the template's own text or a field's; text fields may be
// shortened.
struct Piece {
    std::string text;
    bool shortenable = false;
};

// Cuts the longest shortenable pieces to one length, the longest that lets the whole fit in
// `longest` bytes (each cut at a whole UTF-8 character), so that each keeps its start; when
// the other pieces alone are too long, the fields go and then the end of the name.
std::string fitName(std::vector<Piece> pieces, size_t longest) {
    size_t fixed = 0, widest = 0;
    for (const Piece& p : pieces) {
        if (p.shortenable)
            widest = std::max(widest, p.text.size());
        else
            fixed += p.text.size();
    }
    const auto fits = [&](size_t cap) {
        size_t n = fixed;
        for (const Piece& p : pieces)
            if (p.shortenable) n += std::min(p.text.size(), cap);
        return n <= longest;
    };
    if (!fits(widest)) {
        size_t low = 0, high = widest;  // fits(low) or nothing does; !fits(high)
        while (high - low > 1) {
            const size_t mid = (low + high) / 2;
            (fits(mid) ? low : high) = mid;
        }
        for (Piece& p : pieces) {
            if (!p.shortenable || p.text.size() <= low) continue;
            size_t size = low;
            while (size > 0 && (uint8_t(p.text[size]) & 0xC0) == 0x80) --size;
            p.text.resize(size);
        }
    }
    auto cutTo = [](std::string& s, size_t size) {
        while (size > 0 && (uint8_t(s[size]) & 0xC0) == 0x80) --size;
        s.resize(size);
    };
    std::string out;
    for (const Piece& p : pieces) out += p.text;
    if (out.size() > longest) cutTo(out, longest);
    return out;
}

}  // namespace

std::string expandNameTemplate(const std::string& tmpl, const TrackNaming& track, size_t longest) {
    std::string out;
    std::vector<Piece> name;  // the folder or file name being built
    auto endName = [&] {
        out += fitName(std::move(name), longest);
        name.clear();
    };
    for (size_t i = 0; i < tmpl.size(); ++i) {
        const char c = tmpl[i];
        if (c != '%' || i + 1 >= tmpl.size()) {
            // The template's own text keeps its '/' (folders) but loses what file systems refuse.
            if (c == '/') {
                endName();
                out += '/';
                continue;
            }
            name.push_back(
                {std::string(1, refused(static_cast<unsigned char>(c), true) ? '_' : c)});
            continue;
        }
        std::string field;
        bool text = true;
        switch (tmpl[++i]) {
            case 'N':
                field = twoDigits(track.number);
                text = false;
                break;
            case 'n':
                field = std::to_string(track.number);
                text = false;
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
                name.push_back({"%"});
                continue;
            default:
                name.push_back({std::string("%") + tmpl[i]});
                continue;
        }
        for (char& f : field)
            if (refused(static_cast<unsigned char>(f), false)) f = '_';
        name.push_back({field, text});
    }
    endName();
    return safeFileName(out, true, true);
}

std::string uniquePath(const std::string& folder, const std::string& relative,
                       const std::string& extension, std::set<std::string>& taken) {
    const std::string base =
        (folder.empty() || folder.back() == '/' ? folder : folder + "/") + relative;
    for (int n = 1;; ++n) {
        std::string candidate = base + (n == 1 ? "" : " (" + std::to_string(n) + ")") + extension;
        std::error_code ec;
        // A link that leads nowhere is taken too: a write would go where it leads.
        if (taken.count(candidate) || std::filesystem::exists(std::filesystem::symlink_status(
                                          files::pathFromUtf8(candidate), ec)))
            continue;
        taken.insert(candidate);
        return candidate;
    }
}

}  // namespace cd
