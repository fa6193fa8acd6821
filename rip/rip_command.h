// `quorvin cd-rip SOURCE all FOLDER [--format F] [--name TEMPLATE] [--offset N] [--bitrate K]
// [--year Y]`: the whole disc into FOLDER, as "Extract All..." in the CD window does.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "rip/cd_commands.h"

namespace cd {

// `args` are cd-rip's arguments (SOURCE, "all", FOLDER and options); `progress` is told the
// bytes done and the bytes in all. Exit status: 0 every audio track ripped without
// skipped reads, 1 failure (or a track with skipped reads or read errors), 2 bad usage,
// 130 stopped by an interrupt (Ctrl+C ends the rip after the read under way).
int cdRipDiscCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const CommandProgress& progress);

}  // namespace cd
