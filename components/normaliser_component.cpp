#include "components/normaliser_component.h"

#include <QEventLoop>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "engine/engine_ext.h"
#include "files/wave_header.h"

namespace fs = std::filesystem;

namespace {

bool looksLikeWav(const std::string& path) {
    std::ifstream f(fs::path(path), std::ios::binary);
    char head[12] = {};
    if (!f.read(head, sizeof head)) return false;
    return std::equal(head, head + 4, "RIFF") && std::equal(head + 8, head + 12, "WAVE");
}

std::string temporaryBeside(const std::string& destination) {
    static std::mt19937 rng{std::random_device{}()};
    const fs::path dest(destination);
    for (;;) {
        fs::path t = dest;
        t += ".normalising-" + std::to_string(rng() % 1000000) + ".tmp";
        if (!fs::exists(t)) return t.string();
    }
}

}  // namespace

NormaliserComponent::NormaliserComponent(QObject* parent) : QObject(parent) {}
NormaliserComponent::~NormaliserComponent() = default;

double NormaliserComponent::parsePercent(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin) return -1;
    while (*end == ' ' || *end == '\t' || *end == '%') ++end;
    if (*end != '\0' || !std::isfinite(v) || v < 1.0 || v > 100.0) return -1;
    return v;
}

std::string NormaliserComponent::normalizeFile(const std::string& source,
                                               const std::string& destination, double percent,
                                               const std::function<void(double)>& report,
                                               const std::atomic<bool>* cancel) {
    if (!(percent >= 1.0 && percent <= 100.0))
        return "The percentage must be a number from 1 to 100.";
    if (!looksLikeWav(source)) return "\"" + source + "\" is not a readable WAV file.";
    int error = 0;
    auto src = engine::openFileSource(source, &error);
    if (!src) return "\"" + source + "\" is not a readable WAV file.";
    const int channels = src->channels();
    const int64_t total = std::max<int64_t>(1, src->lengthFrames());

    constexpr int64_t kBlock = 16384;
    std::vector<int16_t> buf(size_t(kBlock * channels));
    auto cancelled = [&] { return cancel && cancel->load(); };

    // Pass 1: the peak.
    int peak = 0;
    int64_t done = 0;
    for (;;) {
        const int64_t n = src->read(buf.data(), kBlock);
        if (n < 0) return "\"" + source + "\" could not be read to the end.";
        if (n == 0) break;
        for (int64_t i = 0; i < n * channels; ++i)
            peak = std::max(peak, std::abs(int(buf[size_t(i)])));
        done += n;
        if (report) report(std::min(49.0, 50.0 * double(done) / double(total)));
        if (cancelled()) return "Normalising was stopped.";
    }
    if (!src->seek(0)) return "\"" + source + "\" could not be read again.";

    // Pass 2: scale into a temporary file beside the destination.
    const std::string temp = temporaryBeside(destination);
    files::WaveWriter writer;
    if (!writer.create(temp, files::WaveHeader::forFormat(channels, src->rate(), false))) {
        std::error_code ec;
        fs::remove(fs::path(temp), ec);
        return "Cannot write \"" + destination + "\": " + writer.error();
    }
    auto fail = [&](const std::string& why) {
        writer.finish();
        std::error_code ec;
        fs::remove(fs::path(temp), ec);
        return why;
    };
    const double target = percent / 100.0 * 32767.0;
    const double scale = peak > 0 ? target / double(peak) : 1.0;
    done = 0;
    for (;;) {
        const int64_t n = src->read(buf.data(), kBlock);
        if (n < 0) return fail("\"" + source + "\" could not be read to the end.");
        if (n == 0) break;
        for (int64_t i = 0; i < n * channels; ++i) {
            const long v = std::lround(double(buf[size_t(i)]) * scale);
            buf[size_t(i)] = int16_t(std::clamp(v, -32768L, 32767L));
        }
        if (!writer.append(buf.data(), size_t(n * channels) * sizeof(int16_t)))
            return fail("Cannot write \"" + destination + "\": " + writer.error());
        done += n;
        if (report) report(std::min(99.0, 50.0 + 49.0 * double(done) / double(total)));
        if (cancelled()) return fail("Normalising was stopped.");
    }
    src.reset();
    if (!writer.finish()) return fail("Cannot write \"" + destination + "\": " + writer.error());
    std::error_code ec;
    fs::rename(fs::path(temp), fs::path(destination), ec);
    if (ec) {
        fs::remove(fs::path(temp), ec);
        return "Cannot replace \"" + destination + "\": " + ec.message();
    }
    return {};
}

std::string NormaliserComponent::Normalize(const std::string& source,
                                           const std::string& destination,
                                           const std::string& percent) {
    const double p = parsePercent(percent);
    if (p < 0) return "The percentage must be a number from 1 to 100 (\"" + percent + "\").";

    std::string result;
    std::atomic<bool> finished{false};
    QEventLoop loop;
    int lastWhole = -1;
    std::thread worker([&] {
        result = normalizeFile(
            source, destination, p,
            [&](double v) {
                // One report per whole percent is plenty for a progress bar.
                const int whole = int(v);
                if (whole == lastWhole) return;
                lastWhole = whole;
                QMetaObject::invokeMethod(
                    this, [this, v] { emit progress(v); }, Qt::QueuedConnection);
            },
            nullptr);
        finished = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    // Reports queued before the quit are delivered before the loop ends.
    while (!finished) loop.exec();
    worker.join();
    if (result.empty()) emit progress(100.0);
    return result;
}
