// The running process: its threads' names, its allocator, and requests to stop it.
#pragma once

// Names the calling thread for debuggers and profilers (up to 15 characters are kept). Does
// nothing where the system keeps no names.
void NameCurrentThread(const char* name);

// Has the allocator keep freed memory for reuse instead of handing it back to the system: a
// program that allocates and frees buffers of a few MiB then takes no page faults for them
// anew. Peak memory stays that of the largest moment. Does nothing where it cannot be told.
void KeepFreedMemoryForReuse();

// From this call on, the first interruption (SIGINT or SIGTERM; on Windows Ctrl+C or
// Ctrl+Break) asks the program to stop, which StopRequested then tells; the next one does
// what it did before (ends the program, removing an unfinished output file first). An
// interruption ignored from the start (SIGINT of a background job) stays ignored.
void CatchStopRequests();
bool StopRequested();
