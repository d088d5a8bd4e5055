#pragma once

#include <string>

#include "util/GbkText.h"

namespace ui {

// What the main window shows that the controller decides: captions, colours and which
// controls are down or visible. The window copies it onto its controls after every event and
// tick (GBK texts, converted there).
struct MainWindowState {
    std::string userCaption = util::utf8ToGbk("用户未登陆");       // PL_user
    bool userGreen = false;                                        // the video server is logged in
    std::string carSynCaption = util::utf8ToGbk("车辆资料");       // BT_carSYN
    bool carSynGreen = false;                                      // the vehicle data is loaded
    std::string accFlushCaption = util::utf8ToGbk("状态自动同步"); // BT_carAccFlush
    std::string timeText;                                          // Panel_PBtime
    std::string findText;                                          // ED_findcar
    std::string devName;                                           // ED_devname
    bool carPanelVisible = true;                                   // Panel_car
    bool viewDown = true;                                          // TB_view
    bool stopAllVisible = true;                                    // TB_stopall
    bool playAllVisible = true;                                    // TB_playall
};

} // namespace ui
