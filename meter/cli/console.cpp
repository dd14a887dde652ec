// Standard output checked after every write, and the meter's messages on standard error.
#include "meter/cli/console.h"

#include <cstdio>

#include "meter/message.h"
#include "sys/std_streams.h"

namespace wobblemeter {

std::string WriteStandardOutput(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::string reason;
    if (StandardStreamIntact(StandardStream::kOutput, &reason)) return {};
    return reason.empty() ? Text(Msg::kWriteError) : reason;
}

void SayLine(const std::string& words) {
    // Whatever a name held, the message stays one line and sends the terminal no controls.
    std::fprintf(stderr, "wobblemeter: %s\n", QuotedName(words).c_str());
}

int Say(const MeterError& error) {
    SayLine(error.what());
    return error.status();
}

}  // namespace wobblemeter
