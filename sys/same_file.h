// Whether two names reach one file: so that an output never overwrites an input or another
// output given under another spelling (a link, "./", "a/../a").
#pragma once

#include <string>

// True when a and b name the same file. Files that exist compare by identity, links followed
// (POSIX: device and inode; Windows: volume serial and file index). Names where nothing is yet
// compare by their folder resolved (links, "." and ".." gone) and their last name. Character
// devices (/dev/null, a terminal, /dev/stdout on one) are never the same: writing one twice
// destroys nothing. A name that exists and one that does not are not the same.
bool SameFile(const std::string& a, const std::string& b);
