// The running process: its name, its threads' names, its allocator, the file-size limit, and
// requests to stop it.
#pragma once

#include <string>

// The program's file name without folders (and, on Windows, without ".exe"): "wobblegen".
std::string ProgramName();

// Names the calling thread for debuggers and profilers (up to 15 characters are kept). Does
// nothing where the system keeps no names.
void NameCurrentThread(const char* name);

// Has the allocator keep freed memory for reuse instead of handing it back to the system: a
// program that allocates and frees buffers of a few MiB then takes no page faults for them
// anew. Peak memory stays that of the largest moment. Does nothing where it cannot be told.
void KeepFreedMemoryForReuse();

// From this call on, a write beyond the file-size limit (ulimit -f) fails (EFBIG) like one on a
// full disk, instead of ending the process (SIGXFSZ). Does nothing where there is no such limit.
void FailWritesBeyondFileSizeLimit();

// From this call on, the first interruption (SIGINT or SIGTERM; on Windows Ctrl+C or
// Ctrl+Break) asks the program to stop, which StopRequested then tells; the next one does
// what it did before (ends the program, removing an unfinished output file first). An
// interruption ignored from the start (SIGINT of a background job) stays ignored.
void CatchStopRequests();
bool StopRequested();
