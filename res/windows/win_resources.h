// What Windows Explorer reads from the programs' resources, made on the build machine from
// the resource data in res/: the icon file of an icon group and the version block as a
// resource script statement.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "afx/afxres.h"

namespace winres {

// An .ico file with every image of the group, 32 bits per pixel (colour with alpha, and the
// mask that displays without alpha use), in the group's order.
std::vector<std::uint8_t> IconFile(const IconGroup& group);

// The program whose version block is written: its file name without ".exe" and what it is.
struct Program {
    std::string name;  // e.g. "wobblegen-cli"
    std::string description;
};

// A VERSIONINFO statement with the block's fixed part and every string of its string table,
// and the translation its block name gives (language and code page). The block is the
// program's whose InternalName it holds; for another program, InternalName, OriginalFilename
// and FileDescription name that one.
std::string VersionScript(const VersionResource& version, const Program& program);

}  // namespace winres
