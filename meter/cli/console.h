// What wobblemeter's front ends write: readings on standard output, checked as they go out, and
// its messages on standard error, a line each after "wobblemeter: ".
#pragma once

#include <string>

#include "meter/message.h"

namespace wobblemeter {

// Writes text to standard output and flushes it. Returns empty when everything written there so
// far arrived, else why not ("it was closed", "No space left on device").
std::string WriteStandardOutput(const std::string& text);

// "wobblemeter: words" and a newline on standard error, the words' control characters escaped
// (QuotedName).
void SayLine(const std::string& words);

// The message of row id on standard error; returns the row's exit status.
template <typename... Args>
int Say(Msg id, Args... args) {
    SayLine(Text(id, args...));
    return StatusOf(id);
}

// The error's words on standard error; returns its exit status.
int Say(const MeterError& error);

}  // namespace wobblemeter
