// wobblemeter's command line: its options read into one struct, and the rules across them that
// decide which of the commands runs (one file, several, the verification set, live, the list
// of devices) or refuse the line.
#pragma once

#include <string>
#include <vector>

#include "meter/cli/batch_main.h"
#include "meter/meter.h"
#include "meter/output/plot.h"
#include "meter/output/service_report.h"

namespace wobblemeter {

// What --live captures from, besides the meter's options.
struct LiveArguments {
    std::string device;            // empty: the default capture device
    int rate = 0;                  // Hz; 0: the device's default
    double durationSeconds = 0.0;  // of captured audio; 0: until Ctrl-C
    std::string record;            // WAV file to record into; empty: none
};

// The command line as given.
struct Options {
    std::vector<std::string> paths;  // FILE, in order
    std::string plot;                // --plot FILE ("" may be given: see `given`)
    std::string log;                 // --log FILE; empty: none
    std::string report;              // --report FILE.pdf ("" may be given: see `given`)
    std::string note;                // --note TEXT, on the report
    std::string paper;               // --paper as written; read by CheckOptions into reportPaper
    std::string rpm;                 // --rpm as written; read by CheckOptions into meter.rpm
    std::string verify;              // --verify DIR
    bool json = false, csv = false, live = false, listDevices = false;
    // The names of the options given ("FILE", "--json"), in the order --help lists them.
    std::vector<std::string> given;
    MeterOptions meter;  // channel, carrier, nominal, window; the rpm once checked
    LiveArguments capture;

    // Whether the option (its name as in `given`) is on the command line.
    bool Given(const std::string& name) const;
    // Set by CheckOptions.
    OutputForm form = OutputForm::kSummary;
    PlotFormat plotFormat = PlotFormat::kNone;
    Paper reportPaper = Paper::kA4;  // --paper, else the locale's (PaperFromEnvironment)
};

enum class Command {
    kHelpShown,    // --help or --version printed: nothing else to do
    kListDevices,  // --list-devices
    kVerify,       // --verify DIR
    kFile,         // one FILE
    kFiles,        // several
    kLive,         // --live
};

// Reads the command line into options; returns kHelpShown when it printed --help or --version
// (to standard output, which the caller checks), else kFile. Throws MeterError (exit status 2)
// saying what the command-line library refused: an unknown option, a bad number, --csv beside
// --json, a live option without --live.
Command ParseOptions(int argc, const char* const* argv, Options& options);

// The rules across options: which command the line asks for, or MeterError (exit status 2)
// saying why it is refused. Fills in options.meter.rpm, form and plotFormat.
Command CheckOptions(Options& options);

}  // namespace wobblemeter
