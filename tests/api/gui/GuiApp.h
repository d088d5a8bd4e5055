#pragma once

#include <QApplication>
#include <QDir>
#include <QWidget>
#include <string>

namespace apitest {

// The one application object of a window test program, made by its main.
inline QApplication& guiApp() {
    return *static_cast<QApplication*>(QCoreApplication::instance());
}

// With TAVRINA_SCREENSHOTS naming a folder, a window is saved there as NAME.png.
inline void screenshot(QWidget& w, const char* name) {
    const QString dir = qEnvironmentVariable("TAVRINA_SCREENSHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    w.grab().save(dir + "/" + name + ".png");
}

} // namespace apitest
