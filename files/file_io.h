// Small file helpers shared by the WAV writer and the safe copy: opening a file by its UTF-8 path
// and turning an error number into words for the user.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace files {

// The path of a UTF-8 file name, on every platform.
std::filesystem::path pathFromUtf8(const std::string& utf8);
// The UTF-8 text of a path, on every platform.
std::string utf8FromPath(const std::filesystem::path& path);
// std::fopen for a UTF-8 path. Sets errno on failure like std::fopen.
std::FILE* openFile(const std::string& utf8Path, const char* mode);
// The system's description of `errorNumber` ("Permission denied", "No space left on device").
std::string describeError(int errorNumber);
// Whether `out` names the file `in` names (the same path, a link to it, a hard link), so that
// writing the output would replace the input a command reads.
bool isTheInputItself(const std::string& in, const std::string& out);

}  // namespace files
