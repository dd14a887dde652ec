// wobblemeter's command line read and checked without running it: the command each line asks
// for, and every refusal in its whole words with exit status 2; the command line's and the live
// session's rows of the message table; the plot's file held open until written.
#include "meter/cli/options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "meter/cli/live_main.h"
#include "meter/cli/pending_plot.h"
#include "meter/message.h"
#include "meter_test_util.h"

namespace wobblemeter {
namespace {

// Reads and checks a command line (without the program's name); on a refusal, what() and
// status() of the error.
struct Outcome {
    Command command = Command::kHelpShown;
    Options options;
    std::string refusal;
    int status = 0;
};

Outcome Line(std::vector<std::string> words) {
    words.insert(words.begin(), "wobblemeter");
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    Outcome o;
    try {
        o.command = ParseOptions(static_cast<int>(argv.size()), argv.data(), o.options);
        o.command = CheckOptions(o.options);
    } catch (const MeterError& e) {
        o.refusal = e.what();
        o.status = e.status();
    }
    return o;
}

// The line is refused with these words and status 2.
void ExpectRefused(const std::vector<std::string>& words, const std::string& refusal) {
    const Outcome o = Line(words);
    EXPECT_EQ(o.refusal, refusal) << words.front();
    EXPECT_EQ(o.status, 2) << words.front();
}

TEST(CommandLineRules, RefuseOptionsThatDoNotGoTogetherInTheTablesWords) {
    ExpectRefused({"--live", "tone.wav"}, "--live takes no FILE (see --help)");
    ExpectRefused({"--live", "--csv"},
                  "--csv is for files: give --json or --log FILE.csv with --live (see --help)");
    ExpectRefused({"--verify", ""}, "--verify: give the set's directory (see --help)");
    ExpectRefused({"--verify", "set", "--json"},
                  "--verify takes no other option or FILE: --json (see --help)");
    ExpectRefused({"tone.wav", "--verify", "set"},
                  "--verify takes no other option or FILE: FILE (see --help)");
    ExpectRefused({"--plot", "x.png", "a.wav", "b.wav"},
                  "--plot and --log take a single FILE, not 2: measure each file on its own to "
                  "plot or log it (see --help)");
    ExpectRefused({"--log", "x.csv", "a.wav", "b.wav", "c.wav"},
                  "--plot and --log take a single FILE, not 3: measure each file on its own to "
                  "plot or log it (see --help)");
}

TEST(CommandLineRules, RefuseFilesAndNamesThatCannotBeMeasured) {
    ExpectRefused({}, "FILE is required (see --help)");
    ExpectRefused({"--json"}, "FILE is required (see --help)");
    ExpectRefused({"a.wav", ""}, "FILE: an empty name (see --help)");
    ExpectRefused({"--plot", "x.jpg", "tone.wav"},
                  "--plot: 'x.jpg' must end in .png or .svg (see --help)");
    ExpectRefused({"--plot", "", "tone.wav"}, "--plot: '' must end in .png or .svg (see --help)");
    ExpectRefused({"--live", "--plot", "session.pdf"},
                  "--plot: 'session.pdf' must end in .png or .svg (see --help)");
    ExpectRefused({"--rpm", "50", "tone.wav"},
                  "--rpm: '50' is not allowed: give 33, 33.3, 33.33 or 33.333 (33 1/3), 45 or 78, "
                  "written without spaces (see --help)");
    // The platter is read before --verify's rules.
    ExpectRefused({"--rpm", "abc", "--verify", "set"},
                  "--rpm: 'abc' is not allowed: give 33, 33.3, 33.33 or 33.333 (33 1/3), 45 or 78, "
                  "written without spaces (see --help)");
}

TEST(CommandLineRules, PassOnTheLibrarysOwnRefusalsWithStatusTwo) {
    ExpectRefused({"--device", "hw:1,0", "tone.wav"}, "--device requires --live (see --help)");
    ExpectRefused({"--json", "--csv", "tone.wav"}, "--json excludes --csv (see --help)");
    ExpectRefused({"--channel", "0x10", "tone.wav"},
                  "--channel: '0x10' is not allowed: give a whole number from 1 to 1024 (see "
                  "--help)");
}

TEST(CommandLineRules, ChooseTheCommandAndTheFormTheLineAsksFor) {
    Outcome o = Line({"tone.wav"});
    EXPECT_EQ(o.command, Command::kFile);
    EXPECT_EQ(o.options.form, OutputForm::kSummary);
    EXPECT_EQ(o.options.paths, std::vector<std::string>{"tone.wav"});

    o = Line({"--json", "a.wav", "b.wav"});
    EXPECT_EQ(o.command, Command::kFiles);
    EXPECT_EQ(o.options.form, OutputForm::kJson);

    o = Line({"--csv", "--rpm", "45", "--plot", "p.SVG", "a.wav"});
    EXPECT_EQ(o.command, Command::kFile);
    EXPECT_EQ(o.options.form, OutputForm::kCsv);
    EXPECT_EQ(o.options.meter.rpm, 45.0);
    EXPECT_EQ(o.options.plotFormat, PlotFormat::kSvg);

    o = Line({"--live", "--device", "hw:1,0", "--duration", "30", "--plot", "s.png"});
    EXPECT_EQ(o.command, Command::kLive);
    EXPECT_EQ(o.options.capture.device, "hw:1,0");
    EXPECT_EQ(o.options.capture.durationSeconds, 30.0);
    EXPECT_EQ(o.options.plotFormat, PlotFormat::kPng);

    EXPECT_EQ(Line({"--verify", "set"}).command, Command::kVerify);
    // The list of devices goes before every rule across options.
    EXPECT_EQ(Line({"--list-devices", "a.wav", "b.wav", "--plot", "x.jpg"}).command,
              Command::kListDevices);
    EXPECT_EQ(Line({"--rpm", "33.33", "tone.wav"}).options.meter.rpm, 100.0 / 3.0);
}

TEST(LiveSessionMessages, SayWhatWasLostAndKept) {
    EXPECT_EQ(Text(Msg::kInputOverrun, 12.3456, 2048LL),
              "input overrun at 12.346 s: 2048 frames lost, bridged");
    EXPECT_EQ(Text(Msg::kSessionFailedRecorded, "capture device 'hw:1' stopped delivering audio",
                   "take.wav", 41.5),
              "capture device 'hw:1' stopped delivering audio; take.wav holds the 41.500 s "
              "recorded before");
    EXPECT_EQ(Text(Msg::kRecordingFull, "take.wav", 24347.4),
              "take.wav holds 4 GiB, the most a WAV file can: recording stopped at 24347 s");
    EXPECT_EQ(StatusOf(Msg::kNoCaptureDevice), 1);
}

TEST(CommandLineMessages, RefusalsExitWithTwoAndFailuresWithOne) {
    for (const Msg id :
         {Msg::kCommandLineRefused, Msg::kRpmNotAllowed, Msg::kVerifyAlone,
          Msg::kVerifyNeedsDirectory, Msg::kLiveTakesNoFile, Msg::kLiveTakesNoCsv,
          Msg::kFileRequired, Msg::kFileNameEmpty, Msg::kPlotAndLogTakeOneFile, Msg::kPlotExtension,
          Msg::kLogNameEmpty, Msg::kRecordNameEmpty, Msg::kOutputIsInput, Msg::kOutputsSameFile}) {
        EXPECT_EQ(StatusOf(id), 2) << EntryOf(id).text;
        EXPECT_NE(std::string(EntryOf(id).text).find("(see --help)"), std::string::npos)
            << EntryOf(id).text;
    }
    for (const Msg id : {Msg::kCannotWriteStdout, Msg::kCannotPrintReadings, Msg::kCannotPrintTable,
                         Msg::kCannotWritePlot, Msg::kFileNotMeasured})
        EXPECT_EQ(StatusOf(id), 1) << EntryOf(id).text;
    EXPECT_EQ(Text(Msg::kCannotPrintReadingsPlotWritten, "it was closed", "p.png"),
              "cannot write the readings to standard output: it was closed (the plot p.png is "
              "written)");
}

TEST(LiveSessionMessages, AFailedSessionSaysWhatItsRecordingHolds) {
    SessionSnapshot s;
    s.status = SessionStatus::kFailed;
    s.error = "capture device 'hw:1' stopped delivering audio (unplugged?)";
    s.sampleRate = 48000;
    s.seconds = 12.5;
    s.recordStartSeconds = 2.25;
    EXPECT_EQ(SessionFailure(s, "take.wav"),
              "capture device 'hw:1' stopped delivering audio (unplugged?); take.wav holds the "
              "10.250 s recorded before");
    // Without a recording, or before any audio came, the reason alone.
    EXPECT_EQ(SessionFailure(s, ""), s.error);
    s.seconds = s.recordStartSeconds;
    EXPECT_EQ(SessionFailure(s, "take.wav"), s.error);
    s.status = SessionStatus::kFinished;
    EXPECT_EQ(SessionFailure(s, "take.wav"), "");
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(PendingPlot, LeavesAnEarlierPlotAsItWasUnlessWritten) {
    wobblemeter_test::ScratchDir dir;
    const std::string path = dir.Path("plot.svg");
    std::ofstream(path) << "earlier";
    { const PendingPlot plot(path, PlotFormat::kSvg); }
    EXPECT_EQ(Contents(path), "earlier");

    const std::string tone = dir.Path("tone.wav");
    wobblemeter_test::WriteTone(tone, 8000, 3150.0, 0.2, 4.0, 10.0);
    PendingPlot plot(path, PlotFormat::kSvg);
    PendingPlot moved = std::move(plot);
    EXPECT_FALSE(plot.Asked());  // NOLINT(bugprone-use-after-move): a moved plot holds none
    ASSERT_TRUE(moved.Asked());
    moved.Write(MeasureFile(tone, {}), "tone.wav");
    EXPECT_FALSE(moved.Asked());
    EXPECT_NE(Contents(path).substr(0, 200).find("<svg"), std::string::npos);
}

TEST(PendingPlot, AnUnwritablePlotIsRefusedWhenOpenedWithStatusOne) {
    wobblemeter_test::ScratchDir dir;
    const std::string path = dir.Path("no/such/plot.png");
    try {
        const PendingPlot plot(path, PlotFormat::kPng);
        FAIL() << "opened " << path;
    } catch (const MeterError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot write the plot " + path + ": No such file or directory");
        EXPECT_EQ(e.status(), 1);
    }
}

}  // namespace
}  // namespace wobblemeter
