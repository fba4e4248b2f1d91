#include "search/blocking_call.h"

#include <QCoreApplication>
#include <QThread>

#include "platform/error_box.h"

namespace {

void runWork(const std::function<void()>& work) {
    try {
        platform::runGuarded(work);
    } catch (...) {
        // Not a std::exception: nothing to show, and nothing may cross the event loop.
    }
}

}  // namespace

BlockingCaller::BlockingCaller(QObject* parent) : QObject(parent) {}

BlockingCaller::~BlockingCaller() {
    {
        std::lock_guard<std::mutex> hold(m_);
        closed_ = true;
        for (Call* c : pending_) c->done = true;
        pending_.clear();
    }
    doneChanged_.notify_all();
}

void BlockingCaller::call(const std::function<void()>& f) {
    if (QThread::currentThread() == thread()) {
        runWork(f);
        return;
    }
    Call c{&f};
    {
        std::lock_guard<std::mutex> hold(m_);
        if (closed_) return;
        pending_.push_back(&c);
    }
    QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    std::unique_lock<std::mutex> wait(m_);
    doneChanged_.wait(wait, [&c] { return c.done; });
}

void BlockingCaller::drain() {
    for (;;) {
        Call* c = nullptr;
        {
            std::lock_guard<std::mutex> hold(m_);
            if (pending_.empty()) break;
            c = pending_.front();
            pending_.pop_front();
        }
        runWork(*c->work);
        {
            std::lock_guard<std::mutex> hold(m_);
            c->done = true;
        }
        doneChanged_.notify_all();
    }
}
