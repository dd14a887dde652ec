// Output files that appear complete or not at all: written under a temporary name beside the
// target and renamed over it once complete, and removed when the process is interrupted.
#pragma once

#include <cstdio>

// Opens path for writing, as fopen(path, "wb") would, as the process's one output file.
// - A regular file, or a path where nothing is yet, is written under a temporary name
//   (".NAME.XXXXXX") in the directory of the final target: symbolic links are followed, and
//   the link stays a link. A file already there is untouched until CommitOutputFile renames
//   the complete file over it, keeping the old file's permissions (new files get 0666 less
//   the umask).
// - Where no file can be created beside the target (a writable file in a directory that is
//   not), the file is written in place; a failure or an interruption then leaves it empty,
//   so that no partial contents remain.
// - Devices, FIFOs and other files that are not regular are written in place.
// From the first call on, an interruption (on POSIX: SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGXCPU
// and SIGPIPE, where they have their default action) first removes or empties the unfinished
// output and then ends the process as it would have; a file-size limit makes the write fail
// (EFBIG) instead of ending the process.
// Returns null with errno set when the file cannot be opened, or (EBUSY) while another output
// file is open.
FILE* OpenOutputFile(const char* path);

// Closes file, which OpenOutputFile returned, and puts it in place. False when a write, the
// close or the rename failed; the output is then discarded as by DiscardOutputFile.
bool CommitOutputFile(FILE* file);

// Closes file, which OpenOutputFile returned, and removes what was written: the temporary
// file, or a regular file written in place is emptied (removed if this opening created it).
// A device or FIFO is left alone.
void DiscardOutputFile(FILE* file);
