#pragma once

#include <QIcon>

namespace api::gui {

// The vehicle tree's eight images, drawn here: 0 organisation (first level), 1 organisation
// (second level), 2 vehicle online, 3 vehicle offline, 4 terminal, 5 channel, 6 terminal online,
// 7 terminal offline. Needs the application object; made on first use.
class TreeImages {
public:
    static constexpr int kCount = 8;
    // An empty icon for an index outside 0 to 7.
    static const QIcon& icon(int index);
};

} // namespace api::gui
