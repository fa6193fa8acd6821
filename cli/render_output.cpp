#include "cli/render_output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "files/file_io.h"
#include "files/paths.h"
#include "platform/work_folder.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

FilePtr openForReading(const std::string& path) {
    return FilePtr(files::openFile(path, "rb"),
                   [](std::FILE* f) { return f ? std::fclose(f) : 0; });
}

files::Result cannotRead(const std::string& what, int errorNumber) {
    return files::Result::failure("cannot read " + what + ": " + files::describeError(errorNumber));
}

}  // namespace

files::Result workFolder(std::string& folder) {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    fs::path base;
    if (cache && *cache == '/')
        base = files::pathFromUtf8(cache);
    else if (home && *home)
        base = files::pathFromUtf8(home) / ".cache";
    else
        base = fs::temp_directory_path();
    const fs::path dir = base / "quorvin";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        return files::Result::failure("cannot make the work folder \"" + files::utf8FromPath(dir) +
                                      "\": " + ec.message());
    // This run's own folder in it, as each copy of the desktop program has one: neither removes
    // the other's files while it runs, and either removes what a killed one left. It goes when
    // the program ends, on an interrupt too.
    static std::unique_ptr<platform::WorkFolder> own;
    if (!own) {
        own = std::make_unique<platform::WorkFolder>(
            QString::fromStdString(files::utf8FromPath(dir)));
        if (own->own()) {
            const std::string path = own->path().toStdString();
            files::rememberForRemoval(path + ".lock");
            files::rememberForRemoval(path);
        }
    }
    folder = own->path().toStdString();
    return files::Result::success();
}

files::Result spoolStandardInput(files::TemporaryFile& spool) {
    std::string folder;
    if (files::Result r = workFolder(folder); !r) return r;
    if (files::Result r = spool.create(files::RPP(folder) + "standard-input"); !r) return r;
    std::vector<char> buffer(1 << 16);
    while (true) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), stdin);
        if (n > 0)
            if (files::Result r = spool.write(buffer.data(), n); !r) return r;
        if (n < buffer.size()) {
            if (std::ferror(stdin)) return cannotRead("standard input", errno ? errno : EIO);
            break;
        }
    }
    return spool.closeStream();
}

std::optional<encode::Format> renderFormatOf(const std::string& outPath) {
    for (encode::Format f : {encode::Format::Flac, encode::Format::Vorbis, encode::Format::Opus})
        if (files::endsWithNoCase(outPath, encode::formatInfo(f).extension)) return f;
    return std::nullopt;
}

files::Result copyToStream(const std::string& path, std::ostream& out) {
    const FilePtr in = openForReading(path);
    if (!in) return cannotRead("\"" + path + "\"", errno);
    std::vector<char> buffer(1 << 16);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
        if (!out.write(buffer.data(), std::streamsize(n)))
            return files::Result::failure("cannot write to standard output");
    }
    if (std::ferror(in.get())) return cannotRead("\"" + path + "\"", errno ? errno : EIO);
    if (!out.flush()) return files::Result::failure("cannot write to standard output");
    return files::Result::success();
}

}  // namespace cli
