// `quorvin cd-verify FOLDER --accuraterip-db FILE`: rips already on disk checked against a
// downloaded AccurateRip database file. Every file of FOLDER the decoder reads is a track,
// numbered by its track-number tag (else the number its name starts with) and taken in that
// order; track 00 (a hidden track) is not in AccurateRip.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "rip/cd_commands.h"

namespace cd {

// Prints "Track NN: accurate (confidence N, v2)", "... not accurate", "... not in database" for
// each track. Exit status: 0 every track accurate, 1 otherwise (or a fault), 2 bad usage.
int cdVerifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const CommandProgress& progress = {});

}  // namespace cd
