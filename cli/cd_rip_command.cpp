// `quorvin cd-rip` and `quorvin cd-verify`: the CD logic's commands with the command line's
// progress bar.
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "rip/cd_commands.h"
#include "rip/verify_command.h"

namespace cli {

int cdRipCommand(const Args& args, std::ostream& out, std::ostream& err) {
    ProgressBar bar(out, stdoutIsTerminal());
    cd::CommandProgress progress;
    progress.update = [&bar](uint64_t done, uint64_t total) { bar.update(done, total); };
    progress.done = [&bar] { bar.done(); };
    return cd::cdRipCommand(args, out, err, progress);
}

int cdVerifyCommand(const Args& args, std::ostream& out, std::ostream& err) {
    ProgressBar bar(out, stdoutIsTerminal());
    cd::CommandProgress progress;
    progress.update = [&bar](uint64_t done, uint64_t total) { bar.update(done, total); };
    progress.done = [&bar] { bar.done(); };
    return cd::cdVerifyCommand(args, out, err, progress);
}

}  // namespace cli
