// Copying a finished file to the place the user chose without ever destroying what is there:
// the copy goes to a temporary beside the destination (see temporary_file.h) and is renamed over
// it only when it is complete.
#pragma once

#include <string>

#include "files/result.h"
#include "files/temporary_file.h"

namespace files {

using CopyResult = Result;

// Copies `from` to `to`, replacing `to` only when the whole copy has been written. On failure
// (unreadable source, read-only folder or file, full disk) `to` is left as it was and no
// temporary file remains. When `to` is `from` itself there is nothing to copy: ok.
CopyResult copyFileSafely(const std::string& from, const std::string& to);

// Creates a new, empty file with a unique hidden name in the folder of `destination` and returns
// its path, for writing a file that replaceFile() later puts in place. Empty, with `error` set
// (naming the destination and the reason), when checkReplaceable() refuses the destination or
// the folder does not take new files. The file is
// a live temporary (removed on an interrupt) until replaceFile() or forgetTemporary().
std::string createTemporaryBeside(const std::string& destination, std::string& error);

// Removes a temporary of createTemporaryBeside() that will not be kept, and takes it off the
// registry of live temporaries.
void removeTemporary(const std::string& temporary);

// Renames the finished `temporary` over `destination` (keeping the permissions of a file being
// replaced) unless checkReplaceable() now refuses it; removes `temporary` when either fails.
CopyResult replaceFile(const std::string& temporary, const std::string& destination);

}  // namespace files
