// COM port numbers to devices, links resolved to the device they name, and the second line of a
// port error.
#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <grp.h>
#include <unistd.h>
#endif

#include "download/PortNames.h"
#include "support/CoreTestSupport.h"

namespace vsdl::download {
namespace {

using namespace vsdl::testing;

#ifndef _WIN32
TEST(PortNames, NumbersNameTheFirstDeviceThatIsThere) {
    TempDir dir;
    // The user's data folder is looked at before the program folder.
    const std::string user = dir.str() + "/user/", program = dir.str() + "/program/";
    fs::create_directories(dir.path() / "user" / "ports");
    fs::create_directories(dir.path() / "program" / "ports");
    fs::create_symlink("/dev/null", dir.path() / "program" / "ports" / "com1");
    fs::create_symlink("/dev/zero", dir.path() / "program" / "ports" / "com2");
    fs::create_symlink("/dev/null", dir.path() / "user" / "ports" / "com2");
    // A stale link is still the port: reported as missing when opened, not passed over.
    fs::create_symlink("/dev/pts/does-not-exist", dir.path() / "user" / "ports" / "com4");
    fs::create_symlink("/dev/null", dir.path() / "program" / "ports" / "com4");
    const std::vector<std::string> folders{user, program};
    EXPECT_EQ(DeviceCandidates(3, folders),
              (std::vector<std::string>{user + "ports/com3", program + "ports/com3", "/dev/ttyUSB2",
                                        "/dev/ttyACM2", "/dev/ttyS2"}));
    const struct {
        int number;
        std::string device;
    } cases[] = {{.number = 1, .device = program + "ports/com1"},
                 {.number = 2, .device = user + "ports/com2"},
                 {.number = 4, .device = user + "ports/com4"},
                 {.number = 4000, .device = "/dev/ttyS3999"},
                 {.number = 0, .device = ""},
                 {.number = -3, .device = ""}};
    for (const auto& [number, device] : cases) EXPECT_EQ(DeviceForPort(number, folders), device);
    EXPECT_TRUE(DeviceCandidates(0, folders).empty());
    EXPECT_EQ(DeviceForPort(5, {}), "/dev/ttyS4");

    const std::string folder = program;
    // A link is opened as the device it leads to, so that the port is locked under its name.
    fs::create_symlink("com1", dir.path() / "program" / "ports" / "chain");
    EXPECT_EQ(DeviceToOpen(folder + "ports/chain"), "/dev/null");
    EXPECT_EQ(DeviceToOpen(user + "ports/com4"), "/dev/pts/does-not-exist");
    EXPECT_EQ(DeviceToOpen("ttyS0"), "ttyS0");
    EXPECT_EQ(DeviceLabel(folder + "ports/com1", "/dev/null"), folder + "ports/com1 (/dev/null)");
    EXPECT_EQ(DeviceLabel("/dev/ttyS0", "/dev/ttyS0"), "/dev/ttyS0");
}

TEST(PortNames, ThePermissionHintNamesTheDevicesGroup) {
    TempDir dir;
    const std::string device = dir / "ttyFAKE";
    WriteFile(device, "x");
    const std::string detail =
        PortErrorDetail({PortErrorKind::PermissionDenied, device, "Permission denied"});
    const group* dialout = ::getgrnam("dialout");
    if (dialout != nullptr &&
        ::chown(device.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) == 0) {
        EXPECT_EQ(
            PortErrorDetail({PortErrorKind::PermissionDenied, device, "Permission denied"}),
            device + ": Permission denied. Add your user to the group dialout and log in again.");
    }
    EXPECT_EQ(detail.rfind(device + ": Permission denied. ", 0), 0u) << detail;
}
#else
TEST(PortNames, WindowsNamesArePlain) {
    EXPECT_EQ(DeviceForPort(12, {"C:\\VSDownload\\"}), "COM12");
}
#endif

TEST(PortNames, TheDetailKeepsTheSystemsReason) {
    const struct {
        PortError error;
        std::string detail;
    } cases[] = {
        {.error = {PortErrorKind::NoSuchDevice, "/dev/ttyUSB0", "No such file or directory"},
         .detail = "/dev/ttyUSB0: No such file or directory."},
        {.error = {PortErrorKind::Busy, "/dev/ttyS0", "Device or resource busy"},
         .detail = "/dev/ttyS0: Device or resource busy. Another program is using the port."},
        {.error = {PortErrorKind::Disconnected, "/dev/ttyUSB0", "gone"},
         .detail = "/dev/ttyUSB0: The port went away (the cable or adapter was unplugged)."},
        {.error = {PortErrorKind::Other, "COM3", ""},
         .detail = "COM3: The port could not be used."},
        {.error = {}, .detail = ""}};
    for (const auto& [error, detail] : cases) EXPECT_EQ(PortErrorDetail(error), detail);
}

}  // namespace
}  // namespace vsdl::download
