// Runs the quorvin executable as a user would, for the command-line tests.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/audio_fixtures.h"

namespace clitest {

struct Run {
    int status = -1;
    std::string out, err;
};

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs quorvin with `args`; stdout is a pipe (not a terminal), stderr goes to a file.
inline Run quorvin(const std::vector<std::string>& args, const fixtures::TempDir& tmp) {
    std::string cmd = quote(QUORVIN_CLI);
    for (const auto& a : args) cmd += " " + quote(a);
    const std::string errFile = tmp.file("stderr.txt");
    cmd += " 2>" + quote(errFile);
    Run r;
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"),
                                            [](FILE* f) { return f ? pclose(f) : -1; });
    char buf[4096];
    size_t n;
    while (p && (n = fread(buf, 1, sizeof buf, p.get())) > 0) r.out.append(buf, n);
    const int raw = pclose(p.release());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const auto e = fixtures::readBytes(errFile);
    r.err.assign(e.begin(), e.end());
    std::filesystem::remove(errFile);
    return r;
}

inline size_t filesIn(const std::filesystem::path& dir) {
    return size_t(std::distance(std::filesystem::directory_iterator(dir),
                                std::filesystem::directory_iterator()));
}

}  // namespace clitest
