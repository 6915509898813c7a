// A download port and a download window played from a script, for the tests of the download
// loop and of the jobs around it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "download/DownloadLoop.h"
#include "download/SerialPort.h"

namespace vsdl::testing {

// Hands out a scripted byte stream; fails after `failAfter` bytes when that is set. COM1 to COM9
// name a port; one that `openFails` is busy.
class ScriptedPort final : public download::IDownloadPort {
  public:
    using Bytes = std::vector<std::uint8_t>;
    explicit ScriptedPort(const Bytes& bytes = {}, std::string deviceName = "/dev/ttyUSB0")
        : device(std::move(deviceName)), bytes_(bytes.begin(), bytes.end()) {}
    ~ScriptedPort() override {
        if (onGone) onGone(*this);
    }
    bool SetPortNumber(std::int32_t number) override { return number >= 1 && number <= 9; }
    bool Open() override { return !openFails; }
    bool Prepare() override { return true; }
    int ReadByte() override {
        if (failed_ || (failAfter >= 0 && delivered >= failAfter)) {
            failed_ = true;
            return -1;
        }
        if (bytes_.empty()) return -1;
        const int b = bytes_.front();
        bytes_.pop_front();
        ++delivered;
        return b;
    }
    bool SendByte(std::uint8_t byte) override {
        sent.push_back(byte);
        return !failed_;
    }
    bool WaitForReadable(int timeoutMs) override {
        waits.push_back(timeoutMs);
        if (onWait) onWait();
        return !bytes_.empty();
    }
    void Close() override { ++closes; }
    bool Failed() const override { return failed_; }
    download::PortError LastError() const override {
        using download::PortErrorKind;
        if (openFails) return {PortErrorKind::Busy, device, "Device or resource busy"};
        return failed_ ? download::PortError{PortErrorKind::Other, device, "Input/output error"}
                       : download::PortError{};
    }
    std::string DeviceName() const override { return device; }

    void Push(const Bytes& more) { bytes_.insert(bytes_.end(), more.begin(), more.end()); }

    std::string device;
    bool openFails = false;
    Bytes sent;
    int failAfter = -1;
    int delivered = 0;
    int closes = 0;
    std::vector<int> waits;
    std::function<void()> onWait;
    std::function<void(const ScriptedPort&)> onGone;

  private:
    std::deque<std::uint8_t> bytes_;
    bool failed_ = false;
};

class RecordingUi final : public download::DownloadUi {
  public:
    void SetInstructions(const std::string& t) override { instructions.push_back(t); }
    void SetStatus(const std::string& t) override { status.push_back(t); }
    void AddListLine(const std::string& t) override { list.push_back(t); }
    void ShowMessage(const std::string& t) override { messages.push_back(t); }
    void ProcessEvents() override {
        ++passes;
        if (onEvents) onEvents();
    }
    std::vector<std::string> instructions, status, messages, list;
    int passes = 0;
    std::function<void()> onEvents;
};

}  // namespace vsdl::testing
