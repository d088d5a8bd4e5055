#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace tavrina_test {

// The process needs one Qt application object for sockets and timers; a window test's main
// has made one already.
inline QCoreApplication& qtApp() {
    if (QCoreApplication* existing = QCoreApplication::instance()) return *existing;
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop, calling `step` every 30 ms, until `done` holds or `ms` pass.
inline bool runUntil(const std::function<bool()>& done, int ms,
                     const std::function<void()>& step = {}) {
    qtApp();
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (step) step();
        QThread::msleep(5);
    }
    return true;
}

} // namespace tavrina_test
