// The subcommands of `quorvin`. Adding one is a function with this signature and a row in the
// table in commands.cpp.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;
// Runs with the arguments after the subcommand's name; returns the exit status (0 success,
// 1 failure, 2 bad usage). Results go to `out`, messages to `err`.
using CommandFn = int (*)(const Args& args, std::ostream& out, std::ostream& err);

struct Command {
    const char* name;
    const char* usage;    // arguments after the name
    const char* summary;  // one line
    CommandFn run;
};

std::span<const Command> commands();

// The subcommands.
int renderCommand(const Args& args, std::ostream& out, std::ostream& err);
// renderCommand with the WAV size limit at `maxWavDataBytes` bytes of audio instead of the
// format's own (for checking what happens at the limit without writing 2 GB).
int renderCommandWithLimit(const Args& args, std::ostream& out, std::ostream& err,
                           uint32_t maxWavDataBytes);
int bpmCommand(const Args& args, std::ostream& out, std::ostream& err);
int keyCommand(const Args& args, std::ostream& out, std::ostream& err);
int chordsCommand(const Args& args, std::ostream& out, std::ostream& err);
int mp3InfoCommand(const Args& args, std::ostream& out, std::ostream& err);
int normalizeCommand(const Args& args, std::ostream& out, std::ostream& err);
// cd-rip with the progress bar; cd-list is cd::cdListCommand itself.
int cdRipCommand(const Args& args, std::ostream& out, std::ostream& err);
int cdVerifyCommand(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace cli
