// The serial port over QSerialPort: the download's port and the port selection dialog's probe.
// Both map COM port numbers to devices with DeviceForPort(), so they need the port folders.
// Line settings: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control.
#pragma once

#include <QSerialPort>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/AnyPort.h"
#include "download/SerialPort.h"

namespace vsdl::download {

class QtDownloadPort final : public IDownloadPort {
  public:
    // `portFolders`: where ports/com<n> links are looked up.
    explicit QtDownloadPort(std::vector<std::string> portFolders);
    ~QtDownloadPort() override;

    bool SetPortNumber(std::int32_t number) override;
    // Names the device directly, bypassing the port number (vsdl download --device).
    void SetDevice(const std::string& device);
    std::string Device() const { return device_; }

    bool Open() override;
    bool Prepare() override;
    int ReadByte() override;
    bool SendByte(std::uint8_t byte) override;
    bool WaitForReadable(int timeoutMs) override;
    void Close() override;
    bool Failed() const override { return failed_; }
    PortError LastError() const override { return error_; }
    std::string DeviceName() const override;

  private:
    void NoteError(const char* operation, bool inUse);

    std::vector<std::string> portFolders_;
    std::string device_;  // as named: a port number's device, or --device
    std::string opened_;  // the device file itself, links resolved
    std::unique_ptr<QSerialPort> port_;
    bool failed_ = false;
    PortError error_;
};

class QtPortProbe final : public IPortProbe {
  public:
    explicit QtPortProbe(std::vector<std::string> portFolders);
    ~QtPortProbe() override;

    void SetPortNumber(std::int16_t number) override;
    void Open() override;
    bool IsOpen() const override;
    void Close() override;
    std::string DeviceName() const override { return device_; }
    std::string Description() const override;
    std::vector<std::int16_t> PortsBeyond(std::int16_t last) const override;

  private:
    std::vector<std::string> portFolders_;
    std::string device_;
    std::unique_ptr<QSerialPort> port_;
};

// Every serial port of this system, each device once: the ports/com<n> links of the port
// folders (by number), then the devices the system lists (USB adapters, built-in ports; on
// Windows COM1, COM2...). Pseudo-terminals appear only through a link.
std::vector<std::string> AllSerialPorts(const std::vector<std::string>& portFolders);

// What the system says of `device` (links resolved): "FT232R USB UART, FTDI, serial A1B2C3" as
// PortDetails puts it, without the device; "" when it says nothing.
std::string DescribeDevice(const std::string& device);

// "Any port" over every serial port of this system.
std::unique_ptr<AnyPort> MakeAnyPort(const std::vector<std::string>& portFolders,
                                     std::function<void(const std::string&)> onChosen = {});

}  // namespace vsdl::download
