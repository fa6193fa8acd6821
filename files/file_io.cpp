#include "files/file_io.h"

#include <cerrno>
#include <cstring>
#include <system_error>

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

std::string whyNotAFile(const std::string& utf8Path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(pathFromUtf8(utf8Path), ec);
    switch (st.type()) {
        case fs::file_type::regular:
            return {};
        case fs::file_type::not_found:
            return "no such file";
        case fs::file_type::directory:
            return "it is a folder";
        case fs::file_type::fifo:
            return "it is a named pipe (FIFO), not a file";
        case fs::file_type::block:
        case fs::file_type::character:
            return "it is a device, not a file";
        case fs::file_type::socket:
            return "it is a socket, not a file";
        default:
            return ec ? ec.message() : "it is not a file";
    }
}

}  // namespace files
