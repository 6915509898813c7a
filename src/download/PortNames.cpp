#include "download/PortNames.h"

#include <filesystem>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/Paths.h"

namespace vsdl::download {

std::vector<std::string> DeviceCandidates(std::int32_t number,
                                          const std::vector<std::string>& portFolders) {
    if (number < 1) return {};
#ifdef _WIN32
    (void)portFolders;
    return {"COM" + std::to_string(number)};
#else
    const std::string n = std::to_string(number);
    const std::string index = std::to_string(static_cast<std::int64_t>(number) - 1);
    std::vector<std::string> candidates;
    for (const std::string& folder : portFolders) {
        if (!folder.empty())
            candidates.push_back(paths::Join(paths::Join(folder, "ports"), "com" + n));
    }
    candidates.push_back("/dev/ttyUSB" + index);
    candidates.push_back("/dev/ttyACM" + index);
    candidates.push_back("/dev/ttyS" + index);
    return candidates;
#endif
}

std::string DeviceForPort(std::int32_t number, const std::vector<std::string>& portFolders) {
    const std::vector<std::string> candidates = DeviceCandidates(number, portFolders);
    if (candidates.empty()) return {};
#ifdef _WIN32
    return candidates.front();
#else
    namespace fs = std::filesystem;
    const std::size_t ownEntries = candidates.size() - 3;  // the ports/ entries come first
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        std::error_code ec;
        const fs::path path = paths::ToFsPath(candidates[i]);
        // A ports/ entry counts as soon as it is there, even as a link whose target is gone.
        const bool ownEntry = i < ownEntries;
        const auto status = ownEntry ? fs::symlink_status(path, ec) : fs::status(path, ec);
        if (!ec && fs::exists(status)) return candidates[i];
    }
    return candidates.back();
#endif
}

std::string DeviceToOpen(const std::string& device) {
#ifdef _WIN32
    return device;
#else
    namespace fs = std::filesystem;
    if (device.find('/') == std::string::npos) return device;  // a name under /dev
    std::error_code ec;
    const fs::path resolved = fs::canonical(paths::ToFsPath(device), ec);
    if (!ec) return paths::FromFsPath(resolved);
    // A link whose device is gone: followed as far as it goes, so that opening reports the
    // missing device, and not a lock file named after the link.
    fs::path path = fs::absolute(paths::ToFsPath(device), ec);
    if (ec) return device;
    for (int depth = 0; depth < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++depth) {
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return paths::FromFsPath(path.lexically_normal());
#endif
}

std::string DeviceLabel(const std::string& device, const std::string& opened) {
    if (opened.empty() || opened == device) return device;
    return device + " (" + opened + ")";
}

std::optional<std::int32_t> PortNumberOfDevice(const std::string& device,
                                               const std::vector<std::string>& portFolders) {
    const std::string name = paths::Split(device).name;
    std::optional<std::int32_t> number;
    for (const auto& [prefix, offset] : {std::pair<std::string_view, int>{"com", 0},
                                         {"COM", 0},
                                         {"ttyUSB", 1},
                                         {"ttyACM", 1},
                                         {"ttyS", 1}}) {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string_view digits = std::string_view(name).substr(prefix.size());
        if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        number = static_cast<std::int32_t>(std::stol(std::string(digits)) + offset);
        break;
    }
    if (!number || *number < 1) return std::nullopt;
    const std::string named = DeviceForPort(*number, portFolders);
    if (named == device || DeviceToOpen(named) == DeviceToOpen(device)) return number;
    return std::nullopt;
}

std::string PortDetails(const std::string& device, const std::string& description,
                        const std::string& manufacturer, const std::string& serialNumber) {
    std::string text = device;
    const auto add = [&text](const std::string& part) {
        if (part.empty()) return;
        if (!text.empty()) text += ", ";
        text += part;
    };
    add(description);
    if (description.find(manufacturer) == std::string::npos) add(manufacturer);
    if (!serialNumber.empty()) add("serial " + serialNumber);
    return text;
}

std::string DeviceGroup(const std::string& device) {
#ifdef _WIN32
    (void)device;
    return {};
#else
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return {};
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    struct group grp {};
    struct group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &grp, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return {};
    }
    return found->gr_name ? found->gr_name : "";
#endif
}

std::string PortNotAvailableText(const std::string& portText) {
    return "Error: COM port #" + portText + " is not available.  Please change and try again.";
}

std::string PortErrorDetail(const PortError& error) {
    std::string text = error.device.empty() ? std::string() : error.device + ": ";
    switch (error.kind) {
        case PortErrorKind::None:
            return {};
        case PortErrorKind::NoSuchDevice:
            text += error.reason.empty() ? "No such device" : error.reason;
            return text + ".";
        case PortErrorKind::Busy:
            text += error.reason.empty() ? "Device is busy" : error.reason;
            return text + ". Another program is using the port.";
        case PortErrorKind::Disconnected:
            return text + "The port went away (the cable or adapter was unplugged).";
        case PortErrorKind::PermissionDenied: {
            text += error.reason.empty() ? "Permission denied" : error.reason;
            text += ".";
#ifndef _WIN32
            const std::string group = DeviceGroup(error.path.empty() ? error.device : error.path);
            if (!group.empty() && group != "root") {
                text += " Add your user to the group " + group + " and log in again.";
            } else {
                text += " Your user needs read and write access to the device.";
            }
#endif
            return text;
        }
        case PortErrorKind::Other:
            break;
    }
    text += error.reason.empty() ? "The port could not be used" : error.reason;
    return text + ".";
}

}  // namespace vsdl::download
