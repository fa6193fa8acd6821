// The file layer's and the command line's way of saying how something went: ok, or a message for
// the user that names the path and the reason.
#pragma once

#include <string>
#include <utility>

namespace files {

struct Result {
    bool ok = false;
    // For the user when !ok: names the path and the reason.
    std::string message;

    static Result success() { return {true, {}}; }
    static Result failure(std::string why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

}  // namespace files
