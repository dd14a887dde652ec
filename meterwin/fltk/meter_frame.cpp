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

#include <cmath>
#include <cstdint>
#include <cstdio>
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
constexpr int kStatusHeight = 26;
constexpr int kDefaultWidth = 1180;
constexpr int kDefaultHeight = 820;

// Menu paths, as added and as looked up again.
constexpr const char* kOpenItem = "&File/&Open...";
constexpr const char* kExportPlotItem = "&File/&Export plot...";
constexpr const char* kExportLogItem = "&File/Export &log (CSV)...";
constexpr const char* kExportJsonItem = "&File/Export &readings (JSON)...";
constexpr const char* kExportReportItem = "&File/Export re&port (PDF)...";
constexpr const char* kStartItem = "&Measure/&Start";
constexpr const char* kStopItem = "&Measure/S&top";
constexpr const char* kLogItem = "&Measure/&Log to CSV...";
constexpr const char* kRecordItem = "&Measure/&Record to WAV...";

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
            DrawInstrument(cr, display_, width_, height_);
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
    // The progress bar lies over the status line's right end while a file is read.
    status_ = new Fl_Box(0, h() - kStatusHeight, w(), kStatusHeight);
    status_->box(FL_THIN_DOWN_BOX);
    status_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    progress_ = new Fl_Progress(w() - 226, h() - kStatusHeight + 3, 220, kStatusHeight - 6);
    progress_->minimum(0.0f);
    progress_->maximum(1.0f);
    progress_->selection_color(FL_DARK_BLUE);
    progress_->labelcolor(FL_WHITE);
    progress_->hide();
    status->resizable(status_);
    status->end();
    end();
    resizable(instrument_);
    size_range(kInstrumentMinWidth + 60, kInstrumentMinHeight + instrumentTop + kStatusHeight);
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
        "&File/&Quit", FL_CTRL + 'q',
        [](Fl_Widget* widget, void*) { widget->window()->do_callback(); }, this);
    menu_->add("&Edit/&Copy readings", FL_CTRL + 'c', Call<&MeterWindow::OnCopy>, this);
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

void MeterFrame::BuildToolBar() {
    auto* bar = new Fl_Group(0, kMenuHeight, w(), kToolBarHeight);
    bar->box(FL_UP_BOX);
    const int y = kMenuHeight + 6, h = kToolBarHeight - 12;
    int x = 52;
    device_ = new Fl_Choice(x, y, 270, h, "Input");
    device_->tooltip("The capture device to measure (as wobblemeter --list-devices names it)");
    device_->callback(
        [](Fl_Widget* widget, void*) {
            MeterWindow* logic = FrameOf(widget)->Logic();
            if (logic != nullptr) logic->OnDeviceChosen(static_cast<Fl_Choice*>(widget)->value());
        },
        this);
    x += 270 + 10;
    start_ = new Fl_Button(x, y, 76, h, "Start");
    start_->tooltip("Start measuring the input (F5)");
    start_->callback(Call<&MeterWindow::OnStart>, this);
    x += 76 + 4;
    stop_ = new Fl_Button(x, y, 76, h, "Stop");
    stop_->tooltip("Stop the measurement (Shift+F5); its readings stay");
    stop_->callback(Call<&MeterWindow::OnStop>, this);
    x += 76 + 12;
    log_ = new Fl_Light_Button(x, y, 104, h, "Log CSV");
    log_->tooltip("Log the readings of every second to a CSV file");
    log_->callback(Switch<&MeterWindow::OnLog>, this);
    x += 104 + 4;
    record_ = new Fl_Light_Button(x, y, 118, h, "Record WAV");
    record_->tooltip("Record the input to a WAV file");
    record_->callback(Switch<&MeterWindow::OnRecord>, this);
    x += 118;
    auto* spacer = new Fl_Box(x, y, 10, h);
    const int right = w() - 8;
    open_ = new Fl_Button(right - 84, y, 84, h, "Open...");
    open_->tooltip("Measure a recording (Ctrl+O); or drop one on the window");
    open_->callback(Call<&MeterWindow::OnOpen>, this);
    scale_ = new Fl_Choice(right - 84 - 12 - 84, y, 84, h, "Bar scale");
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
    bar->resizable(spacer);
    bar->end();
}

Fl_Menu_Item* MeterFrame::Item(const char* path) const {
    return const_cast<Fl_Menu_Item*>(menu_->find_item(path));
}

void MeterFrame::Show(const Display& display) {
    instrument_->Set(display);
    if (display.status != statusText_) {
        statusText_ = display.status;
        const std::string shown = ShownLine(statusText_);
        status_->copy_label(shown.empty() ? " " : shown.c_str());
        // The whole line where it had to be shortened.
        status_->copy_tooltip(shown == statusText_ ? nullptr : QuotedName(statusText_).c_str());
    }
    if (std::isfinite(display.progress)) {
        progress_->value(static_cast<float>(display.progress));
        char label[16];
        std::snprintf(label, sizeof label, "%.0f %%", 100.0 * display.progress);
        progress_->copy_label(label);
        progress_->show();
    } else {
        progress_->hide();
    }
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
    const std::string scaleItem = "&View/Bar meter &scale/" + ScaleLabel(kBarScales[c.scale]);
    if (Fl_Menu_Item* item = Item(scaleItem.c_str())) item->setonly();
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
