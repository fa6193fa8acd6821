#include "app/window_memory.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QRadioButton>
#include <QScreen>
#include <QWidget>
#include <map>

#include "platform/settings.h"

namespace app {

namespace {

// The controls whose state each window keeps, by object name.
const std::map<QString, QStringList>& rememberedControls() {
    static const std::map<QString, QStringList> controls = {
        {"frmDemo", {"optExtractMode_0", "optExtractMode_1", "cmbWMAEncodingBitrate"}},
    };
    return controls;
}

QString key(const QWidget* window, const QString& what) {
    return "windows/" + window->objectName() + "/" + what;
}

bool remembers(const QObject* o) {
    const auto* w = qobject_cast<const QWidget*>(o);
    return w && (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog) &&
           !w->objectName().isEmpty();
}

}  // namespace

bool WindowMemory::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && remembers(watched)) {
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && !window->property("quorvinRestored").toBool()) {
            window->setProperty("quorvinRestored", true);
            restore(window);
        } else if (event->type() == QEvent::Hide) {
            save(window);
        }
    }
    return QObject::eventFilter(watched, event);
}

void WindowMemory::restore(QWidget* window) {
    QSettings& s = platform::settings();
    const QByteArray geometry = s.value(key(window, "geometry")).toByteArray();
    if (!geometry.isEmpty()) window->restoreGeometry(geometry);
    // Never larger than the screen it is on.
    if (QScreen* screen = window->screen()) {
        const QSize room = screen->availableGeometry().size();
        if (window->width() > room.width() || window->height() > room.height())
            window->resize(window->size().boundedTo(room));
    }
    const auto it = rememberedControls().find(window->objectName());
    if (it == rememberedControls().end()) return;
    for (const QString& name : it->second) {
        const QVariant value = s.value(key(window, name));
        if (!value.isValid()) continue;
        if (auto* option = window->findChild<QRadioButton*>(name)) {
            if (value.toBool() && !option->isChecked()) option->click();  // as the user would
        } else if (auto* list = window->findChild<QComboBox*>(name)) {
            const int index = value.toInt();
            if (index >= 0 && index < list->count()) list->setCurrentIndex(index);
        }
    }
}

void WindowMemory::save(QWidget* window) {
    QSettings& s = platform::settings();
    s.setValue(key(window, "geometry"), window->saveGeometry());
    const auto it = rememberedControls().find(window->objectName());
    if (it == rememberedControls().end()) return;
    for (const QString& name : it->second) {
        if (auto* option = window->findChild<QRadioButton*>(name))
            s.setValue(key(window, name), option->isChecked());
        else if (auto* list = window->findChild<QComboBox*>(name))
            s.setValue(key(window, name), list->currentIndex());
    }
}

void WindowMemory::saveAll() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && remembers(w)) save(w);
    platform::settings().sync();
}

}  // namespace app
