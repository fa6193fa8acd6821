#include "files/safe_copy.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#include "files/file_io.h"

namespace fs = std::filesystem;

namespace files {

namespace {

CopyResult failure(const std::string& path, const std::string& reason) {
    return {false, "Cannot save \"" + path + "\": " + reason};
}

// Creates a new, empty file with a unique hidden name beside `destination`; its path goes to
// `out`.
std::FILE* openTemporaryBeside(const fs::path& destination, fs::path& out, int& err) {
    static std::mt19937 rng{std::random_device{}()};
    const fs::path folder =
        destination.has_parent_path() ? destination.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + destination.filename().string() + "." +
                                 std::to_string(rng() % 1000000000u) + ".part";
        out = folder / name;
        errno = 0;
        // "x": fail when the name exists, so that no one else's file is ever opened.
        std::FILE* f = openFile(out.string(), "wbx");
        if (f) return f;
        err = errno;
        if (err != EEXIST) return nullptr;
    }
    return nullptr;
}

}  // namespace

CopyResult copyFileSafely(const std::string& from, const std::string& to) {
    const fs::path src = pathFromUtf8(from), dst = pathFromUtf8(to);
    std::error_code ec;
    if (fs::exists(dst, ec) && fs::equivalent(src, dst, ec) && !ec) return {true, {}};

    if (fs::is_directory(dst, ec)) return failure(to, "it is a folder");
    if (fs::exists(dst, ec)) {
        // An existing file that cannot be written stays as it is, as a plain copy would leave it.
        errno = 0;
        std::FILE* probe = openFile(to, "r+b");
        if (!probe) return failure(to, describeError(errno));
        std::fclose(probe);
    }

    errno = 0;
    std::FILE* in = openFile(from, "rb");
    if (!in) return failure(to, "cannot read \"" + from + "\": " + describeError(errno));

    fs::path temp;
    int err = 0;
    std::FILE* out = openTemporaryBeside(dst, temp, err);
    if (!out) {
        std::fclose(in);
        return failure(to, describeError(err));
    }

    std::vector<char> buffer(1 << 20);
    std::string problem;
    for (;;) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
        if (n == 0) {
            if (std::ferror(in)) problem = "cannot read \"" + from + "\"";
            break;
        }
        errno = 0;
        if (std::fwrite(buffer.data(), 1, n, out) != n) {
            problem = describeError(errno);
            break;
        }
    }
    std::fclose(in);
    errno = 0;
    if (std::fflush(out) != 0 && problem.empty()) problem = describeError(errno);
    errno = 0;
    if (std::fclose(out) != 0 && problem.empty()) problem = describeError(errno);

    if (!problem.empty()) {
        fs::remove(temp, ec);
        return failure(to, problem);
    }
    return replaceFile(temp.string(), to);
}

std::string createTemporaryBeside(const std::string& destination, std::string& error) {
    fs::path temp;
    int err = 0;
    std::FILE* f = openTemporaryBeside(pathFromUtf8(destination), temp, err);
    if (!f) {
        error = failure(destination, describeError(err)).message;
        return {};
    }
    std::fclose(f);
    return temp.string();
}

CopyResult replaceFile(const std::string& temporary, const std::string& destination) {
    const fs::path temp = pathFromUtf8(temporary), dst = pathFromUtf8(destination);
    std::error_code ec;
    // Keep the permissions of the file being replaced.
    const auto perms = fs::status(dst, ec).permissions();
    if (!ec && perms != fs::perms::unknown) fs::permissions(temp, perms, ec);
    ec.clear();
    fs::rename(temp, dst, ec);
    if (ec) {
        const std::string reason = ec.message();
        fs::remove(temp, ec);
        return failure(destination, reason);
    }
    return {true, {}};
}

}  // namespace files
