#include "ui/gui/IdleClock.h"

#include <QEvent>
#include <QGuiApplication>

namespace ui::gui {

// In a file of their own: the X headers' macros clash with Qt's names.
bool screenSaverExtension(void* display);
bool screenSaverIdleMs(void* display, unsigned long& ms);

IdleClock::IdleClock() {
    lastInput.start();
    qApp->installEventFilter(this);
    if (QGuiApplication::platformName() == "xcb") {
        if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>())
            display = x11->display();
    }
    desktopWorks = display != nullptr && screenSaverExtension(display);
}

IdleClock::~IdleClock() {
    qApp->removeEventFilter(this);
}

bool IdleClock::queryDesktop(unsigned long& ms) {
    return desktopWorks && screenSaverIdleMs(display, ms);
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
