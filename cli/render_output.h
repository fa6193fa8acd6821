// What `quorvin render` does around the render itself: standard input spooled to a work file,
// the finished WAV copied to standard output, and the format OUT asks for (FLAC, Ogg and Opus are
// encoded from the finished WAV by encode::encodeWavFile, with the source's tags).
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "encode/formats.h"
#include "files/result.h"
#include "files/temporary_file.h"

namespace cli {

// This run's folder for work files: its own locked folder in $XDG_CACHE_HOME/quorvin (else
// ~/.cache/quorvin), as each copy of the desktop program has; made when first asked for, and
// removed when the program ends (on an interrupt too). What killed runs left there goes first.
files::Result workFolder(std::string& folder);

// Copies all of standard input into `spool`, a work file in workFolder() that removes itself.
files::Result spoolStandardInput(files::TemporaryFile& spool);

// The format OUT's extension asks for among those the render writes; nothing for another.
std::optional<encode::Format> renderFormatOf(const std::string& outPath);

// Writes the whole file at `path` to `out` (standard output).
files::Result copyToStream(const std::string& path, std::ostream& out);

}  // namespace cli
