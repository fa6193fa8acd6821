#include "files/file_io.h"

#include <cerrno>
#include <cstring>

namespace files {

std::filesystem::path pathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string u = path.u8string();
    return std::string(u.begin(), u.end());
}

std::FILE* openFile(const std::string& utf8Path, const char* mode) {
#ifdef _WIN32
    std::wstring wmode(mode, mode + std::strlen(mode));
    return _wfopen(pathFromUtf8(utf8Path).c_str(), wmode.c_str());
#else
    return std::fopen(utf8Path.c_str(), mode);
#endif
}

std::string describeError(int errorNumber) {
    if (errorNumber == 0) return "unknown error";
    return std::strerror(errorNumber);
}

bool isTheInputItself(const std::string& in, const std::string& out) {
    namespace fs = std::filesystem;
    const fs::path inFs = pathFromUtf8(in), outFs = pathFromUtf8(out);
    std::error_code ec;
    return fs::exists(outFs, ec) && fs::equivalent(inFs, outFs, ec) && !ec;
}

}  // namespace files
