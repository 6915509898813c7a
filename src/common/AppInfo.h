// Application title, program name and version.
#pragma once

#include <string>
#include <string_view>

namespace vsdl::appinfo {

// Heads the main window's caption and the About box; the title of every message box.
inline constexpr std::string_view kTitle = "Valdor Sensing Download Program";
// The program's own name, the source named in the conversion's failure messages.
inline constexpr std::string_view kProgramName = "VSDownload";
// The maker's web page, shown in the About box.
inline constexpr std::string_view kWebAddress = "https://www.valdorsensing.example/";

struct Version {
    int major;
    int minor;
    int revision;
};

// This build's version, from the CMake project version.
Version CurrentVersion();

// "Version 2.1", or "Version 2.1.3" when the revision is not 0.
std::string VersionText(const Version& version);

// The main window's caption: title, one blank, version text.
std::string MainCaption(const Version& version = CurrentVersion());

// "2.1.0": the plain version for --version and the like.
std::string VersionNumber(const Version& version = CurrentVersion());

}  // namespace vsdl::appinfo
