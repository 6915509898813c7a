#include "common/AppInfo.h"

#include "AppVersion.h"

namespace vsdl::appinfo {

Version CurrentVersion() {
    return {VSDL_VERSION_MAJOR, VSDL_VERSION_MINOR, VSDL_VERSION_REVISION};
}

std::string VersionText(const Version& version) {
    std::string text =
        "Version " + std::to_string(version.major) + "." + std::to_string(version.minor);
    if (version.revision != 0) text += "." + std::to_string(version.revision);
    return text;
}

std::string MainCaption(const Version& version) {
    return std::string(kTitle) + " " + VersionText(version);
}

std::string VersionNumber(const Version& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.revision);
}

}  // namespace vsdl::appinfo
