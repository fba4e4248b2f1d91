#pragma once
// Runs work on the thread that owns this object and makes the calling thread wait for it: the
// search dialog's worker-side handlers update widgets this way.
//
// Threads: call() from any thread; the work runs on the owner's thread when its event loop
// (or a processEvents call) delivers the posted event. The hand-over goes through m_ only, so
// that thread checkers see the order. Destroying the object completes waiting calls without
// running them.

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class BlockingCaller : public QObject {
    Q_OBJECT
public:
    explicit BlockingCaller(QObject* parent = nullptr);
    ~BlockingCaller() override;

    // Runs `f` on this object's thread and returns when it has run; runs it at once when
    // called there. An error `f` throws is shown by the standard error box, on that thread.
    void call(const std::function<void()>& f);

private:
    // Runs the waiting calls; queued by call(). Every access to shared state starts by taking
    // m_, nothing is read from the queued event itself.
    Q_INVOKABLE void drain();

    struct Call {
        const std::function<void()>* work;
        bool done = false;
    };

    std::mutex m_;
    std::condition_variable doneChanged_;
    std::deque<Call*> pending_;  // guarded by m_
    bool closed_ = false;        // guarded by m_
};
