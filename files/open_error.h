// Why an audio file cannot be opened, in the user's words: the one text every window and the
// command line give for a file the engine refuses. Any thread.
#pragma once

#include <string>

namespace files {

// The reason for the engine's error code after a failed open ("the file cannot be opened (...)").
std::string describeOpenError(int engineErrorCode);

// The whole message: Cannot open "PATH": REASON.
std::string cannotOpenMessage(const std::string& path, int engineErrorCode);

}  // namespace files
