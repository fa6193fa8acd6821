#include "files/texts.h"

#include <atomic>
#include <vector>

namespace files {

namespace {
std::atomic<Translate> installed{nullptr};
}  // namespace

void setTranslate(Translate translate) {
    installed = translate;
}

std::string userText(const char* context, const char* source) {
    const Translate t = installed.load();
    return t ? t(context, source) : std::string(source);
}

std::string fillIn(const std::string& text, std::initializer_list<std::string> args) {
    const std::vector<std::string> a(args);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9' &&
            size_t(text[i + 1] - '1') < a.size()) {
            out += a[size_t(text[i + 1] - '1')];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace files
