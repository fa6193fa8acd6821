// Helpers shared by the subcommands: option parsing, numbers, the terminal progress bar.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "files/result.h"

namespace cli {

// Arguments split into positional ones and options. `valued` names the options that take a
// value ("--tempo 10" or "--tempo=10"); `flags` those that do not. Anything else starting with
// "--" is an error. A lone "--" ends the options: every argument after it is positional.
struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // flags map to ""
    std::string error;                           // empty when parsing succeeded
};
ParsedArgs parseArgs(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                     const std::vector<std::string>& flags);

// A number option of `p` within [lo, hi] into `value` (left as it is when the option is absent);
// `wholeOnly` for integers. The failure says which option wants what.
files::Result numberOption(const ParsedArgs& p, const std::string& name, double lo, double hi,
                           bool wholeOnly, double& value);

// The whole text as a number, or nothing ("12", "-2.5"; not "12x", not "").
std::optional<double> parseNumber(const std::string& text);

// Whether standard output is a terminal (a progress bar is shown only there).
bool stdoutIsTerminal();

// A standard stream the program was started without (closed by its caller) is opened on the null
// device, so that no file the command opens takes its number and receives what goes to it; the
// C++ streams of standard input and standard error are marked failed. True when standard output
// was closed: what is written to it then goes nowhere, which the caller must say.
bool keepStandardStreamsOpen();

// Counts what is written through it to the stream buffer it is given.
class CountingBuffer : public std::streambuf {
  public:
    explicit CountingBuffer(std::streambuf* to) : to_(to) {}
    std::streamsize count() const { return count_; }

  protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        ++count_;
        return to_->sputc(traits_type::to_char_type(c));
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        count_ += n;
        return to_->sputn(s, n);
    }
    int sync() override { return to_->pubsync(); }

  private:
    std::streambuf* to_;
    std::streamsize count_ = 0;
};

// A one-line progress bar redrawn in place with '\r'; draws only when the shown percentage
// changes, and ends its line when done.
class ProgressBar {
  public:
    ProgressBar(std::ostream& out, bool enabled) : out_(out), enabled_(enabled) {}
    ~ProgressBar() { done(); }
    void update(uint64_t value, uint64_t maximum);
    void done();

  private:
    std::ostream& out_;
    bool enabled_;
    int shown_ = -1;
};

}  // namespace cli
