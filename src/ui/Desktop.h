#pragma once

#include <string_view>

namespace ui {

// The boxes the logic shows to the operator; a window class implements it, tests record it.
class Desktop {
public:
    virtual ~Desktop() = default;
    // An information box kept on top of all windows; returns once it is dismissed. GBK.
    virtual void Inform(std::string_view caption, std::string_view text) = 0;
};

} // namespace ui
