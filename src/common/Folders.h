// Where the program keeps its files. Beside the program, as it always has, when the program
// folder can be written; an installed program (in /usr/bin, or Program Files) cannot write its
// folder, and keeps them in the user's own folders instead:
//   data   ~tempidl.bin (and its lock), downloads/
//   config serialport.cfg, lastbin.cfg (the data folder, except for an installed program on
//          Linux, which keeps its settings where the desktop keeps settings: ~/.config)
//   save   the folder a finished download is first proposed to be saved in
//   ports  the folders whose ports/com<n> links name COM ports, in the order looked at
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vsdl::folders {

struct ProgramFolders {
    std::string data;  // each with a trailing separator
    std::string save;
    std::vector<std::string> ports;
    std::string config;
};

// True when a new file can be made in `folder`: a probe file is created there and removed at
// once. Asking the permissions would be wrong on read-only mounts, under access control lists
// and for an administrator on Windows.
bool CanWrite(std::string_view folder);

// True for programs installed system-wide (the Debian package: /usr/bin beside
// /usr/libexec/vsdownload), which never keep files beside themselves, not even for root. Told at
// run time, so that one build serves the package and a program folder of its own.
bool InstalledSystemWide(std::string_view program);

// A writable program folder serves for all of them. Otherwise data is `userData`, a save is
// proposed in `documents` (in `userData` when that is empty), ports/ is looked up in `userData`
// and then in the program folder (where an administrator may have made the links for everyone),
// and the settings are in `userConfig` (in `userData` when that is empty).
ProgramFolders Choose(std::string_view program, bool programWritable, std::string_view userData,
                      std::string_view documents, std::string_view userConfig = {});

// The settings files an earlier version kept in the user's data folder: copied into the settings
// folder where it has none of its own yet, so that they are still read. Nothing is removed.
void CarrySettingsOver(const ProgramFolders& folders);

}  // namespace vsdl::folders
