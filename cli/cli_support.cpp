#include "cli/cli_support.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif
#include <iostream>

#include "files/file_io.h"

namespace cli {

ParsedArgs parseArgs(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                     const std::vector<std::string>& flags) {
    ParsedArgs p;
    auto has = [](const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {  // the end of the options: what follows is positional, "--x" too
            p.positional.insert(p.positional.end(), args.begin() + std::ptrdiff_t(i) + 1,
                                args.end());
            return p;
        }
        if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
            p.positional.push_back(a);
            continue;
        }
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (has(flags, name) && eq == std::string::npos) {
            p.options[name] = "";
        } else if (has(valued, name)) {
            if (eq != std::string::npos) {
                p.options[name] = a.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                p.options[name] = args[++i];
            } else {
                p.error = name + " needs a value";
                return p;
            }
        } else {
            p.error = "unknown option " + name;
            return p;
        }
    }
    return p;
}

std::optional<double> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const char* begin = text.data();
    if (*begin == '+') ++begin;
    double v = 0;
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || begin == end) return std::nullopt;
    return v;
}

bool keepStandardStreamsOpen() {
    bool outputClosed = false;
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The next file opened would take the number, and what goes to the stream into it.
        if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) continue;
        if (fd == 1)
            outputClosed = true;
        else
            (fd == 0 ? static_cast<std::ios&>(std::cin) : static_cast<std::ios&>(std::cerr))
                .setstate(std::ios::badbit);
    }
#endif
    return outputClosed;
}

bool stdoutIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

void ProgressBar::update(uint64_t value, uint64_t maximum) {
    if (!enabled_ || maximum == 0) return;
    const int percent = int(std::min<uint64_t>(100, value * 100 / maximum));
    if (percent == shown_) return;
    shown_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    out_ << '\r' << '[' << std::string(size_t(filled), '#')
         << std::string(size_t(kWidth - filled), '.') << "] " << percent << " %" << std::flush;
}

void ProgressBar::done() {
    if (enabled_ && shown_ >= 0) out_ << '\n' << std::flush;
    shown_ = -1;
    enabled_ = false;
}

files::Result numberOption(const ParsedArgs& p, const std::string& name, double lo, double hi,
                           bool wholeOnly, double& value) {
    const auto it = p.options.find(name);
    if (it == p.options.end()) return files::Result::success();
    const auto v = parseNumber(it->second);
    // Written so that NaN fails too.
    if (!v || !(*v >= lo && *v <= hi) || (wholeOnly && *v != std::floor(*v))) {
        // Whole limits in plain digits ("10000000", not the stream's "1e+07").
        const auto limit = [](double x) {
            std::ostringstream os;
            if (x == std::floor(x) && std::fabs(x) < 1e15)
                os << static_cast<long long>(x);
            else
                os << x;
            return os.str();
        };
        std::ostringstream os;
        os << name << " wants " << (wholeOnly ? "a whole number" : "a number") << " from "
           << limit(lo) << " to " << limit(hi) << ", not \"" << it->second << "\"";
        return files::Result::failure(os.str());
    }
    value = *v;
    return files::Result::success();
}

}  // namespace cli
