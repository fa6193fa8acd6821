#include "platform/settings.h"

#include <memory>

namespace platform {

namespace {

std::unique_ptr<QSettings>& current() {
    static std::unique_ptr<QSettings> s;
    return s;
}

}  // namespace

QSettings& settings() {
    if (!current()) current() = std::make_unique<QSettings>();
    return *current();
}

void useSettingsFile(const std::string& path) {
    if (current()) current()->sync();
    if (path.empty())
        current() = std::make_unique<QSettings>();
    else
        current() = std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat);
}

}  // namespace platform
