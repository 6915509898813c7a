// "Any port": the download listens on every serial port it can open, sends nothing on any of
// them, and takes the first on which the instrument's handshake A5 3C 69 arrives. The others are
// closed at once and the download goes on there alone, as if that port had been chosen: the
// bytes that port received before (its text lines, the handshake) are handed on first, so that
// only the chosen port's text lines reach the list. Standard library only: the ports themselves
// come from a factory (QSerialPort in the program, scripted ports in tests).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/SerialPort.h"

namespace vsdl::download {

class AnyPort final : public IDownloadPort {
  public:
    // A closed port for `device`, ready to be opened.
    using Factory = std::function<std::unique_ptr<IDownloadPort>(const std::string& device)>;

    // `devices`: every serial port of the system, each once, in the order they are listed.
    AnyPort(std::vector<std::string> devices, Factory make);
    ~AnyPort() override;

    bool SetPortNumber(std::int32_t) override { return true; }
    // Opens and prepares every device it can; false, with LastError() saying so, when none opens.
    bool Open() override;
    bool Prepare() override { return !Failed(); }
    int ReadByte() override;
    // Nothing is sent before the instrument has been found: false on no port.
    bool SendByte(std::uint8_t byte) override;
    bool WaitForReadable(int timeoutMs) override;
    void Close() override;
    bool Failed() const override;
    PortError LastError() const override;
    std::string DeviceName() const override;

    // The devices listened on, and those that could not be opened with why.
    std::vector<std::string> Listening() const;
    const std::vector<PortError>& Skipped() const { return skipped_; }
    // Called once, when the instrument has been found, with its device.
    std::function<void(const std::string& device)> onChosen;

  private:
    struct Listener {
        std::string device;
        std::unique_ptr<IDownloadPort> port;
        std::vector<std::uint8_t> received;  // everything since the port was opened
    };
    void Poll();
    void Choose(std::size_t index);

    std::vector<std::string> devices_;
    Factory make_;
    std::vector<Listener> listeners_;
    std::vector<PortError> skipped_;
    std::optional<std::size_t> chosen_;
    std::vector<std::uint8_t> replay_;  // the chosen port's bytes not yet handed on
    std::size_t replayAt_ = 0;
    PortError lastError_;
};

// "Not opened: /dev/ttyS0 (Permission denied), /dev/ttyUSB1 (busy)." ("" when none was skipped).
std::string SkippedPortsLine(const std::vector<PortError>& skipped);

}  // namespace vsdl::download
