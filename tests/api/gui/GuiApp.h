#pragma once

#include <QApplication>
#include <QDir>
#include <QWidget>
#include <string>

namespace apitest {

// The one application object of a window test program.
inline QApplication& guiApp() {
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// With TAVRINA_SCREENSHOTS naming a folder, a window is saved there as NAME.png.
inline void screenshot(QWidget& w, const char* name) {
    const QString dir = qEnvironmentVariable("TAVRINA_SCREENSHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    w.grab().save(dir + "/" + name + ".png");
}

} // namespace apitest
