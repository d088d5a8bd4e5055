#pragma once

#include <QTimer>
#include <QWidget>
#include <fstream>
#include <memory>
#include <string>

#include "ui/Desktop.h"
#include "ui/LoginWindow.h"
#include "ui/MainControl.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeView;
class QFrame;

namespace api::gui {
class QtVehicleTreeView;
class TFormlogin;
} // namespace api::gui

namespace ui::gui {

class CaptionIcons;
class IdleClock;
class PaintBox;

// The main window: the vehicle panel, the two toolbars, the picture area and the status line.
// Its controls turn into calls on MainControl, which decides; after every event and tick the
// window copies the controller's state onto the controls. It is also the desktop the logic
// shows its boxes on.
class TForm1 : public QWidget, public Desktop {
    Q_OBJECT

public:
    // `programDir` (GBK, ending with "/") holds the settings, the log and the manual.
    explicit TForm1(const std::string& programDir, MainControl::Parts parts = {});
    ~TForm1() override;

    MainControl& logic() { return *control; }
    api::gui::TFormlogin& loginDialog() { return *formLogin; }
    PaintBox& pictureArea() { return *PaintBox1; }
    QTreeView& carTree() { return *CarTree_obj; }
    // Writes the once-a-second stats line to this file.
    bool setStatsFile(const std::string& path);
    // Runs the start-up (settings, timer, login dialog); call once the window is shown.
    void start();
    // Copies the controller's state onto the controls.
    void syncControls();

    // --- Desktop ---
    void Inform(std::string_view caption, std::string_view text) override;
    void Error(std::string_view caption, std::string_view text) override;
    bool ConfirmError(std::string_view caption, std::string_view text) override;
    bool AskYesNo(std::string_view caption, std::string_view text) override;
    unsigned IdleSeconds() override;
    void OpenPath(const std::string& path) override;

    // The controls, named as the window describes them.
    QFrame* Panel_car;
    QLineEdit* ED_findcar;
    QLabel* Label1;
    QLineEdit* ED_devname;
    QLabel* PL_user;
    QPushButton* BT_carAccFlush;
    QPushButton* BT_carSYN;
    QTreeView* CarTree_obj;
    QToolButton* TB_cartree;
    QToolButton* TB_view;
    QToolButton* TB_stopall;
    QToolButton* TB_playall;
    QToolButton* TB_file;
    QToolButton* TB_upscreen;
    QToolButton* TB_uppic;
    QToolButton* TB_downpic;
    QToolButton* TB_downscreen;
    QToolButton* TB_2pic;
    QToolButton* TB_4pic;
    QToolButton* TB_6pic;
    QToolButton* TB_9pic;
    QToolButton* TB_16pic;
    QToolButton* TB_fullscreen;
    QToolButton* TB_close;
    QFrame* Panel_PB;
    QFrame* Panel_playback;
    PaintBox* PaintBox1;
    QLabel* Panel_PBtime;
    QTimer Timer1;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class LoginAdapter;

    void build();
    QToolButton* toolButton(const char* name, const QString& caption, const QString& hint);
    const api::TRNode* selectedNode() const;
    void Timer1Timer();
    void TB_fullscreenClick();
    void deferBox(int icon, const QString& caption, const QString& text);

    std::unique_ptr<MainControl> control;
    std::unique_ptr<CaptionIcons> icons;
    std::unique_ptr<IdleClock> idle;
    api::gui::TFormlogin* formLogin = nullptr;
    std::unique_ptr<LoginAdapter> loginAdapter;
    std::unique_ptr<api::gui::QtVehicleTreeView> treeView;
    std::ofstream statsFile;
    QRect savedBounds;
    bool closing = false;
};

} // namespace ui::gui
