// quorvin: the command line over the program's own code.
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

#include "cli/cli_support.h"
#include "cli/command_help.h"
#include "cli/commands.h"
#include "files/temporary_file.h"

namespace {

void usage(std::ostream& os) {
    os << "usage: quorvin COMMAND [ARGUMENTS]\n       quorvin --help | --version\n\ncommands:\n";
    for (const auto& c : cli::commands())
        os << "  " << c.name << " " << c.usage << "\n      " << c.summary << "\n";
    os << "\nquorvin COMMAND --help shows the command's entry in the manual (man quorvin).\n";
}

}  // namespace

int main(int argc, char** argv) {
    const bool outputClosed = cli::keepStandardStreamsOpen();
    // Never freed: standard output is flushed once more after main returns.
    auto* counted = new cli::CountingBuffer(std::cout.rdbuf());
    std::cout.rdbuf(counted);
    if (argc < 2) {
        usage(std::cerr);
        return 2;
    }
    const std::string name = argv[1];
    // What was printed must have arrived: a full disk, a file-size limit or a closed standard
    // output lose the result (a command that printed nothing lost nothing).
    const auto delivered = [&](int status, const std::string& who) {
        const bool lost = !std::cout.flush() || (outputClosed && counted->count() > 0);
        if (!lost || status != 0) return status;
        std::cerr << who
                  << ": cannot write to standard output (a full disk, a file-size limit, or "
                     "closed)\n";
        return 1;
    };
    if (name == "-v" || name == "--version") {
        std::cout << "quorvin " QUORVIN_VERSION "\n";
        return delivered(0, "quorvin");
    }
    if (name == "-h" || name == "--help" || name == "help") {
        usage(std::cout);
        return delivered(0, "quorvin");
    }
    // Ctrl-C, a termination: the temporaries of the work in progress go with the program.
    for (int sig : {SIGINT, SIGTERM}) files::removeTemporariesOn(sig);
#ifdef SIGHUP
    files::removeTemporariesOn(SIGHUP);
#endif
#ifdef SIGPIPE
    files::removeTemporariesOn(SIGPIPE);  // a reader of standard output that went away
#endif
#ifdef SIGXFSZ
    // A file-size limit on standard output makes the write fail, reported below, rather than end
    // the program without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    for (const auto& c : cli::commands()) {
        if (name == c.name) {
            const cli::Args args(argv + 2, argv + argc);
            for (const auto& a : args) {
                if (a == "--") break;  // the end of the options
                if (a == "-h" || a == "--help") {
                    std::cout << cli::commandHelp(cli::manPage(), c.name);
                    return delivered(0, std::string("quorvin ") + c.name);
                }
            }
            try {
                return delivered(c.run(args, std::cout, std::cerr),
                                 std::string("quorvin ") + c.name);
            } catch (const std::exception& e) {
                std::cerr << "quorvin " << c.name << ": " << e.what() << "\n";
                return 1;
            } catch (...) {  // unwound, so the temporaries are gone
                std::cerr << "quorvin " << c.name << ": an unexpected error\n";
                return 1;
            }
        }
    }
    std::cerr << "quorvin: unknown command \"" << name << "\"\n\n";
    usage(std::cerr);
    return 2;
}
