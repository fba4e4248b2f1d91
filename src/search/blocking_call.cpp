#include "search/blocking_call.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include "platform/error_box.h"

namespace {

QEvent::Type callEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

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
    QCoreApplication::postEvent(this, new QEvent(callEventType()));
    std::unique_lock<std::mutex> wait(m_);
    doneChanged_.wait(wait, [&c] { return c.done; });
}

bool BlockingCaller::event(QEvent* e) {
    if (e->type() != callEventType()) return QObject::event(e);
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
    return true;
}
