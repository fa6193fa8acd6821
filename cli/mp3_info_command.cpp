// quorvin mp3-info IN
//
// Prints what the MP3 header reader finds in IN, one "Field: value" line per field of its record,
// then the reader's result. Exit status 0 when a frame was found, 1 when none was found, the file
// is missing or the reader failed.
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "engine/bass.h"
#include "files/open_error.h"
#include "mp3/mp3_save.h"

namespace cli {

int mp3InfoCommand(const Args& args, std::ostream& out, std::ostream& err) {
    const ParsedArgs parsed = parseArgs(args, {}, {});
    if (!parsed.error.empty() || parsed.positional.size() != 1) {
        err << "quorvin mp3-info: " << (parsed.error.empty() ? "wants one MP3 file" : parsed.error)
            << "\nusage: quorvin mp3-info IN\n";
        return 2;
    }
    const std::string& in = parsed.positional[0];
    if (!files::whyCannotOpen(in).empty()) {
        const std::string why = files::cannotOpenMessage(in, BASS_ERROR_FILEOPEN);
        err << "quorvin mp3-info: " << why << "\n";
        return 1;
    }
    int result = 0;
    out << mp3::mp3InfoReport(in, &result);
    if (result == 1) return 0;
    if (result == 0)
        err << "quorvin mp3-info: no MPEG audio frames found in \"" << in << "\"\n";
    else
        err << "quorvin mp3-info: the header of \"" << in << "\" could not be read\n";
    return 1;
}

}  // namespace cli
