// The meter window on FLTK: menu bar, tool bar, the instrument drawn with cairo into an image,
// the status bar with its progress bar; file choosers, message boxes, the clipboard and drops.
// The only code of the window that sees the toolkit.
#pragma once

#include <FL/Fl_Double_Window.H>

#include <optional>
#include <string>
#include <vector>

#include "meterwin/meter_view.h"

class Fl_Box;
class Fl_Button;
class Fl_Choice;
class Fl_Group;
class Fl_Widget;
class Fl_Light_Button;
class Fl_Menu_Bar;
class Fl_Progress;
struct Fl_Menu_Item;

namespace wobblemeter {

class InstrumentBox;
class MeterWindow;

class MeterFrame final : public Fl_Double_Window, public MeterView {
public:
    MeterFrame();
    ~MeterFrame() override;
    // The logic the controls drive; set once, before the window is shown.
    void Attach(MeterWindow* logic) { logic_ = logic; }
    MeterWindow* Logic() const { return logic_; }
    // Shows the controls as last set again: a switch the user flipped shows what the logic
    // made of it (a cancelled file dialog leaves it off).
    void Resync() { SetControls(controls_); }

    void Show(const Display& display) override;
    void SetControls(const Controls& controls) override;
    std::optional<std::string> AskForFile(FileKind kind, const std::string& suggestion) override;
    std::optional<std::string> AskForText(const std::string& prompt,
                                          const std::string& suggestion) override;
    void ShowMessage(const std::string& text) override;
    void CopyText(const std::string& text) override;
    void resize(int x, int y, int w, int h) override;
    // The smallest size the window is laid out for, and the size it opens at.
    static int MinimumWidth();
    static int MinimumHeight();
    static int DefaultWidth();
    static int DefaultHeight();

    // What is wrong with the layout as it stands, one line each: two widgets (with the labels
    // drawn beside them) that overlap, a widget outside the window, a status line that is not
    // the one last given (status) laid out for the window's width, wider than its room or
    // that lost its last words. Empty: none. For the layout's test.
    std::vector<std::string> LayoutFaults(const std::string& status) const;

private:
    void BuildMenu();
    void BuildToolBar();
    void LayOutToolBar();
    // The status line as it fits the status bar, shown, and the room its lines have.
    std::vector<std::string> StatusShown(const std::string& status) const;
    std::vector<std::string> StatusFaults(const std::string& status) const;
    void ShowStatus();
    int StatusRoom() const;
    static int LabelWidth(const Fl_Widget* widget);
    // The menu's item of a path such as "&File/&Open...".
    Fl_Menu_Item* Item(const char* path) const;

    MeterWindow* logic_ = nullptr;
    Fl_Menu_Bar* menu_ = nullptr;
    Fl_Group* toolBar_ = nullptr;
    Fl_Choice* device_ = nullptr;
    Fl_Button* start_ = nullptr;
    Fl_Button* stop_ = nullptr;
    Fl_Light_Button* log_ = nullptr;
    Fl_Light_Button* record_ = nullptr;
    Fl_Choice* scale_ = nullptr;
    Fl_Choice* platter_ = nullptr;
    Fl_Button* open_ = nullptr;
    InstrumentBox* instrument_ = nullptr;
    Fl_Box* status_ = nullptr;
    Fl_Progress* progress_ = nullptr;
    std::string statusText_;
    Controls controls_;
    bool controlsSet_ = false;
};

}  // namespace wobblemeter
