// Terminals: whether a standard stream is one, and how wide it is, for output redrawn in place.
#pragma once

#include "sys/std_streams.h"

// Whether the stream is a terminal (on Windows a console, or a character device such as NUL).
bool IsTerminal(StandardStream stream);

// Width of the terminal the stream is, in characters; 0 when it is none or does not say.
int TerminalWidth(StandardStream stream);
