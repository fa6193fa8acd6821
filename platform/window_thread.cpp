#include "platform/window_thread.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace platform {

void postToWindowThread(std::function<void()> work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

}  // namespace platform
