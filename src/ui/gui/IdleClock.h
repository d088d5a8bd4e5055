#pragma once

#include <QElapsedTimer>
#include <QObject>

namespace ui::gui {

// Seconds since the operator last touched keyboard or mouse. On an X server with the
// screen-saver extension that is the desktop's own idle counter (input to any window counts);
// elsewhere (Wayland, the offscreen platform) the last input to this application's windows.
class IdleClock : public QObject {
public:
    IdleClock();
    ~IdleClock() override;

    unsigned seconds();
    // Input reached the application (used where the desktop does not tell).
    void touched() { lastInput.restart(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool queryDesktop(unsigned long& ms);

    QElapsedTimer lastInput;
    void* display = nullptr; // the X display of the application, when it has one
    bool desktopWorks = false;
};

} // namespace ui::gui
