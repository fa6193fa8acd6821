// `quorvin normalize IN OUT PERCENT`: the normalising component from the command line.
#include <filesystem>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "components/normaliser_component.h"

namespace cli {

int normalizeCommand(const Args& args, std::ostream& out, std::ostream& err) {
    const ParsedArgs parsed = parseArgs(args, {}, {});
    if (!parsed.error.empty() || parsed.positional.size() != 3) {
        err << (parsed.error.empty() ? "normalize takes IN OUT PERCENT" : parsed.error) << "\n";
        return 2;
    }
    const std::string& in = parsed.positional[0];
    const std::string& outPath = parsed.positional[1];
    const double percent = NormaliserComponent::parsePercent(parsed.positional[2]);
    if (percent < 0) {
        err << "The percentage must be a number from 1 to 100 (\"" << parsed.positional[2]
            << "\").\n";
        return 2;
    }
    ProgressBar bar(out, stdoutIsTerminal());
    const std::string error = NormaliserComponent::normalizeFile(
        in, outPath, percent, [&](double p) { bar.update(uint64_t(p * 10), 1000); });
    if (!error.empty()) {
        bar.done();
        err << error << "\n";
        return 1;
    }
    bar.update(1000, 1000);
    bar.done();
    out << "Normalized " << in << " to " << percent << " % of full scale: " << outPath << "\n";
    return 0;
}

}  // namespace cli
