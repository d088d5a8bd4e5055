#include "ui/gui/IdleClock.h"

#include <QEvent>
#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace ui::gui {

IdleClock::IdleClock() {
    lastInput.start();
    qApp->installEventFilter(this);
    if (QGuiApplication::platformName() == "xcb") {
        if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>())
            display = x11->display();
    }
    int eventBase = 0, errorBase = 0;
    desktopWorks = display != nullptr &&
                   XScreenSaverQueryExtension(static_cast<Display*>(display), &eventBase,
                                              &errorBase);
}

IdleClock::~IdleClock() {
    qApp->removeEventFilter(this);
}

bool IdleClock::queryDesktop(unsigned long& ms) {
    if (!desktopWorks) return false;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (info == nullptr) return false;
    const bool ok = XScreenSaverQueryInfo(static_cast<Display*>(display),
                                          DefaultRootWindow(static_cast<Display*>(display)),
                                          info) != 0;
    ms = info->idle;
    XFree(info);
    return ok;
}

unsigned IdleClock::seconds() {
    unsigned long ms = 0;
    if (!queryDesktop(ms)) ms = static_cast<unsigned long>(lastInput.elapsed());
    return static_cast<unsigned>(ms / 1000);
}

bool IdleClock::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        touched();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace ui::gui
