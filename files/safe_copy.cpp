#include "files/safe_copy.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "files/fault_injection.h"
#include "files/file_io.h"
#include "files/texts.h"

namespace fs = std::filesystem;

namespace files {

CopyResult copyFileSafely(const std::string& from, const std::string& to) {
    const fs::path src = pathFromUtf8(from), dst = pathFromUtf8(to);
    std::error_code ec;
    if (fs::exists(dst, ec) && fs::equivalent(src, dst, ec) && !ec) return Result::success();
    if (Result r = checkReplaceable(to); !r) return r;

    errno = 0;
    std::FILE* in = openFile(from, "rb");
    if (!in)
        return Result::failure(
            fillIn(userText("files", "Cannot save \"%1\": cannot read \"%2\": %3"),
                   {to, from, describeError(errno)}));

    TemporaryFile temp;
    Result r = temp.create(to);
    std::vector<char> buffer(1 << 20);
    while (r) {
        const IoResult got = readFile(in, buffer.data(), buffer.size());
        if (got.error) {
            r = Result::failure(
                fillIn(userText("files", "Cannot save \"%1\": cannot read \"%2\": %3"),
                       {to, from, describeError(got.error)}));
            break;
        }
        if (got.bytes == 0) break;
        r = temp.write(buffer.data(), got.bytes);
    }
    std::fclose(in);
    if (!r) return r;  // the temporary removes itself
    return temp.commit();
}

std::string createTemporaryBeside(const std::string& destination, std::string& error) {
    if (const Result r = checkReplaceable(destination); !r) {
        error = r.message;
        return {};
    }
    TemporaryFile temp;
    const Result r = temp.create(destination);
    if (!r) {
        error = r.message;
        return {};
    }
    return temp.release();
}

void removeTemporary(const std::string& temporary) {
    std::error_code ec;
    fs::remove(pathFromUtf8(temporary), ec);
    forgetTemporary(temporary);
}

CopyResult replaceFile(const std::string& temporary, const std::string& destination) {
    // The destination may have been write-protected while the temporary was being written.
    if (Result r = checkReplaceable(destination); !r) {
        removeTemporary(temporary);
        return r;
    }
    return renameOver(temporary, destination);
}

}  // namespace files
