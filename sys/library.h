// Shared libraries loaded while the program runs (PortAudio, only once a live command needs it),
// and standard error filtered by thread for the libraries that print to it unasked.
#pragma once

#include <string>

// Loads the shared library file (a path, or a name the system's loader looks up) and what it
// needs, for the rest of the process: it is never unloaded, as threads it started may run
// until the end. Its symbols are resolved at once and are not offered to libraries loaded
// later. Null when it cannot be loaded; why then receives the loader's reason.
void* LoadSharedLibrary(const std::string& file, std::string& why);

// The address of the function or variable name in library (or, on POSIX, in a library it
// loaded), null when there is none.
void* FindLibrarySymbol(void* library, const char* name);

// Replaces the C library's standard error, once for the process, with an unbuffered stream onto
// the standard error descriptor that drops what is written on threads for which quiet() returns
// true, and passes everything else unchanged. False, with standard error left as it was, where
// the C library cannot make such a stream (only glibc can), or when it failed.
bool FilterStandardError(bool (*quiet)());
