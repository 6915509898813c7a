// COM port numbers to devices, and the second line of a port error.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "download/PortNames.h"

#ifndef _WIN32
#include <grp.h>
#include <unistd.h>
#endif

namespace vsdl::download {
namespace {

namespace fs = std::filesystem;

class PortNamesTest : public ::testing::Test {
  protected:
    PortNamesTest() {
        folder =
            fs::temp_directory_path() /
            ("vsdl_ports_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder / "ports");
    }
    ~PortNamesTest() override { fs::remove_all(folder); }
    std::string Folder() const { return folder.string() + "/"; }

    fs::path folder;
};

#ifndef _WIN32
TEST_F(PortNamesTest, CandidatesAreLookedAtInOrder) {
    const auto c = DeviceCandidates(3, Folder());
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0], Folder() + "ports/com3");
    EXPECT_EQ(c[1], "/dev/ttyUSB2");
    EXPECT_EQ(c[2], "/dev/ttyACM2");
    EXPECT_EQ(c[3], "/dev/ttyS2");
}

TEST_F(PortNamesTest, AnEntryInPortsComesFirst) {
    fs::create_symlink("/dev/null", folder / "ports" / "com1");
    EXPECT_EQ(DeviceForPort(1, Folder()), Folder() + "ports/com1");
    // Another number does not see it.
    EXPECT_NE(DeviceForPort(2, Folder()), Folder() + "ports/com2");
}

TEST_F(PortNamesTest, AStaleLinkIsStillThePort) {
    // Reported as missing when opened, instead of quietly opening some other device.
    fs::create_symlink("/dev/pts/does-not-exist", folder / "ports" / "com4");
    EXPECT_EQ(DeviceForPort(4, Folder()), Folder() + "ports/com4");
}

TEST_F(PortNamesTest, WithoutAnyDeviceTheLastCandidateIsNamed) {
    EXPECT_EQ(DeviceForPort(4000, Folder()), "/dev/ttyS3999");
}

TEST_F(PortNamesTest, NumbersBelowOneNameNoPort) {
    EXPECT_TRUE(DeviceCandidates(0, Folder()).empty());
    EXPECT_EQ(DeviceForPort(0, Folder()), "");
    EXPECT_EQ(DeviceForPort(-3, Folder()), "");
}

TEST_F(PortNamesTest, ThePermissionHintNamesTheDevicesGroup) {
    const fs::path device = folder / "ttyFAKE";
    std::ofstream(device).put('x');
    const std::string group = DeviceGroup(device.string());
    ASSERT_FALSE(group.empty());
    const std::string detail =
        PortErrorDetail({PortErrorKind::PermissionDenied, device.string(), "Permission denied"});
    EXPECT_EQ(detail.rfind(device.string() + ": Permission denied.", 0), 0u);
    if (group == "root") {
        EXPECT_NE(detail.find("read and write access"), std::string::npos);
    } else {
        EXPECT_NE(detail.find("Add your user to the group " + group + " and log in again."),
                  std::string::npos);
    }
}

TEST_F(PortNamesTest, ThePermissionHintForAGroupOtherThanRoot) {
    const fs::path device = folder / "ttyFAKE";
    std::ofstream(device).put('x');
    const group* g = ::getgrnam("dialout");
    if (!g || ::chown(device.c_str(), static_cast<uid_t>(-1), g->gr_gid) != 0) {
        GTEST_SKIP() << "cannot give a file to the group dialout here";
    }
    EXPECT_EQ(
        PortErrorDetail({PortErrorKind::PermissionDenied, device.string(), "Permission denied"}),
        device.string() +
            ": Permission denied. Add your user to the group dialout and log in again.");
}
#else
TEST_F(PortNamesTest, WindowsNamesArePlain) {
    EXPECT_EQ(DeviceForPort(3, Folder()), "COM3");
    EXPECT_EQ(DeviceForPort(12, Folder()), "COM12");
}
#endif

TEST(PortErrorDetailTest, KeepsTheSystemsReason) {
    EXPECT_EQ(
        PortErrorDetail({PortErrorKind::NoSuchDevice, "/dev/ttyUSB0", "No such file or directory"}),
        "/dev/ttyUSB0: No such file or directory.");
    EXPECT_EQ(PortErrorDetail({PortErrorKind::Busy, "/dev/ttyS0", "Device or resource busy"}),
              "/dev/ttyS0: Device or resource busy. Another program is using the port.");
    EXPECT_EQ(PortErrorDetail({}), "");
}

}  // namespace
}  // namespace vsdl::download
