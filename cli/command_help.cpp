#include "cli/command_help.h"

#include <sstream>
#include <vector>

#include "cli/man_page.h"

namespace cli {

namespace {

// The text of a line with the font changes removed and the escapes the page uses replaced.
std::string plain(const std::string& roff) {
    std::string s;
    for (size_t i = 0; i < roff.size(); ++i) {
        if (roff[i] != '\\' || i + 1 == roff.size()) {
            s += roff[i];
            continue;
        }
        const char c = roff[++i];
        if (c == 'f' && i + 1 < roff.size()) {
            ++i;  // \fB, \fI, \fR, \fP
        } else if (c == '(' && i + 2 < roff.size()) {
            const std::string name = roff.substr(i + 1, 2);
            i += 2;
            s += name == "lq" || name == "rq" ? "\"" : "";
        } else if (c == '-' || c == '\\' || c == ' ') {
            s += c;
        } else if (c == 'e') {
            s += '\\';
        }
    }
    return s;
}

// The arguments of a request line (".BI a " b""), quotes removed.
std::vector<std::string> arguments(const std::string& rest) {
    std::vector<std::string> args;
    size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && rest[i] == ' ') ++i;
        if (i == rest.size()) break;
        std::string arg;
        if (rest[i] == '"') {
            for (++i; i < rest.size() && rest[i] != '"'; ++i) arg += rest[i];
            ++i;
        } else {
            for (; i < rest.size() && rest[i] != ' '; ++i) arg += rest[i];
        }
        args.push_back(arg);
    }
    return args;
}

// A line of the page as text: a request that prints (.B, .I, .BI, .BR, ...) or plain text.
std::string textOf(const std::string& line) {
    if (line.empty() || line[0] != '.') return plain(line);
    const size_t space = line.find(' ');
    const std::string request = line.substr(1, space == std::string::npos ? 0 : space - 1);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (request == "B" || request == "I") return plain(rest);
    std::string joined;
    for (const std::string& a : arguments(rest)) joined += a;  // .BI, .BR, .IR, ...
    return plain(joined);
}

// Fills words into lines of `width` columns at `indent`.
class Filler {
  public:
    explicit Filler(size_t width) : width_(width) {}
    void add(const std::string& text, size_t indent) {
        std::istringstream words(text);
        for (std::string w; words >> w;) {
            if (!line_.empty() && line_.size() + 1 + w.size() > width_) flush();
            if (line_.empty())
                line_ = std::string(indent, ' ') + w;
            else
                line_ += (line_.back() == ' ' ? "" : " ") + w;
        }
    }
    // Continues the line from `column` (a tag short enough to have its text beside it).
    void padTo(size_t column) { line_.resize(column, ' '); }
    size_t length() const { return line_.size(); }
    void flush() {
        if (!line_.empty()) out_ += line_ + '\n';
        line_.clear();
    }
    void blank() {
        flush();
        if (!out_.empty()) out_ += '\n';
    }
    std::string text() {
        flush();
        return out_;
    }

  private:
    size_t width_;
    std::string line_, out_;
};

}  // namespace

std::string commandHelp(const std::string& page, const std::string& command, size_t width) {
    std::vector<std::string> lines;
    std::istringstream in(page);
    for (std::string line; std::getline(in, line);) lines.push_back(line);

    constexpr size_t kIndent = 7;  // as man sets sections, tags and bodies
    Filler fill(width);
    bool inCommands = false, taking = false, nextIsTag = false;
    size_t depth = 0;  // .RS nesting
    for (const std::string& line : lines) {
        if (line.rfind(".SH", 0) == 0) {
            inCommands = line == ".SH COMMANDS";
            taking = false;
            continue;
        }
        if (!inCommands) continue;
        if (line == ".TP") {
            nextIsTag = true;
            continue;
        }
        if (nextIsTag && depth == 0)  // a command's own entry: its name comes first
            taking = plain(line).rfind(command + " ", 0) == 0 || plain(line) == command;
        if (line == ".RS" || line == ".RE") {
            if (line == ".RS") ++depth;
            if (line == ".RE" && depth > 0) --depth;
            nextIsTag = false;
            continue;
        }
        if (!taking) {
            nextIsTag = false;
            continue;
        }
        const size_t tagIndent = kIndent * (depth + 1);
        if (nextIsTag) {
            fill.blank();
            fill.add(textOf(line), tagIndent);
            if (fill.length() < tagIndent + kIndent)
                fill.padTo(tagIndent + kIndent);
            else
                fill.flush();
            nextIsTag = false;
        } else if (line == ".br") {
            fill.flush();
        } else {
            fill.add(textOf(line), tagIndent + kIndent);
        }
    }
    return fill.text();
}

const std::string& manPage() {
    static const std::string page = kQuorvinManPage;
    return page;
}

}  // namespace cli
