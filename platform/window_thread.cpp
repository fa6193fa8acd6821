#include "platform/window_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThreadPool>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace platform {

void postToWindowThread(std::function<void()> work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

namespace {

// The work handed off in order; one task of the pool drains it while it is not empty.
struct InOrder {
    std::mutex mutex;
    std::condition_variable drained;
    std::deque<std::function<void()>> queued;
    bool draining = false;
};

InOrder& inOrder() {
    // Never destroyed: the program may end (std::exit) while a task of the pool still holds it.
    static InOrder* const queue = new InOrder;
    return *queue;
}

}  // namespace

void runInOrderOffWindowThread(std::function<void()> work) {
    InOrder& q = inOrder();
    {
        const std::lock_guard lock(q.mutex);
        q.queued.push_back(std::move(work));
        if (q.draining) return;
        q.draining = true;
    }
    QThreadPool::globalInstance()->start([&q] {
        for (;;) {
            std::function<void()> next;
            {
                const std::lock_guard lock(q.mutex);
                if (q.queued.empty()) {
                    q.draining = false;
                    q.drained.notify_all();
                    return;
                }
                next = std::move(q.queued.front());
                q.queued.pop_front();
            }
            next();
        }
    });
}

void finishInOrderWork() {
    InOrder& q = inOrder();
    std::unique_lock lock(q.mutex);
    q.drained.wait(lock, [&] { return !q.draining; });
}

void waitOffWindowThread(const std::function<void()>& work) {
    QEventLoop loop;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    // The program's end quits every loop at once: the work is still waited for.
    worker.join();
}

}  // namespace platform
