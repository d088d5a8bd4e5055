#pragma once

#include <string>
#include <string_view>

namespace ui {

// What the logic needs of the desktop: boxes for the operator, the idle time, the file
// browser. A window class implements it; tests record it. Texts are GBK. Boxes are modal and
// kept on top of all windows, and the event loop (the timer, the sockets) goes on while they
// are open. Information and error boxes may return before they are dismissed; the questions
// return the answer.
class Desktop {
public:
    virtual ~Desktop() = default;
    // An information box.
    virtual void Inform(std::string_view caption, std::string_view text) = 0;
    // An error box.
    virtual void Error(std::string_view caption, std::string_view text) { Inform(caption, text); }
    // An error box with OK and Cancel: true for OK.
    virtual bool ConfirmError(std::string_view caption, std::string_view text) {
        Error(caption, text);
        return true;
    }
    // A question with Yes and No: true for Yes.
    virtual bool AskYesNo(std::string_view caption, std::string_view text) {
        Inform(caption, text);
        return true;
    }
    // Seconds since the last keyboard or mouse input.
    virtual unsigned IdleSeconds() { return 0; }
    // Shows a folder or opens a file with the desktop's own program for it.
    virtual void OpenPath(const std::string& path) { (void)path; }
};

} // namespace ui
