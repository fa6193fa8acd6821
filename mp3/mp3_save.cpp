#include "mp3/mp3_save.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

namespace mp3 {

bool SavesAsMp3(const std::string& sourceFileName) {
    if (sourceFileName.size() < 3) return false;
    const std::string last = sourceFileName.substr(sourceFileName.size() - 3);
    return last == "MP3" || last == "mp3";
}

int32_t TakeSourceBitRate(const Mp3FileInfo& info) {
    return std::max<int32_t>(int32_t(info.BitRate) * 1000, kDefaultMp3BitRate);
}

int32_t ChooseMp3BitRate(const std::string& sourceFileName, int32_t setting, Mp3FileInfo& info,
                         const EventPump& pump) {
    try {
        if (ReadMp3FileInfo(sourceFileName, info, pump) == 1) return TakeSourceBitRate(info);
    } catch (const Mp3Error&) {
        // A header that cannot be read gives no rate of its own: the setting stands.
    }
    return setting;
}

std::vector<std::string> Mp3SetupItems() {
    std::vector<std::string> items;
    for (int kbps = 320; kbps >= 8; kbps -= 8)
        items.push_back(std::to_string(kbps) + (kbps == 192 ? " " : ""));
    return items;
}

std::optional<int32_t> Mp3SetupBitRate(const std::string& itemText) {
    const size_t first = itemText.find_first_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    const size_t last = itemText.find_last_not_of(' ');
    const char* begin = itemText.data() + first;
    const char* end = itemText.data() + last + 1;
    double kbps = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, kbps);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    const double bits = std::nearbyint(kbps * 1000);  // nearest, ties to even
    if (!(bits > 0 && bits <= 2147483647.0)) return std::nullopt;
    return int32_t(bits);
}

std::string mp3InfoReport(const std::string& path, int* result) {
    Mp3FileInfo info;
    std::string outcome;
    int code = 0;
    try {
        code = ReadMp3FileInfo(path, info);
        outcome = "Result: " + std::to_string(code);
    } catch (const Mp3Error& e) {
        code = -1;
        outcome = "Error: " + std::to_string(e.number()) + " " + e.description();
    }
    if (result) *result = code;
    std::ostringstream out;
    out << "FileLength: " << info.FileLength << "\n"
        << "Version: " << int(info.Version) << "\n"
        << "Layer: " << int(info.Layer) << "\n"
        << "BitRate: " << info.BitRate << "\n"
        << "FrameCount: " << info.FrameCount << "\n"
        << "IsConstantBitRate: " << info.IsConstantBitRate << "\n"
        << "SampleRate: " << info.SampleRate << "\n"
        << "ChannelMode: " << int(info.ChannelMode) << "\n"
        << "Copyright: " << int(info.Copyright) << "\n"
        << "Original: " << int(info.Original) << "\n"
        << "Duration: " << info.Duration << "\n"
        << "HasTag: " << info.HasTag << "\n"
        << "Title: " << info.Title << "\n"
        << "Artist: " << info.Artist << "\n"
        << "Album: " << info.Album << "\n"
        << "Year: " << info.Year << "\n"
        << "Comment: " << info.Comment << "\n"
        << "Track: " << int(info.Track) << "\n"
        << "Genre: " << int(info.Genre) << "\n"
        << outcome << "\n";
    return out.str();
}

}  // namespace mp3
