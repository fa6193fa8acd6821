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
#include "files/wave_header.h"
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

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
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

files::Result encodeRender(const std::string& wavPath, encode::Format format,
                           const std::string& outPath, const encode::Tags& tags) {
    const FilePtr in = openForReading(wavPath);
    uint8_t header[files::kWaveHeaderBytes];
    if (!in || std::fread(header, 1, sizeof header, in.get()) != sizeof header)
        return cannotRead("the render \"" + wavPath + "\"", errno ? errno : EIO);
    const int channels = le16(header + 22);
    const int rate = int(le32(header + 24));
    const int bits = le16(header + 34);
    uint64_t left = le32(header + 40);

    encode::OpenRequest request;
    request.path = outPath;
    request.tags = tags;
    request.rate = rate;
    request.channels = channels;
    std::string error;
    const std::unique_ptr<encode::FileEncoder> encoder =
        encode::openEncoder(format, request, error);
    if (!encoder) return files::Result::failure(error);

    std::vector<uint8_t> block(1 << 16);
    std::vector<int16_t> wide;
    while (left > 0) {
        const size_t want = size_t(std::min<uint64_t>(left, block.size()));
        const size_t n = std::fread(block.data(), 1, want, in.get());
        if (n == 0) return cannotRead("the render \"" + wavPath + "\"", errno ? errno : EIO);
        left -= n;
        bool ok;
        if (bits == 8) {  // unsigned 8-bit: widened to the encoders' 16 bits
            wide.resize(n);
            for (size_t i = 0; i < n; ++i) wide[i] = int16_t((int(block[i]) - 128) * 256);
            ok = encoder->write(reinterpret_cast<const uint8_t*>(wide.data()), n * 2);
        } else {
            ok = encoder->write(block.data(), n);
        }
        if (!ok) return files::Result::failure(encoder->error());
    }
    if (!encoder->finish()) return files::Result::failure(encoder->error());
    return files::Result::success();
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
