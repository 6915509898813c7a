// Which device a COM port number names on this system, and how a port failure is explained to
// the user. Standard library only (plus POSIX where the system is asked about a device).
//
// On Windows COM n is "COMn". Elsewhere COM n is the first that exists of:
//   <folder>/ports/com<n>           a symbolic link the user (or the simulator) made, for each
//                                   of the port folders (see common/Folders.h) in turn
//   /dev/ttyUSB<n-1>                USB serial adapters
//   /dev/ttyACM<n-1>                USB modem-class devices
//   /dev/ttyS<n-1>                  built-in serial ports
// An entry in ports/ counts even when its target is gone, so that a stale link is reported as
// such instead of silently falling through to another device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "download/SerialPort.h"

namespace vsdl::download {

// The devices looked at for COM `number`, in order (empty for numbers below 1).
std::vector<std::string> DeviceCandidates(std::int32_t number,
                                          const std::vector<std::string>& portFolders);

// The device COM `number` names: the first candidate that exists, else the last candidate (so
// that opening it reports "no such device" with a name). Empty for numbers below 1.
std::string DeviceForPort(std::int32_t number, const std::vector<std::string>& portFolders);

// The device file that is opened for `device`: a path through symbolic links (ports/com<n>,
// /dev/serial/by-id/...) resolved to the device itself, so that the port is locked under the
// device's own name, whoever opens it by whichever name; a relative path is made absolute. A
// link whose target is gone gives that target (opening it reports it missing). Unchanged on
// Windows.
std::string DeviceToOpen(const std::string& device);

// How a device is named in messages: "<link> (<device>)" for a link, else the device.
std::string DeviceLabel(const std::string& device, const std::string& opened);

// "Error: COM port #3 is not available.  Please change and try again." for the port as the user
// gave it (a number, or "any").
std::string PortNotAvailableText(const std::string& portText);

// The second line of the "port not available" message: the device and the system's reason,
// and for a permission problem on Linux a hint naming the group that owns the device, e.g.
// "/dev/ttyUSB0: Permission denied. Add your user to the group dialout and log in again."
std::string PortErrorDetail(const PortError& error);

// The COM number that names `device`: the number its name carries (ports/com<n>, COM<n>,
// /dev/ttyUSB<n-1>, /dev/ttyACM<n-1>, /dev/ttyS<n-1>) when DeviceForPort gives that device for
// it; nullopt otherwise (/dev/ttyAMA0, a pseudo-terminal without a link, /dev/ttyS0 when
// ports/com1 is a link).
std::optional<std::int32_t> PortNumberOfDevice(const std::string& device,
                                               const std::vector<std::string>& portFolders);

// What the port selection dialog shows beside a COM number: "/dev/ttyUSB0, FT232R USB UART,
// serial A1B2C3" from the device and what the system says of it (each part left out when empty;
// a maker already named in the description is not repeated).
std::string PortDetails(const std::string& device, const std::string& description,
                        const std::string& manufacturer, const std::string& serialNumber);

// The group that owns `device` ("" when it cannot be found out or on Windows).
std::string DeviceGroup(const std::string& device);

}  // namespace vsdl::download
