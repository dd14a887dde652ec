// The meter window's FLTK front-end: widgets, menus and dialogs that forward to MeterWindow, and
// the instrument drawn by the shared cairo code into an image surface shown with fl_draw_image.
#include "meterwin/fltk/meter_frame.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "meter/message.h"
#include "meterwin/display.h"
#include "meterwin/icon.h"
#include "meterwin/instrument.h"
#include "meterwin/meter_window.h"
#include "res/version.h"

namespace wobblemeter {

namespace {

constexpr const char* kTitle = "Wow and Flutter Meter";
constexpr int kMenuHeight = 25;
constexpr int kToolBarHeight = 38;
// The status bar holds two lines: a long one is broken between its parts (StatusLines).
constexpr int kStatusHeight = 40;
constexpr int kStatusLines = 2;
constexpr int kStatusTextSize = 13;
// Between the status box's edge and its text, and the progress bar's width and margin.
constexpr int kStatusInset = 6;
constexpr int kProgressWidth = 220, kProgressMargin = 6;
constexpr int kDefaultWidth = 1180;
constexpr int kDefaultHeight = 820;

// Menu paths, as added and as looked up again. FLTK sets an item's shortcut hard against the
// longest label of its menu: the labels with shortcuts end in spaces that keep them apart.
#define WOBBLEMETER_GAP "     "
constexpr const char* kOpenItem = "&File/&Open..." WOBBLEMETER_GAP;
constexpr const char* kExportPlotItem = "&File/&Export plot..." WOBBLEMETER_GAP;
constexpr const char* kExportLogItem = "&File/Export &log (CSV)..." WOBBLEMETER_GAP;
constexpr const char* kExportJsonItem = "&File/Export &readings (JSON)..." WOBBLEMETER_GAP;
constexpr const char* kExportReportItem = "&File/Export re&port (PDF)..." WOBBLEMETER_GAP;
constexpr const char* kQuitItem = "&File/&Quit" WOBBLEMETER_GAP;
constexpr const char* kCopyItem = "&Edit/&Copy readings" WOBBLEMETER_GAP;
constexpr const char* kStartItem = "&Measure/&Start" WOBBLEMETER_GAP;
constexpr const char* kStopItem = "&Measure/S&top" WOBBLEMETER_GAP;
constexpr const char* kLogItem = "&Measure/&Log to CSV..." WOBBLEMETER_GAP;
constexpr const char* kRecordItem = "&Measure/&Record to WAV..." WOBBLEMETER_GAP;
#undef WOBBLEMETER_GAP

MeterFrame* FrameOf(Fl_Widget* widget) {
    return static_cast<MeterFrame*>(widget->window());
}

// A callback that calls one action of the logic.
template <void (MeterWindow::*Action)()>
void Call(Fl_Widget* widget, void* frame) {
    MeterWindow* logic = static_cast<MeterFrame*>(frame)->Logic();
    if (logic != nullptr) (logic->*Action)();
    (void)widget;
}

// The same for a switch, which flips itself when used: it then shows what the logic made of it.
template <void (MeterWindow::*Action)()>
void Switch(Fl_Widget* widget, void* frame) {
    Call<Action>(widget, frame);
    static_cast<MeterFrame*>(frame)->Resync();
}

std::string ScaleLabel(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%g %%", percent);
    return text;
}

// The View menu's item of a deviation span: "&View/Deviation s&pan/10 s", ".../Whole stretch".
std::string SpanItem(double seconds) {
    std::string path = "&View/Deviation s&pan/";
    if (seconds > 0.0) {
        char text[32];
        std::snprintf(text, sizeof text, "%g s", seconds);
        path += text;
    } else {
        path += "Whole stretch";
    }
    return path;
}

// An icon image of size x size pixels, drawn by the shared icon code.
Fl_RGB_Image* IconImage(int size) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    DrawMeterIcon(cr, size);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    // Premultiplied native words as straight RGBA bytes.
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    auto* pixels = new unsigned char[static_cast<size_t>(size * size * 4)];
    for (int y = 0; y < size; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        for (int x = 0; x < size; ++x) {
            const std::uint32_t word = row[x];
            const unsigned alpha = word >> 24;
            unsigned char* out = pixels + 4 * (y * size + x);
            for (int c = 0; c < 3; ++c) {
                const unsigned premultiplied = (word >> (16 - 8 * c)) & 0xffu;
                out[c] = static_cast<unsigned char>(
                    alpha == 0 ? 0 : std::min(255u, (premultiplied * 255 + alpha / 2) / alpha));
            }
            out[3] = static_cast<unsigned char>(alpha);
        }
    }
    cairo_surface_destroy(surface);
    auto* image = new Fl_RGB_Image(pixels, size, size, 4);
    image->alloc_array = 1;  // the image frees the pixels
    return image;
}

// The status bar's label of these lines: one under the other, each '@' doubled (FLTK draws
// "@..." as a symbol, "@@" as the character itself); a space where there is none.
std::string StatusLabel(const std::vector<std::string>& lines) {
    std::string label;
    for (const std::string& line : lines) {
        if (!label.empty()) label += '\n';
        for (const char c : line) label += c == '@' ? std::string("@@") : std::string(1, c);
    }
    return label.empty() ? " " : label;
}

}  // namespace

// The instrument face: the display drawn with cairo into an image of the widget's size, redrawn
// when the display or the size changes; files dropped on it are opened.
class InstrumentBox final : public Fl_Widget {
public:
    InstrumentBox(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}
    ~InstrumentBox() override {
        if (surface_ != nullptr) cairo_surface_destroy(surface_);
    }
    InstrumentBox(const InstrumentBox&) = delete;
    InstrumentBox& operator=(const InstrumentBox&) = delete;

    void Set(const Display& display) {
        display_ = display;
        stale_ = true;
        redraw();
    }

    void draw() override {
        if (surface_ == nullptr || width_ != w() || height_ != h()) {
            if (surface_ != nullptr) cairo_surface_destroy(surface_);
            width_ = w();
            height_ = h();
            surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_, height_);
            stale_ = true;
        }
        if (stale_) {
            cairo_t* cr = cairo_create(surface_);
            DrawInstrument(cr, display_, width_, height_, mouseX_, mouseY_);
            cairo_destroy(cr);
            cairo_surface_flush(surface_);
            stale_ = false;
        }
        if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return;
        fl_draw_image(Row, this, x(), y(), width_, height_, 3);
    }

    int handle(int event) override {
        switch (event) {
            case FL_DND_ENTER:
            case FL_DND_DRAG:
            case FL_DND_LEAVE:
            case FL_DND_RELEASE:
                return 1;
            // The mouse over the panels: their readout where it is, drawn afresh.
            case FL_ENTER:
            case FL_MOVE:
                Mouse(Fl::event_x() - x(), Fl::event_y() - y());
                return 1;
            case FL_LEAVE:
                Mouse(kNoMouse, kNoMouse);
                return 1;
            case FL_PASTE: {
                MeterWindow* logic = FrameOf(this)->Logic();
                if (logic != nullptr && Fl::event_text() != nullptr)
                    logic->OnDrop(
                        std::string(Fl::event_text(), static_cast<size_t>(Fl::event_length())));
                return 1;
            }
            default:
                return Fl_Widget::handle(event);
        }
    }

private:
    static constexpr double kNoMouse = std::numeric_limits<double>::quiet_NaN();

    void Mouse(double x, double y) {
        mouseX_ = x;
        mouseY_ = y;
        stale_ = true;
        redraw();
    }

    // One row of the surface as RGB bytes: each pixel is a native word 0x00RRGGBB.
    static void Row(void* data, int x, int y, int w, uchar* out) {
        const auto* box = static_cast<const InstrumentBox*>(data);
        const unsigned char* pixels = cairo_image_surface_get_data(box->surface_);
        const auto* words = reinterpret_cast<const std::uint32_t*>(
                                pixels + y * cairo_image_surface_get_stride(box->surface_)) +
                            x;
        for (int i = 0; i < w; ++i) {
            out[3 * i] = static_cast<uchar>(words[i] >> 16);
            out[3 * i + 1] = static_cast<uchar>(words[i] >> 8);
            out[3 * i + 2] = static_cast<uchar>(words[i]);
        }
    }

    Display display_;
    bool stale_ = true;
    cairo_surface_t* surface_ = nullptr;
    int width_ = 0, height_ = 0;
    double mouseX_ = kNoMouse, mouseY_ = kNoMouse;  // over the instrument; NaN: elsewhere
};

MeterFrame::MeterFrame() : Fl_Double_Window(kDefaultWidth, kDefaultHeight, kTitle) {
    xclass("wobblemeter-gui");
    static Fl_RGB_Image* icon = IconImage(32);
    this->icon(icon);
    BuildMenu();
    BuildToolBar();
    const int instrumentTop = kMenuHeight + kToolBarHeight;
    instrument_ = new InstrumentBox(0, instrumentTop, w(), h() - instrumentTop - kStatusHeight);
    auto* status = new Fl_Group(0, h() - kStatusHeight, w(), kStatusHeight);
    // The progress bar lies at the status line's right end while a file is read; the line
    // keeps clear of it.
    status_ = new Fl_Box(0, h() - kStatusHeight, w(), kStatusHeight);
    status_->box(FL_THIN_DOWN_BOX);
    status_->labelsize(kStatusTextSize);
    status_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    progress_ = new Fl_Progress(w() - kProgressWidth - kProgressMargin,
                                h() - kStatusHeight + kProgressMargin, kProgressWidth,
                                kStatusHeight - 2 * kProgressMargin);
    progress_->minimum(0.0f);
    progress_->maximum(1.0f);
    progress_->selection_color(FL_DARK_BLUE);
    progress_->labelcolor(FL_WHITE);
    progress_->hide();
    status->resizable(status_);
    status->end();
    status_->label(" ");
    end();
    resizable(instrument_);
    size_range(MinimumWidth(), MinimumHeight());
    callback(
        [](Fl_Widget* widget, void*) {
            // Escape does not close a measuring instrument; the close button and Quit do.
            if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
            auto* frame = static_cast<MeterFrame*>(widget);
            // The log and the recording are finished before the window goes; what could not
            // be written is said.
            if (frame->Logic() != nullptr) {
                const std::string failed = frame->Logic()->OnClose();
                if (!failed.empty()) frame->ShowMessage(failed);
            }
            frame->hide();
        },
        nullptr);
}

MeterFrame::~MeterFrame() = default;

int MeterFrame::MinimumWidth() {
    return kInstrumentMinWidth + 60;
}

int MeterFrame::MinimumHeight() {
    return kInstrumentMinHeight + kMenuHeight + kToolBarHeight + kStatusHeight;
}

int MeterFrame::DefaultWidth() {
    return kDefaultWidth;
}

int MeterFrame::DefaultHeight() {
    return kDefaultHeight;
}

void MeterFrame::BuildMenu() {
    menu_ = new Fl_Menu_Bar(0, 0, w(), kMenuHeight);
    menu_->box(FL_FLAT_BOX);
    menu_->add(kOpenItem, FL_CTRL + 'o', Call<&MeterWindow::OnOpen>, this);
    menu_->add(kExportPlotItem, FL_CTRL + 'e', Call<&MeterWindow::OnExportPlot>, this);
    menu_->add(kExportLogItem, FL_CTRL + 'l', Call<&MeterWindow::OnExportLog>, this);
    menu_->add(kExportJsonItem, FL_CTRL + 'j', Call<&MeterWindow::OnExportJson>, this);
    menu_->add(kExportReportItem, FL_CTRL + 'p', Call<&MeterWindow::OnExportReport>, this,
               FL_MENU_DIVIDER);
    menu_->add(
        kQuitItem, FL_CTRL + 'q', [](Fl_Widget* widget, void*) { widget->window()->do_callback(); },
        this);
    menu_->add(kCopyItem, FL_CTRL + 'c', Call<&MeterWindow::OnCopy>, this);
    menu_->add(kStartItem, FL_F + 5, Call<&MeterWindow::OnStart>, this);
    menu_->add(kStopItem, FL_SHIFT + FL_F + 5, Call<&MeterWindow::OnStop>, this, FL_MENU_DIVIDER);
    menu_->add(kLogItem, FL_CTRL + FL_SHIFT + 'l', Switch<&MeterWindow::OnLog>, this,
               FL_MENU_TOGGLE);
    menu_->add(kRecordItem, FL_CTRL + FL_SHIFT + 'r', Switch<&MeterWindow::OnRecord>, this,
               FL_MENU_TOGGLE);
    for (size_t scale = 0; scale < kBarScales.size(); ++scale) {
        const std::string path = "&View/Bar meter &scale/" + ScaleLabel(kBarScales[scale]);
        menu_->add(
            path.c_str(), 0,
            [](Fl_Widget* widget, void* index) {
                MeterWindow* logic = FrameOf(widget)->Logic();
                if (logic != nullptr) logic->OnScaleChosen(reinterpret_cast<size_t>(index));
            },
            reinterpret_cast<void*>(scale), FL_MENU_RADIO);
    }
    for (size_t span = 0; span < kDeviationSpans.size(); ++span) {
        menu_->add(
            SpanItem(kDeviationSpans[span]).c_str(), 0,
            [](Fl_Widget* widget, void* index) {
                MeterWindow* logic = FrameOf(widget)->Logic();
                if (logic != nullptr) logic->OnSpanChosen(reinterpret_cast<size_t>(index));
            },
            reinterpret_cast<void*>(span), FL_MENU_RADIO);
    }
    menu_->add(
        "&Help/&About wobblemeter-gui...", 0,
        [](Fl_Widget*, void*) {
            fl_message_title(kTitle);
            fl_message(
                "wobblemeter-gui version %s\n\nThe wow-and-flutter meter of wobblegen: "
                "live from a sound card's input, or from a recording.",
                WOBBLEGEN_VERSION_TEXT);
        },
        this);
}

namespace {

// The tool bar's widths: the device chooser's widest and narrowest, the buttons and switches,
// the choice of scale and the gaps between them; the labels "Input" and "Bar scale" are drawn
// left of their choosers.
constexpr int kDeviceLeft = 52;
constexpr int kDeviceMost = 300, kDeviceLeast = 100;
constexpr int kButtonWidth = 64, kLogWidth = 92, kRecordWidth = 110, kScaleWidth = 76,
              kPlatterWidth = 72, kOpenWidth = 80;
constexpr int kSmallGap = 4, kGap = 12, kEdge = 8;
constexpr int kLabelGap = 6;  // between an outside label and its widget

}  // namespace

void MeterFrame::BuildToolBar() {
    toolBar_ = new Fl_Group(0, kMenuHeight, w(), kToolBarHeight);
    toolBar_->box(FL_UP_BOX);
    const int y = kMenuHeight + 6, h = kToolBarHeight - 12;
    device_ = new Fl_Choice(kDeviceLeft, y, kDeviceMost, h, "Input");
    device_->tooltip("The capture device to measure (as wobblemeter --list-devices names it)");
    device_->callback(
        [](Fl_Widget* widget, void*) {
            MeterWindow* logic = FrameOf(widget)->Logic();
            if (logic != nullptr) logic->OnDeviceChosen(static_cast<Fl_Choice*>(widget)->value());
        },
        this);
    start_ = new Fl_Button(0, y, kButtonWidth, h, "Start");
    start_->tooltip("Start measuring the input (F5)");
    start_->callback(Call<&MeterWindow::OnStart>, this);
    stop_ = new Fl_Button(0, y, kButtonWidth, h, "Stop");
    stop_->tooltip("Stop the measurement (Shift+F5); its readings stay");
    stop_->callback(Call<&MeterWindow::OnStop>, this);
    log_ = new Fl_Light_Button(0, y, kLogWidth, h, "Log CSV");
    log_->tooltip("Log the readings of every second to a CSV file");
    log_->callback(Switch<&MeterWindow::OnLog>, this);
    record_ = new Fl_Light_Button(0, y, kRecordWidth, h, "Record WAV");
    record_->tooltip("Record the input to a WAV file");
    record_->callback(Switch<&MeterWindow::OnRecord>, this);
    open_ = new Fl_Button(0, y, kOpenWidth, h, "Open...");
    open_->tooltip("Measure a recording (Ctrl+O); or drop one on the window");
    open_->callback(Call<&MeterWindow::OnOpen>, this);
    scale_ = new Fl_Choice(0, y, kScaleWidth, h, "Bar scale");
    scale_->tooltip("Full scale of the bar meter");
    for (double s : kBarScales) {
        // Fl_Choice::add treats '/' and '&' specially; scale labels hold neither.
        scale_->add(ScaleLabel(s).c_str());
    }
    scale_->callback(
        [](Fl_Widget* widget, void*) {
            MeterWindow* logic = FrameOf(widget)->Logic();
            const int index = static_cast<Fl_Choice*>(widget)->value();
            if (logic != nullptr && index >= 0) logic->OnScaleChosen(static_cast<size_t>(index));
        },
        this);
    platter_ = new Fl_Choice(0, y, kPlatterWidth, h, "Platter");
    platter_->tooltip("The platter of a test record: the readings per revolution (--rpm)");
    for (const char* name : {"none", "33\u2153", "45", "78"}) platter_->add(name);
    platter_->callback(
        [](Fl_Widget* widget, void*) {
            MeterWindow* logic = FrameOf(widget)->Logic();
            const int index = static_cast<Fl_Choice*>(widget)->value();
            if (logic != nullptr && index >= 0) logic->OnPlatterChosen(static_cast<size_t>(index));
        },
        this);
    // Laid out by LayOutToolBar alone, not stretched by the group.
    toolBar_->resizable(nullptr);
    toolBar_->end();
    LayOutToolBar();
}

int MeterFrame::LabelWidth(const Fl_Widget* widget) {
    int width = 0, height = 0;
    fl_font(widget->labelfont(), widget->labelsize());
    fl_measure(widget->label(), width, height, 0);
    return width;
}

void MeterFrame::LayOutToolBar() {
    // The controls on the left; the scale and Open at the right edge. The device chooser takes
    // what is left between them, within its bounds; in a window narrower than the controls
    // need, they keep their places and the right end is cut.
    const int y = start_->y(), h = start_->h();
    const int left = kGap + kButtonWidth + kSmallGap + kButtonWidth + kGap + kLogWidth + kSmallGap +
                     kRecordWidth;
    const int right = kGap + LabelWidth(platter_) + kLabelGap + kPlatterWidth + kGap +
                      LabelWidth(scale_) + kLabelGap + kScaleWidth + kGap + kOpenWidth + kEdge;
    const int device = std::clamp(w() - kDeviceLeft - left - right, kDeviceLeast, kDeviceMost);
    int x = kDeviceLeft;
    device_->resize(x, y, device, h);
    x += device + kGap;
    start_->resize(x, y, kButtonWidth, h);
    x += kButtonWidth + kSmallGap;
    stop_->resize(x, y, kButtonWidth, h);
    x += kButtonWidth + kGap;
    log_->resize(x, y, kLogWidth, h);
    x += kLogWidth + kSmallGap;
    record_->resize(x, y, kRecordWidth, h);
    x += kRecordWidth;
    const int end = std::max(w(), x + right);
    open_->resize(end - kEdge - kOpenWidth, y, kOpenWidth, h);
    scale_->resize(open_->x() - kGap - kScaleWidth, y, kScaleWidth, h);
    platter_->resize(scale_->x() - LabelWidth(scale_) - kLabelGap - kGap - kPlatterWidth, y,
                     kPlatterWidth, h);
    toolBar_->redraw();
}

Fl_Menu_Item* MeterFrame::Item(const char* path) const {
    return const_cast<Fl_Menu_Item*>(menu_->find_item(path));
}

void MeterFrame::Show(const Display& display) {
    instrument_->Set(display);
    const bool progress = std::isfinite(display.progress);
    if (display.status != statusText_ || progress != progress_->visible()) {
        statusText_ = display.status;
        if (progress)
            progress_->show();
        else
            progress_->hide();
        ShowStatus();
    }
    if (progress) {
        progress_->value(static_cast<float>(display.progress));
        char label[16];
        std::snprintf(label, sizeof label, "%.0f %%", 100.0 * display.progress);
        progress_->copy_label(label);
    }
}

int MeterFrame::StatusRoom() const {
    return status_->w() - 2 * kStatusInset -
           (progress_->visible() ? kProgressWidth + kProgressMargin : 0);
}

std::vector<std::string> MeterFrame::StatusShown(const std::string& status) const {
    fl_font(status_->labelfont(), status_->labelsize());
    return StatusLines(
        ShownNames(status), [](const std::string& text) { return fl_width(text.c_str()); },
        StatusRoom(), kStatusLines);
}

void MeterFrame::ShowStatus() {
    const std::vector<std::string> lines = StatusShown(statusText_);
    status_->copy_label(StatusLabel(lines).c_str());
    // The whole line where it had to be shortened.
    const std::string whole = QuotedName(statusText_);
    std::string joined;
    for (const std::string& line : lines) joined += (joined.empty() ? "" : "  \u00b7  ") + line;
    status_->copy_tooltip(joined == whole ? nullptr : whole.c_str());
}

void MeterFrame::resize(int x, int y, int w, int h) {
    Fl_Double_Window::resize(x, y, w, h);
    LayOutToolBar();
    if (!statusText_.empty()) ShowStatus();
}

void MeterFrame::SetControls(const Controls& c) {
    auto Enable = [](Fl_Widget* widget, bool on) {
        if (on)
            widget->activate();
        else
            widget->deactivate();
    };
    auto EnableItem = [this](const char* path, bool on) {
        if (Fl_Menu_Item* item = Item(path)) {
            if (on)
                item->activate();
            else
                item->deactivate();
        }
    };
    Enable(start_, c.start);
    Enable(stop_, c.stop);
    Enable(open_, c.open);
    Enable(log_, c.log);
    Enable(record_, c.record);
    log_->value(c.logging ? 1 : 0);
    record_->value(c.recording ? 1 : 0);
    EnableItem(kStartItem, c.start);
    EnableItem(kStopItem, c.stop);
    EnableItem(kOpenItem, c.open);
    EnableItem(kExportPlotItem, c.exportResult);
    EnableItem(kExportLogItem, c.exportResult);
    EnableItem(kExportJsonItem, c.exportResult);
    EnableItem(kExportReportItem, c.exportResult);
    EnableItem(kLogItem, c.log);
    EnableItem(kRecordItem, c.record);
    if (Fl_Menu_Item* item = Item(kLogItem)) c.logging ? item->set() : item->clear();
    if (Fl_Menu_Item* item = Item(kRecordItem)) c.recording ? item->set() : item->clear();

    if (c.devices != controls_.devices || !controlsSet_) {
        device_->clear();
        for (const std::string& name : c.devices) {
            // A name is one entry, whatever '/', '&' or '_' it holds.
            const int index = device_->add("x");
            device_->replace(index, name.c_str());
        }
    }
    if (c.device >= 0) device_->value(c.device);
    Enable(device_, c.chooseDevice);
    scale_->value(static_cast<int>(c.scale));
    platter_->value(static_cast<int>(c.platter));
    const std::string scaleItem = "&View/Bar meter &scale/" + ScaleLabel(kBarScales[c.scale]);
    if (Fl_Menu_Item* item = Item(scaleItem.c_str())) item->setonly();
    if (Fl_Menu_Item* item = Item(SpanItem(kDeviationSpans[c.span]).c_str())) item->setonly();
    controls_ = c;
    controlsSet_ = true;
    menu_->redraw();
}

std::optional<std::string> MeterFrame::AskForFile(FileKind kind, const std::string& suggestion) {
    Fl_Native_File_Chooser chooser;
    switch (kind) {
        case FileKind::kAudio:
            chooser.title("Open a recording");
            chooser.type(Fl_Native_File_Chooser::BROWSE_FILE);
            chooser.filter(
                "Audio\t*.{wav,WAV,flac,FLAC,aif,aiff,AIF,AIFF,ogg,OGG,au,w64,caf}\n"
                "All files\t*");
            break;
        case FileKind::kPlot:
            chooser.title("Export the plot");
            chooser.filter("PNG image\t*.png\nSVG drawing\t*.svg");
            break;
        case FileKind::kCsv:
            chooser.title("Export the log of every second");
            chooser.filter("CSV\t*.csv");
            break;
        case FileKind::kJson:
            chooser.title("Export the readings");
            chooser.filter("JSON\t*.json");
            break;
        case FileKind::kLog:
            chooser.title("Log every second to");
            chooser.filter("CSV\t*.csv");
            break;
        case FileKind::kRecording:
            chooser.title("Record the input to");
            chooser.filter("WAV\t*.wav");
            break;
        case FileKind::kReport:
            chooser.title("Export the report");
            chooser.filter("PDF\t*.pdf");
            break;
    }
    if (kind != FileKind::kAudio) {
        chooser.type(Fl_Native_File_Chooser::BROWSE_SAVE_FILE);
        chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM |
                        Fl_Native_File_Chooser::NEW_FOLDER);
    }
    if (!suggestion.empty()) chooser.preset_file(suggestion.c_str());
    if (chooser.show() != 0 || chooser.filename() == nullptr || chooser.filename()[0] == '\0')
        return std::nullopt;
    return std::string(chooser.filename());
}

std::optional<std::string> MeterFrame::AskForText(const std::string& prompt,
                                                  const std::string& suggestion) {
    fl_message_title(kTitle);
    const char* answer = fl_input("%s", suggestion.c_str(), prompt.c_str());
    if (answer == nullptr) return std::nullopt;
    return std::string(answer);
}

void MeterFrame::ShowMessage(const std::string& text) {
    fl_message_title(kTitle);
    fl_alert("%s", ShownLine(text).c_str());
}

void MeterFrame::CopyText(const std::string& text) {
    // Both the clipboard (Ctrl+V) and the primary selection (middle click).
    Fl::copy(text.c_str(), static_cast<int>(text.size()), 1);
    Fl::copy(text.c_str(), static_cast<int>(text.size()), 0);
}

}  // namespace wobblemeter

namespace wobblemeter {

namespace {

// A widget's box, with its label where it is drawn outside on the left.
struct Box {
    const char* name;
    int x, y, w, h;
};

bool Overlap(const Box& a, const Box& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

}  // namespace

std::vector<std::string> MeterFrame::LayoutFaults(const std::string& status) const {
    std::vector<std::string> faults = StatusFaults(status);
    auto BoxOf = [](const char* name, const Fl_Widget* widget) {
        Box box{name, widget->x(), widget->y(), widget->w(), widget->h()};
        const Fl_Align align = widget->align();
        if (widget->label() != nullptr && (align & FL_ALIGN_INSIDE) == 0 &&
            (align & FL_ALIGN_LEFT) != 0) {
            const int label = LabelWidth(widget) + kLabelGap;
            box.x -= label;
            box.w += label;
        }
        return box;
    };
    const std::vector<Box> tools = {BoxOf("the device chooser", device_),
                                    BoxOf("Start", start_),
                                    BoxOf("Stop", stop_),
                                    BoxOf("Log CSV", log_),
                                    BoxOf("Record WAV", record_),
                                    BoxOf("the scale chooser", scale_),
                                    BoxOf("Open", open_),
                                    BoxOf("the platter chooser", platter_)};
    const std::vector<Box> bands = {BoxOf("the menu bar", menu_), BoxOf("the tool bar", toolBar_),
                                    BoxOf("the instrument", instrument_),
                                    BoxOf("the status bar", status_)};
    for (const std::vector<Box>* boxes : {&tools, &bands}) {
        for (size_t first = 0; first < boxes->size(); ++first) {
            const Box& a = (*boxes)[first];
            if (a.x < 0 || a.y < 0 || a.x + a.w > w() || a.y + a.h > h())
                faults.push_back(std::string(a.name) + " lies outside the window");
            for (size_t j = first + 1; j < boxes->size(); ++j) {
                if (Overlap(a, (*boxes)[j]))
                    faults.push_back(std::string(a.name) + " overlaps " + (*boxes)[j].name);
            }
        }
    }
    return faults;
}

std::vector<std::string> MeterFrame::StatusFaults(const std::string& status) const {
    std::vector<std::string> faults;
    // The status line drawn: the one given last, laid out for the window's width as it is. The
    // label read back line by line: "@@" draws one '@', a lone '@' a symbol; " " is no line.
    const std::vector<std::string> lines = StatusShown(status);
    std::vector<std::string> drawn;
    bool symbol = false;
    const std::string label = status_->label() != nullptr ? status_->label() : "";
    if (label != " ") {
        drawn.emplace_back();
        for (size_t at = 0; at < label.size(); ++at) {
            if (label[at] == '\n') {
                drawn.emplace_back();
                continue;
            }
            if (label[at] == '@' && label.compare(at, 2, "@@") != 0) symbol = true;
            if (label[at] == '@') ++at;
            if (at < label.size()) drawn.back() += label[at];
        }
    }
    if (symbol) faults.push_back("the status line draws an '@' as a symbol");
    if (drawn != lines)
        faults.push_back(
            "the status line drawn is not the last one given, laid out for this width");
    // Each line within its room, in the lines the bar holds, its last part whole.
    fl_font(status_->labelfont(), status_->labelsize());
    if (lines.size() > kStatusLines ||
        static_cast<int>(lines.size()) * fl_height() > status_->h() - 2)
        faults.push_back("the status line takes " + std::to_string(lines.size()) + " lines");
    for (const std::string& line : lines) {
        if (fl_width(line.c_str()) > StatusRoom())
            faults.push_back("the status line '" + line + "' is wider than its room");
    }
    // The last part ("drop-outs 3") whole; a long one (a name being read) at least its end.
    const std::string shown = ShownNames(status);
    constexpr std::string_view kPartSeparator = "  \u00b7  ";
    constexpr size_t kShortPart = 24, kEndKept = 8;
    const size_t last = shown.rfind(kPartSeparator);
    std::string end =
        last == std::string::npos ? shown : shown.substr(last + kPartSeparator.size());
    if (end.size() > kShortPart) end.erase(0, end.size() - kEndKept);
    // Every part but a name (which holds a '/') whole.
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    for (size_t from = 0; from <= shown.size();) {
        size_t to = shown.find(kPartSeparator, from);
        if (to == std::string::npos) to = shown.size();
        const std::string part = shown.substr(from, to - from);
        if (part.find('/') == std::string::npos && all.find(part) == std::string::npos)
            faults.push_back("the status line lost '" + part + "'");
        from = to + kPartSeparator.size();
    }
    if (!lines.empty() &&
        (lines.back().size() < end.size() ||
         lines.back().compare(lines.back().size() - end.size(), end.size(), end) != 0))
        faults.push_back("the status line lost its last words '" + end + "'");
    return faults;
}

}  // namespace wobblemeter
