#include "platform/platform.h"

#include <stdexcept>

namespace platform {

namespace {
std::unique_ptr<Platform>& slot() {
    static std::unique_ptr<Platform> p;
    return p;
}
}  // namespace

Platform& Platform::instance() {
    auto& p = slot();
    if (!p) throw std::logic_error("no platform installed");
    return *p;
}

std::unique_ptr<Platform> Platform::install(std::unique_ptr<Platform> p) {
    auto old = std::move(slot());
    slot() = std::move(p);
    return old;
}

Answer message(const std::string& text, const std::string& title, Icon icon, Buttons buttons) {
    return Platform::instance().messageBox(MessageBox{text, title, icon, buttons});
}

}  // namespace platform
