// Input files the user names: whether a path is a file that opening may wait on without end
// (a FIFO waits for a writer), so that the meter refuses it instead of hanging.
#pragma once

// True when path (its symbolic links followed) is a FIFO or a socket. False for regular files,
// devices, directories, a path that does not exist, and where the system has no such files.
bool IsPipeOrSocket(const char* path);
