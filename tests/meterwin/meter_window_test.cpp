// The meter window's logic without a display: the devices and the remembered settings, a file
// measured off the interface thread, what the window shows and allows in each state, exports,
// drops and errors.
#include "meterwin/meter_window.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "meter/message.h"
#include "meter/output/csv_log.h"
#include "meter/output/plot.h"
#include "meter/output/report.h"
#include "meterwin/dropped_files.h"
#include "tests/meter/meter_test_util.h"
#include "tests/meterwin/fake_meter_view.h"

namespace wobblemeter {
namespace {

using wobblemeter_test::FakeMeterView;
using wobblemeter_test::ReadoutNamed;
using wobblemeter_test::ScratchDir;
using wobblemeter_test::WriteTone;

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<CaptureDeviceInfo> ThreeDevices() {
    return {{"Built-in: Analog (hw:0,0)", 2, 48000, false},
            {"default", 32, 44100, true},
            {"USB Audio: - (hw:1,0)", 2, 96000, false}};
}

class MeterWindowTest : public ::testing::Test {
protected:
    MeterWindowOptions Options(std::vector<CaptureDeviceInfo> devices = ThreeDevices()) {
        MeterWindowOptions options;
        options.settingsPath = dir.Path("config/wobblegen/wobblemeter-gui.conf");
        options.listDevices = [devices] { return devices; };
        return options;
    }

    // Polls as the front-end's timer does until the file is read.
    static void WaitWhileReading(MeterWindow& window) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (window.State() == WindowState::kReadingFile &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            window.Poll();
        }
    }

    // A 4 Hz, 1 % tone of 12 s, measured by the window.
    std::string ReadTone(MeterWindow& window) {
        const std::string path = dir.Path("tone.wav");
        WriteTone(path, 44100, 3150.0, 1.0, 4.0, 12.0);
        window.Begin(path);
        WaitWhileReading(window);
        return path;
    }

    ScratchDir dir;
    FakeMeterView view;
};

TEST_F(MeterWindowTest, PicksTheRememberedDeviceElseTheDefaultAndRemembersChoices) {
    {
        MeterWindow window(view, Options());
        window.Begin(std::nullopt);
        EXPECT_EQ(window.State(), WindowState::kIdle);
        EXPECT_EQ(view.controls.device, 1);  // the default
        EXPECT_EQ(view.controls.devices.size(), 3u);
        EXPECT_EQ(view.controls.devices[2], "USB Audio: - (hw:1,0)");
        EXPECT_TRUE(view.controls.chooseDevice);
        EXPECT_EQ(view.controls.scale, kDefaultBarScale);
        window.OnDeviceChosen(2);
        // A chooser with nothing chosen (-1) or an index past the list changes nothing.
        window.OnDeviceChosen(-1);
        window.OnDeviceChosen(3);
        EXPECT_EQ(view.controls.device, 2);
        window.OnScaleChosen(4);
        EXPECT_EQ(view.Last().bar.scalePercent, 10.0);
        EXPECT_EQ(view.controls.scale, 4u);  // the chooser and the menu show it
    }
    {
        MeterWindow window(view, Options());
        window.Begin(std::nullopt);
        EXPECT_EQ(view.controls.device, 2);
        EXPECT_EQ(view.controls.scale, 4u);
        EXPECT_EQ(view.Last().bar.scalePercent, 10.0);
    }
    // The remembered device is gone: the default again.
    std::vector<CaptureDeviceInfo> others = ThreeDevices();
    others.erase(others.begin() + 2);
    MeterWindow window(view, Options(others));
    window.Begin(std::nullopt);
    EXPECT_EQ(view.controls.device, 1);
}

TEST_F(MeterWindowTest, WithoutDevicesTheStatusLineSaysWhyAndFilesCanStillBeOpened) {
    MeterWindowOptions options = Options();
    options.listDevices = []() -> std::vector<CaptureDeviceInfo> {
        throw CaptureError("cannot load the capture library libportaudio.so.2");
    };
    MeterWindow window(view, options);
    window.Begin(std::nullopt);
    EXPECT_EQ(view.Last().status, "cannot load the capture library libportaudio.so.2");
    EXPECT_FALSE(view.controls.chooseDevice);
    EXPECT_EQ(view.controls.device, -1);
    EXPECT_TRUE(view.controls.open);

    MeterWindow empty(view, Options({}));
    empty.Begin(std::nullopt);
    EXPECT_EQ(view.Last().status, "no capture device found");
}

TEST_F(MeterWindowTest, AFileIsReadOffTheInterfaceThreadThenItsReadingsShown) {
    const std::string path = dir.Path("tone.wav");
    WriteTone(path, 44100, 3150.0, 1.0, 4.0, 12.0);
    const MeterResult expected = MeasureFile(path, {});
    MeterWindow window(view, Options());
    window.Begin(path);
    // Begin returns while the reading goes on: the window shows its progress.
    EXPECT_EQ(window.State(), WindowState::kReadingFile);
    EXPECT_EQ(view.Last().heading, path);
    EXPECT_EQ(view.Last().progress, 0.0);
    EXPECT_TRUE(view.controls.stop);
    EXPECT_FALSE(view.controls.exportResult);
    EXPECT_FALSE(ReadoutNamed(view.Last(), "Weighted two-sigma").formed);

    WaitWhileReading(window);
    ASSERT_EQ(window.State(), WindowState::kFileRead);
    const Display& d = view.Last();
    EXPECT_EQ(ReadoutNamed(d, "Weighted two-sigma").value,
              Format("%.4f %%", expected.weightedPeakPercent));
    EXPECT_EQ(ReadoutNamed(d, "Unweighted two-sigma").value,
              Format("%.4f %%", expected.unweightedPeakPercent));
    EXPECT_EQ(ReadoutNamed(d, "Weighted RMS").value,
              Format("%.4f %%", expected.weightedRmsPercent));
    EXPECT_EQ(ReadoutNamed(d, "Weighted quasi-peak").value,
              Format("%.4f %%", expected.weightedQuasiPeakPercent));
    EXPECT_EQ(ReadoutNamed(d, "Weighted quasi-peak").group, "DIN 45507 / IEC 386");
    EXPECT_EQ(ReadoutNamed(d, "Wow RMS").value, Format("%.4f %%", expected.wowRmsPercent));
    EXPECT_EQ(ReadoutNamed(d, "Wow RMS").group, "JIS / NAB");
    EXPECT_EQ(ReadoutNamed(d, "Flutter RMS").value, Format("%.4f %%", expected.flutterRmsPercent));
    EXPECT_EQ(ReadoutNamed(d, "Drift").value, PercentText(expected.driftPercent));
    EXPECT_TRUE(ReadoutNamed(d, "Drift").formed);
    // The range as the command line's summary words it.
    const std::string summary = FormatSummary(expected, path);
    const size_t range = summary.find("(speed error ");
    ASSERT_NE(range, std::string::npos) << summary;
    EXPECT_EQ(ReadoutNamed(d, "Speed error range").value + ")\n",
              summary.substr(range + 13, summary.find('\n', range) - range - 12));
    EXPECT_EQ(ReadoutNamed(d, "Speed error").value, FormatSpeedError(expected));
    EXPECT_EQ(ReadoutNamed(d, "Speed error").standard, "against 3150 Hz");
    EXPECT_TRUE(ReadoutNamed(d, "Weighted RMS").formed);
    EXPECT_EQ(d.bar.valuePercent, expected.weightedPeakPercent);
    EXPECT_FALSE(std::isfinite(d.progress));
    EXPECT_EQ(d.status.rfind(Format("Carrier %.3f Hz (nominal 3150 Hz)", expected.carrierHz), 0),
              0u)
        << d.status;
    EXPECT_NE(d.status.find("modulation 4.000 Hz"), std::string::npos) << d.status;
    // The panels: the traces over the span read, the spectrum's lines.
    EXPECT_EQ(d.weighted.low, expected.weighted.low);
    EXPECT_EQ(d.traceStartSeconds, expected.unweighted.startSeconds);
    ASSERT_FALSE(d.lines.empty());
    EXPECT_NEAR(d.lines[0].hz, 4.0, 0.01);
    EXPECT_TRUE(view.controls.exportResult);
    EXPECT_FALSE(view.controls.stop);
    EXPECT_TRUE(view.messages.empty());

    window.OnCopy();
    EXPECT_EQ(view.copied, ReadingsText(d));
    // Under its group's name, as the window shows it.
    EXPECT_NE(view.copied.find("AES6 / IEC 60386\n  Weighted two-sigma: " +
                               Format("%.4f %%", expected.weightedPeakPercent) + "\n"),
              std::string::npos)
        << view.copied;
    EXPECT_NE(view.copied.find("JIS / NAB\n  Weighted RMS: "), std::string::npos) << view.copied;
    EXPECT_NE(view.copied.find("  Drift: " + PercentText(expected.driftPercent) +
                               " (peak-to-peak below 0.5 Hz)\n"),
              std::string::npos)
        << view.copied;
}

// The deviation panel's span: the end of the span read seen over 1 s, the whole where the span
// chosen is longer than it, and the choice remembered for the next window.
TEST_F(MeterWindowTest, TheSpanChosenSetsTheDeviationAxisAndIsRemembered) {
    {
        MeterWindow window(view, Options());
        EXPECT_EQ(view.controls.span, kDefaultDeviationSpan);
        ReadTone(window);
        ASSERT_EQ(window.State(), WindowState::kFileRead);
        const double start = view.Last().unweighted.startSeconds;
        const double end = view.Last().traceEndSeconds;
        EXPECT_EQ(view.Last().traceStartSeconds, start);
        EXPECT_GT(end - start, 8.0);
        EXPECT_EQ(view.Last().deviationTitle, "Deviation over the span read");
        window.OnSpanChosen(0);
        EXPECT_EQ(view.controls.span, 0u);
        EXPECT_EQ(view.Last().traceEndSeconds, end);
        EXPECT_DOUBLE_EQ(view.Last().traceStartSeconds, end - 1.0);
        EXPECT_EQ(view.Last().deviationTitle, "Deviation, the last 1 s of the span read");
        // 10 s of a span read of 9 s: all of it.
        window.OnSpanChosen(1);
        EXPECT_EQ(view.Last().traceStartSeconds, start);
        EXPECT_EQ(view.Last().deviationTitle, "Deviation over the span read");
        window.OnSpanChosen(0);
    }
    MeterWindow window(view, Options());
    ReadTone(window);
    EXPECT_EQ(view.controls.span, 0u);
    EXPECT_DOUBLE_EQ(view.Last().traceEndSeconds - view.Last().traceStartSeconds, 1.0);
}

TEST_F(MeterWindowTest, ExportsWriteWhatTheCommandLineToolWrites) {
    MeterWindow window(view, Options());
    const std::string path = ReadTone(window);
    ASSERT_EQ(window.State(), WindowState::kFileRead);

    // The command-line tool's plot, JSON and log of the same file.
    std::string csv = std::string(kCsvHeader) + "\n";
    MeterOptions options;
    options.onSecond = [&csv](const SecondReading& r) { csv += CsvRow(r) + "\n"; };
    const MeterResult result = MeasureFile(path, options);

    view.answers = {dir.Path("plot"), dir.Path("plot.svg"), dir.Path("log"),
                    dir.Path("readings.json")};
    window.OnExportPlot();
    window.OnExportPlot();
    window.OnExportLog();
    window.OnExportJson();
    EXPECT_TRUE(view.messages.empty()) << view.messages.front();
    ASSERT_EQ(view.asked.size(), 4u);
    EXPECT_EQ(view.asked[0].kind, FileKind::kPlot);
    EXPECT_EQ(view.asked[0].suggestion, dir.Path("tone.png"));  // beside the recording
    EXPECT_EQ(view.asked[2].kind, FileKind::kCsv);
    EXPECT_EQ(view.asked[3].suggestion, dir.Path("tone.json"));
    // A name without an extension gets the kind's own.
    EXPECT_EQ(Contents(dir.Path("plot.png")), RenderPlot(result, path, PlotFormat::kPng));
    EXPECT_EQ(Contents(dir.Path("plot.svg")), RenderPlot(result, path, PlotFormat::kSvg));
    EXPECT_EQ(Contents(dir.Path("log.csv")), csv);
    EXPECT_EQ(Contents(dir.Path("readings.json")), FormatJson(result, path));

    // A plot of another kind, a folder that does not exist, a cancelled dialog.
    view.answers = {dir.Path("plot.jpg"), dir.Path("no/such/plot.png"), std::nullopt,
                    dir.Path("no/such/r.json"), dir.Path("no/such/log.csv")};
    window.OnExportPlot();
    window.OnExportPlot();
    window.OnExportPlot();
    window.OnExportJson();
    window.OnExportLog();
    ASSERT_EQ(view.messages.size(), 4u);
    EXPECT_EQ(view.messages[0], "cannot write the plot " + dir.Path("plot.jpg") +
                                    ": its name must end in .png or .svg");
    EXPECT_EQ(view.messages[1], "cannot write the plot " + dir.Path("no/such/plot.png") +
                                    ": No such file or directory");
    EXPECT_EQ(view.messages[2], "cannot write the readings " + dir.Path("no/such/r.json") +
                                    ": No such file or directory");
    EXPECT_EQ(view.messages[3], "cannot write the log " + dir.Path("no/such/log.csv") +
                                    ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("plot.jpg")));
}

TEST_F(MeterWindowTest, ExportsOntoTheRecordingMeasuredAreRefused) {
    MeterWindow window(view, Options());
    const std::string path = ReadTone(window);
    ASSERT_EQ(window.State(), WindowState::kFileRead);
    const std::string recording = Contents(path);
    // The recording by its own name, and through a link whose name a plot may have.
    std::filesystem::create_symlink(path, dir.Path("link.png"));
    view.answers = {path, path, dir.Path("link.png")};
    window.OnExportLog();
    window.OnExportJson();
    window.OnExportPlot();
    ASSERT_EQ(view.messages.size(), 3u);
    EXPECT_EQ(view.messages[0], Text(Msg::kExportIsInput, path.c_str()));
    EXPECT_EQ(view.messages[2], Text(Msg::kExportIsInput, dir.Path("link.png").c_str()));
    EXPECT_EQ(Contents(path), recording);
}

// The PDF's pages as cairo writes their objects ("/Type /Page % 1"; the tree is "/Pages").
size_t PdfPages(const std::string& pdf) {
    size_t pages = 0;
    for (size_t at = pdf.find("/Type /Page"); at != std::string::npos;
         at = pdf.find("/Type /Page", at + 1))
        if (pdf.compare(at, 12, "/Type /Pages") != 0) ++pages;
    return pages;
}

TEST_F(MeterWindowTest, ExportReportAsksForAPdfNameThenTheNoteAndWritesOnePage) {
    MeterWindow window(view, Options());
    ReadTone(window);
    ASSERT_EQ(window.State(), WindowState::kFileRead);
    view.answers = {dir.Path("report"), dir.Path("again.PDF")};
    view.textAnswers = {"Revox B77: new pinch roller", "second"};
    window.OnExportReport();
    window.OnExportReport();
    EXPECT_TRUE(view.messages.empty()) << view.messages.front();
    ASSERT_EQ(view.asked.size(), 2u);
    EXPECT_EQ(view.asked[0].kind, FileKind::kReport);
    EXPECT_EQ(view.asked[0].suggestion, dir.Path("tone.pdf"));
    ASSERT_EQ(view.prompts.size(), 2u);
    EXPECT_EQ(view.prompts[0].first, Text(Msg::kReportNotePrompt));
    EXPECT_EQ(view.prompts[0].second, "");
    EXPECT_EQ(view.prompts[1].second, "Revox B77: new pinch roller");  // the last note
    // A name without an extension gets .pdf; one in capitals is taken as it is.
    for (const char* name : {"report.pdf", "again.PDF"}) {
        const std::string pdf = Contents(dir.Path(name));
        EXPECT_EQ(pdf.substr(0, 5), "%PDF-") << name;
        EXPECT_EQ(PdfPages(pdf), 1u) << name;
    }

    // Another extension, a folder that does not exist, a cancelled note: nothing written.
    view.answers = {dir.Path("report.txt"), dir.Path("no/such/r.pdf"), dir.Path("kept.pdf")};
    view.textAnswers = {"", std::nullopt};
    window.OnExportReport();
    window.OnExportReport();
    window.OnExportReport();
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0],
              "cannot write the report " + dir.Path("report.txt") + ": its name must end in .pdf");
    EXPECT_EQ(view.messages[1], "cannot write the report " + dir.Path("no/such/r.pdf") +
                                    ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("report.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("kept.pdf")));
}

TEST_F(MeterWindowTest, StopEndsAReadingWithNothingToExport) {
    const std::string path = dir.Path("long.wav");
    WriteTone(path, 8000, 3150.0, 1.0, 4.0, 300.0);
    MeterWindow window(view, Options());
    window.Begin(path);
    window.OnStop();
    EXPECT_EQ(window.State(), WindowState::kStopped);
    EXPECT_EQ(view.Last().status.rfind("Stopped at ", 0), 0u) << view.Last().status;
    EXPECT_FALSE(view.controls.exportResult);
    EXPECT_FALSE(view.controls.stop);
    EXPECT_FALSE(ReadoutNamed(view.Last(), "Weighted two-sigma").formed);
    view.answers = {dir.Path("plot.png")};
    window.OnExportPlot();
    EXPECT_TRUE(view.asked.empty());
}

TEST_F(MeterWindowTest, AFileThatCannotBeMeasuredSaysWhyInTheToolsWords) {
    const std::string text = dir.Path("notes.wav");
    std::ofstream(text) << "not audio at all\n";
    MeterWindow window(view, Options());
    window.Begin(text);
    WaitWhileReading(window);
    EXPECT_EQ(window.State(), WindowState::kError);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind(text + ": not an audio file libsndfile can read", 0), 0u)
        << view.messages[0];
    EXPECT_EQ(view.Last().status, view.messages[0]);
    EXPECT_FALSE(view.controls.exportResult);

    // Another file after the error is read as any.
    const std::string silent = dir.Path("silent.wav");
    wobblemeter_test::WriteSamples(silent, 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                   std::vector<double>(8000 * 2, 0.0));
    window.OpenFile(silent);
    WaitWhileReading(window);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1], silent + ": the file is silent");

    // A FIFO nobody writes is refused at once: Stop and closing never wait on it.
    const std::string fifo = dir.Path("fifo.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const auto opened = std::chrono::steady_clock::now();
    window.OpenFile(fifo);
    window.OnStop();
    window.OnClose();
    EXPECT_LT(std::chrono::steady_clock::now() - opened, std::chrono::seconds(1));
    EXPECT_EQ(window.State(), WindowState::kError);
    EXPECT_EQ(view.messages.back(),
              fifo + ": not a regular file (a FIFO or a socket): give a recording");
}

bool HasReadout(const Display& d, const std::string& name) {
    for (const Readout& r : d.readouts)
        if (r.name == name) return true;
    return false;
}

// The platter given on the command line is chosen and remembered; a file is measured with it
// (the readings per revolution and the turntable's fold, as MeasureFile gives them), measured
// again when another is chosen, and the choice is there the next time.
TEST_F(MeterWindowTest, ThePlatterChosenMeasuresPerRevolutionAndIsRemembered) {
    const std::string path = dir.Path("record.wav");
    // Once per revolution of a 33 1/3 rpm platter: 0.556 Hz.
    WriteTone(path, 44100, 3150.0, 0.2, 100.0 / 3.0 / 60.0, 30.0);
    MeterOptions platter;
    platter.rpm = 100.0 / 3.0;
    const MeterResult expected = MeasureFile(path, platter);
    {
        MeterWindowOptions options = Options();
        options.rpm = 100.0 / 3.0;
        MeterWindow window(view, options);
        window.Begin(path);
        WaitWhileReading(window);
        ASSERT_EQ(window.State(), WindowState::kFileRead);
        EXPECT_EQ(view.controls.platter, 1u);
        const Display& d = view.Last();
        EXPECT_EQ(d.revolution.rpm, 100.0 / 3.0);
        EXPECT_EQ(d.revolution.meanPercent, expected.revolution.meanPercent);
        EXPECT_EQ(ReadoutNamed(d, "Once per revolution").value,
                  PercentText(expected.revolution.oncePercent));
        EXPECT_EQ(ReadoutNamed(d, "Once per revolution").group, "Platter, 33 1/3 rpm");
        // Where on the platter its peak comes, in whole degrees.
        std::string at = "peak, at ";
        at += std::to_string(std::lround(expected.revolution.onceAngle * 180.0 / std::numbers::pi));
        at += "\u00b0";
        EXPECT_EQ(ReadoutNamed(d, "Once per revolution").standard, at);
        EXPECT_EQ(ReadoutNamed(d, "Remaining").value,
                  PercentText(expected.revolution.remainingRmsPercent));

        window.OnPlatterChosen(0);
        EXPECT_EQ(window.State(), WindowState::kReadingFile);
        WaitWhileReading(window);
        EXPECT_FALSE(HasReadout(view.Last(), "Once per revolution"));
        EXPECT_EQ(view.Last().revolution.rpm, 0.0);
        window.OnPlatterChosen(2);
        WaitWhileReading(window);
        EXPECT_EQ(ReadoutNamed(view.Last(), "Once per revolution").group, "Platter, 45 rpm");
    }
    MeterWindow window(view, Options());
    window.Begin(std::nullopt);
    EXPECT_EQ(view.controls.platter, 2u);
}

// A file that cannot be measured, opened after one that was, says why and leaves the readings
// before it shown and exportable, as of the file they were read from.
TEST_F(MeterWindowTest, AFailedOpenKeepsTheReadingsBeforeIt) {
    MeterWindow window(view, Options());
    const std::string tone = ReadTone(window);
    ASSERT_EQ(window.State(), WindowState::kFileRead);
    const Display before = view.Last();
    const std::string bad = dir.Path("bad.wav");
    std::ofstream(bad) << "not audio at all\n";
    window.OpenFile(bad);
    WaitWhileReading(window);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind(bad + ": not an audio file", 0), 0u) << view.messages[0];
    EXPECT_EQ(window.State(), WindowState::kFileRead);
    EXPECT_EQ(view.Last().heading, tone);
    EXPECT_EQ(ReadingsText(view.Last()), ReadingsText(before));
    EXPECT_EQ(view.Last().weighted.low, before.weighted.low);
    EXPECT_TRUE(view.controls.exportResult);
    // The export suggests the name beside the file the readings are of.
    window.OnExportJson();
    ASSERT_FALSE(view.asked.empty());
    EXPECT_EQ(view.asked.back().suggestion, dir.Path("tone.json"));

    // A second failure keeps them still; a file measured then replaces them.
    window.OpenFile(bad);
    WaitWhileReading(window);
    EXPECT_EQ(view.Last().heading, tone);
    const std::string other = dir.Path("other.wav");
    WriteTone(other, 44100, 3150.0, 0.5, 4.0, 12.0);
    window.OpenFile(other);
    WaitWhileReading(window);
    EXPECT_EQ(view.Last().heading, other);
    window.OpenFile(bad);
    WaitWhileReading(window);
    EXPECT_EQ(view.Last().heading, other);
}

TEST_F(MeterWindowTest, ADroppedFileIsOpenedAndOtherDropsAreRefused) {
    std::filesystem::create_directory(dir.Path("my takes"));
    const std::string path = dir.Path("my takes/tone #1.wav");
    WriteTone(path, 8000, 3150.0, 1.0, 4.0, 10.0);
    MeterWindow window(view, Options());
    window.Begin(std::nullopt);
    window.OnDrop("http://example.org/tone.wav\r\n");
    EXPECT_EQ(window.State(), WindowState::kIdle);
    ASSERT_EQ(view.messages.size(), 1u);

    std::string uri = "file://" + dir.Path("my%20takes/tone%20%231.wav");
    window.OnDrop("# dragged from a file manager\r\n" + uri + "\r\n");
    EXPECT_EQ(window.State(), WindowState::kReadingFile);
    EXPECT_EQ(view.Last().heading, path);
    WaitWhileReading(window);
    EXPECT_EQ(window.State(), WindowState::kFileRead);
}

// A file: URI names a file of the machine its host names: another machine's is refused, even
// where this one has a file at the same path; an empty host and "localhost" are this one.
TEST_F(MeterWindowTest, ADroppedFileOfAnotherMachineIsRefusedAndOneOfThisMachineOpened) {
    const std::string path = dir.Path("take.wav");
    WriteTone(path, 8000, 3150.0, 1.0, 4.0, 10.0);
    MeterWindow window(view, Options());
    window.Begin(std::nullopt);
    window.OnDrop("file://nas.local" + path + "\r\n");
    EXPECT_EQ(window.State(), WindowState::kIdle);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Drop an audio file from this computer to measure it");

    for (const std::string host : {"localhost", ""}) {
        SCOPED_TRACE(host);
        window.OnDrop("file://" + host + path + "\r\n");
        EXPECT_EQ(window.State(), WindowState::kReadingFile);
        EXPECT_EQ(view.Last().heading, path);
        WaitWhileReading(window);
        EXPECT_EQ(window.State(), WindowState::kFileRead);
    }
    EXPECT_EQ(view.messages.size(), 1u);
}

// A drop is taken for the files it names that are there: not for names of nothing, a
// directory, "file:" without "//", nor for what lies beyond the bytes a drop is read for.
TEST(DroppedPaths, TakesOnlyFilesThatAreThereAndReadsABoundedDrop) {
    const ScratchDir dir;
    const std::string take = dir.Path("take.wav"), gone = dir.Path("gone.wav");
    std::ofstream(take) << "RIFF";
    std::filesystem::create_directory(dir.Path("takes"));
    const std::string drop = gone + "\n" + dir.Path("takes") + "\nfile:" + take + "\nfile://" +
                             gone + "\n/\n" + take + "\r\nfile://localhost" + take + "\n";
    EXPECT_EQ(DroppedPaths(drop), (std::vector<std::string>{take, take}));

    // Two megabytes of noise whose lines start with '/', then a file named past them.
    std::string noise;
    for (unsigned i = 0; noise.size() < 2 * 1024 * 1024; ++i) {
        noise += '/';
        noise.append(1 + i % 97, static_cast<char>(' ' + i % 90));
        noise += '\n';
    }
    EXPECT_TRUE(DroppedPaths(noise + take + "\n").empty());
    EXPECT_EQ(DroppedPaths(take + "\n" + noise).size(), 1u);
    // A line longer than any path is none.
    EXPECT_TRUE(DroppedPaths(take + std::string(20000, '/')).empty());
}

// A settings file edited by hand, or written by another version: a scale, platter or span that
// is not a number, or not a positive one (a span may be 0, the whole stretch), is left unset.
TEST(MeterSettings, ValuesThatAreNotNumbersInTheirRangeAreLeftUnset) {
    ScratchDir dir;
    const std::string path = dir.Path("meter.conf");
    {
        std::ofstream out(path);
        out << "bar_scale_percent=-1\nplatter_rpm=-33\ndeviation_span_seconds=x\n";
    }
    const MeterSettings bad = LoadSettings(path);
    EXPECT_EQ(bad.barScalePercent, 0.0);
    EXPECT_EQ(bad.platterRpm, 0.0);
    EXPECT_EQ(bad.deviationSpanSeconds, -1.0);
    {
        std::ofstream out(path);
        out << "bar_scale_percent=x\nplatter_rpm=45\ndeviation_span_seconds=0\n";
    }
    const MeterSettings good = LoadSettings(path);
    EXPECT_EQ(good.barScalePercent, 0.0);
    EXPECT_EQ(good.platterRpm, 45.0);
    EXPECT_EQ(good.deviationSpanSeconds, 0.0);
}

}  // namespace
}  // namespace wobblemeter
