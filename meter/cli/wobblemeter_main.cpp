// wobblemeter: reads a recording of a wow-and-flutter test tone and prints its readings. The
// command line is read, checked, and handed to the command it asks for.
#include <string>

#include "meter/cli/batch_main.h"
#include "meter/cli/console.h"
#include "meter/cli/live_main.h"
#include "meter/cli/options.h"
#include "meter/cli/pending_plot.h"
#include "meter/cli/run_file.h"
#include "meter/message.h"
#include "sys/process.h"
#include "sys/std_streams.h"

namespace {

// Before anything else: the process as the meter needs it.
void PrepareProcess() {
    // Descriptors 0 to 2 open before anything else is, so that no file takes their place; a
    // reader of standard output that has gone makes writes fail instead of ending the program.
    EnsureStandardStreams();
    // Keep freed buffers for reuse instead of handing them back to the system: the
    // measurement allocates and frees buffers of a few MiB, and every page the system hands
    // out anew costs a page fault, which on some virtual machines is most of the run's time.
    // Peak memory stays that of the largest moment.
    KeepFreedMemoryForReuse();
    // Readings or a plot beyond the file-size limit fail like ones on a full disk, instead of
    // ending the program half-written.
    FailWritesBeyondFileSizeLimit();
}

// The plot's file opened before the measurement, so that one that cannot be written is found
// at once (MeterError), not after it.
wobblemeter::PendingPlot OpenPlot(const wobblemeter::Options& options) {
    if (!options.Given("--plot")) return {};
    return {options.plot, options.plotFormat};
}

// --help or --version printed: whether it arrived.
int HelpShown() {
    const std::string lost = wobblemeter::WriteStandardOutput({});
    if (lost.empty()) return wobblemeter::ToInt(wobblemeter::ExitStatus::kDone);
    return wobblemeter::Say(wobblemeter::Msg::kCannotWriteStdout, lost.c_str());
}

int Run(wobblemeter::Command command, wobblemeter::Options& options) {
    using wobblemeter::Command;
    switch (command) {
        case Command::kHelpShown:
            return HelpShown();
        case Command::kListDevices:
            return wobblemeter::ListDevicesCommand();
        case Command::kVerify:
            return wobblemeter::VerifyCommand(options.verify);
        case Command::kFiles:
            return wobblemeter::MeasureFilesCommand(options.paths, options.meter, options.form);
        case Command::kFile:
            return wobblemeter::MeasureFileCommand(options, OpenPlot(options));
        case Command::kLive:
            return wobblemeter::LiveCommand(options, OpenPlot(options));
    }
    return wobblemeter::ToInt(wobblemeter::ExitStatus::kFailed);
}

}  // namespace

int main(int argc, char** argv) {
    PrepareProcess();
    wobblemeter::Options options;
    try {
        wobblemeter::Command command = wobblemeter::ParseOptions(argc, argv, options);
        if (command != wobblemeter::Command::kHelpShown) command = CheckOptions(options);
        return Run(command, options);
    } catch (const wobblemeter::MeterError& e) {
        // A refused command line (2), or an output that cannot be created (1).
        return wobblemeter::Say(e);
    }
}
