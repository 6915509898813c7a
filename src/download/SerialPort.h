// The serial port as the download and the port probe use it. Standard library only; the one
// implementation over QSerialPort lives in QtSerialPort.h, so the protocol core and its tests
// never need Qt.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vsdl::download {

// Why a port could not be opened or failed while in use.
enum class PortErrorKind {
    None,
    NoSuchDevice,
    PermissionDenied,
    Busy,
    Disconnected,  // went away while in use: adapter unplugged, line closed
    Other
};

struct PortError {
    PortErrorKind kind = PortErrorKind::None;
    // The device the port number named ("/dev/ttyUSB0", "COM3"); a link is named with the device
    // it leads to ("/opt/vsdl/ports/com1 (/dev/pts/3)").
    std::string device;
    std::string reason;     // the system's own words
    std::string path = {};  // the device file itself, as opened ("/dev/pts/3")
};

// The download's port: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control.
class IDownloadPort {
  public:
    virtual ~IDownloadPort() = default;
    virtual bool SetPortNumber(std::int32_t number) = 0;  // false when the number names no port
    virtual bool Open() = 0;                              // false -> LastError()
    virtual bool Prepare() = 0;                           // clears buffers of an open port
    // The next received byte (0-255) without waiting; -1 when none is waiting.
    // A port that failed returns -1 and Failed() turns true.
    virtual int ReadByte() = 0;
    virtual bool SendByte(std::uint8_t byte) = 0;  // false (and Failed()) when it cannot be sent
    // Waits at most `timeoutMs` for a byte to arrive; true when one is waiting.
    virtual bool WaitForReadable(int timeoutMs) = 0;
    virtual void Close() = 0;
    virtual bool Failed() const = 0;
    virtual PortError LastError() const = 0;
    // The device in use, as messages name it ("/dev/ttyUSB0"); "" when not known.
    virtual std::string DeviceName() const { return {}; }
};

// The port selection dialog's probe: can the port be opened right now?
class IPortProbe {
  public:
    virtual ~IPortProbe() = default;
    virtual void SetPortNumber(std::int16_t number) = 0;
    virtual void Open() = 0;  // errors ignored: a port that cannot be opened stays closed
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // The device the current port number names on this system, for a tooltip.
    virtual std::string DeviceName() const = 0;
    // What the system says the device is ("FT232R USB UART, FTDI, serial A1B2C3"); "" for nothing.
    virtual std::string Description() const { return {}; }
    // The COM numbers above `last` whose devices exist on this system, in ascending order.
    virtual std::vector<std::int16_t> PortsBeyond(std::int16_t /*last*/) const { return {}; }
};

}  // namespace vsdl::download
