// `quorvin COMMAND --help`: the command's entry of the quorvin(1) man page, laid out as `man`
// shows it (the page is built into the program, so that both always say the same).
#pragma once

#include <string>

namespace cli {

// The entry (or entries, for a command with two forms) of `command` under COMMANDS in the roff
// text `page`, as plain text filled to `width` columns; empty when the page has none.
std::string commandHelp(const std::string& page, const std::string& command, size_t width = 80);

// The built-in quorvin(1) page.
const std::string& manPage();

}  // namespace cli
