// The folders of the running program for the user running it, found out with Qt.
#pragma once

#include <string>

#include "common/Folders.h"

namespace vsdl::folders {

// The folders for `program` (a program folder). When it cannot be written, or the programs are
// installed system-wide (InstalledSystemWide), these are the user's application data
// folder (created here) and documents folder (the home folder when there is none). The
// application name must be set first: it names the data folder (on Linux
// ~/.local/share/VSDownload, on Windows %APPDATA%\VSDownload).
ProgramFolders ForThisUser(const std::string& program);

// The user's own folders, as for a program folder that cannot be written: for a data folder
// whose files belong to another user.
ProgramFolders UserOwnFolders(const std::string& program);

}  // namespace vsdl::folders
