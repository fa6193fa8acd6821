// Windows-1252 text in UTF-8: Latin-1 but for 0x80-0x9F, where Windows-1252 has printable signs
// (’ “ ” – € ...), as Windows programs write cue sheets and tags ("Don\x92t"). Its five unassigned
// bytes there are kept as Latin-1 reads them. Plain C++, any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

inline std::string windows1252ToUtf8(std::string_view s) {
    static constexpr char16_t k80[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    std::string out;
    for (const char ch : s) {
        const auto b = static_cast<unsigned char>(ch);
        const unsigned c = b >= 0x80 && b < 0xA0 ? k80[b - 0x80] : b;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xc0 | (c >> 6));
            out += char(0x80 | (c & 0x3f));
        } else {
            out += char(0xe0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3f));
            out += char(0x80 | (c & 0x3f));
        }
    }
    return out;
}

}  // namespace platform
