// The X server's idle counter (screen-saver extension), kept apart from Qt's headers.

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace ui::gui {

bool screenSaverExtension(void* display) {
    int eventBase = 0, errorBase = 0;
    return XScreenSaverQueryExtension(static_cast<Display*>(display), &eventBase, &errorBase) != 0;
}

bool screenSaverIdleMs(void* display, unsigned long& ms) {
    Display* d = static_cast<Display*>(display);
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (info == nullptr) return false;
    const bool ok = XScreenSaverQueryInfo(d, DefaultRootWindow(d), info) != 0;
    ms = info->idle;
    XFree(info);
    return ok;
}

} // namespace ui::gui
