// The standard streams as this project's programs rely on them: descriptors 0, 1 and 2 always
// open, and output meant for them that was lost (closed, full, a pipe without reader) noticed.
#pragma once

#include <string>

enum class StandardStream { kInput = 0, kOutput = 1, kError = 2 };

// Call first in main, before anything is opened. Opens each of standard input, output and
// error that is closed on the null device, so that no file the program opens later takes its
// place (and gets the program's messages written into it). Output and error are opened for
// reading only: a write to them fails, and the program notices it like any other lost output.
// Also makes a write to a pipe whose reader has gone fail (EPIPE) instead of ending the
// process, so that a lost message costs the message, not the work.
void EnsureStandardStreams();

// Whether the stream was closed when EnsureStandardStreams ran (false before it ran).
bool StandardStreamWasClosed(StandardStream stream);

// Flushes standard output or standard error (stream must be one of them) and tells whether
// everything written to it so far arrived. When not, and reason is given, it receives why:
// "it was closed" or the system's text for the failure ("No space left on device").
bool StandardStreamIntact(StandardStream stream, std::string* reason);
