#include "download/AnyPort.h"

#include <algorithm>
#include <utility>

namespace vsdl::download {
namespace {

constexpr std::uint8_t kHandshake[] = {0xA5, 0x3C, 0x69};
// What a port may hold back before the instrument is found: text lines are short, and a port
// that streams without end must not fill the memory.
constexpr std::size_t kMaxHeldBack = 64 * 1024;
// Bytes taken from one port per poll, so that a busy port cannot starve the others.
constexpr int kMaxPerPoll = 4096;

bool EndsWithHandshake(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 3 &&
           std::equal(std::begin(kHandshake), std::end(kHandshake), bytes.end() - 3);
}

std::string Why(const PortError& e) {
    if (!e.reason.empty()) return e.reason;
    switch (e.kind) {
        case PortErrorKind::Busy:
            return "busy";
        case PortErrorKind::PermissionDenied:
            return "permission denied";
        case PortErrorKind::NoSuchDevice:
            return "no such device";
        default:
            return "cannot be opened";
    }
}

}  // namespace

AnyPort::AnyPort(std::vector<std::string> devices, Factory make)
    : devices_(std::move(devices)), make_(std::move(make)) {}

AnyPort::~AnyPort() {
    Close();
}

bool AnyPort::Open() {
    Close();
    skipped_.clear();
    chosen_.reset();
    replay_.clear();
    replayAt_ = 0;
    lastError_ = {};
    for (const std::string& device : devices_) {
        std::unique_ptr<IDownloadPort> port = make_ ? make_(device) : nullptr;
        if (!port) continue;
        if (!port->Open() || !port->Prepare()) {
            PortError e = port->LastError();
            if (e.device.empty()) e.device = device;
            skipped_.push_back(std::move(e));
            continue;
        }
        listeners_.push_back({device, std::move(port), {}});
    }
    if (!listeners_.empty()) return true;
    lastError_.kind = devices_.empty() ? PortErrorKind::NoSuchDevice : PortErrorKind::Other;
    lastError_.reason = devices_.empty() ? "No serial port was found on this computer"
                                         : "None of the serial ports could be opened";
    if (!skipped_.empty()) {
        std::string line = SkippedPortsLine(skipped_);
        line.pop_back();  // the full stop; PortErrorDetail adds its own
        lastError_.reason += ". " + line;
    }
    return false;
}

void AnyPort::Choose(std::size_t index) {
    Listener chosen = std::move(listeners_[index]);
    for (Listener& other : listeners_) {
        if (other.port) other.port->Close();
    }
    listeners_.clear();
    replay_ = std::move(chosen.received);
    replayAt_ = 0;
    listeners_.push_back(std::move(chosen));
    chosen_ = 0;
    if (onChosen) onChosen(listeners_.front().device);
}

void AnyPort::Poll() {
    for (std::size_t i = 0; i < listeners_.size(); ++i) {
        Listener& l = listeners_[i];
        for (int n = 0; n < kMaxPerPoll; ++n) {
            const int value = l.port->ReadByte();
            if (value < 0) break;
            l.received.push_back(static_cast<std::uint8_t>(value));
            if (EndsWithHandshake(l.received)) {
                Choose(i);
                return;
            }
            if (l.received.size() > kMaxHeldBack) {
                l.received.erase(
                    l.received.begin(),
                    l.received.begin() + static_cast<std::ptrdiff_t>(kMaxHeldBack / 2));
            }
        }
    }
    // A port that went away while waiting (an adapter pulled) is simply no longer listened on.
    for (auto it = listeners_.begin(); it != listeners_.end();) {
        if (it->port->Failed()) {
            lastError_ = it->port->LastError();
            it->port->Close();
            it = listeners_.erase(it);
        } else {
            ++it;
        }
    }
}

int AnyPort::ReadByte() {
    if (!chosen_) Poll();
    if (!chosen_) return -1;
    if (replayAt_ < replay_.size()) return replay_[replayAt_++];
    return listeners_.front().port->ReadByte();
}

bool AnyPort::SendByte(std::uint8_t byte) {
    if (!chosen_) return false;
    return listeners_.front().port->SendByte(byte);
}

bool AnyPort::WaitForReadable(int timeoutMs) {
    if (chosen_) {
        return replayAt_ < replay_.size() || listeners_.front().port->WaitForReadable(timeoutMs);
    }
    if (listeners_.empty()) return false;
    // The wait is shared out among the ports: a byte on any of them is fetched within one round.
    const int slice = std::max(1, timeoutMs / static_cast<int>(listeners_.size()));
    return std::any_of(listeners_.begin(), listeners_.end(),
                       [slice](Listener& l) { return l.port->WaitForReadable(slice); });
}

void AnyPort::Close() {
    for (Listener& l : listeners_) {
        if (l.port) l.port->Close();
    }
    if (!chosen_) listeners_.clear();
}

bool AnyPort::Failed() const {
    if (chosen_) return listeners_.front().port->Failed();
    return listeners_.empty() && lastError_.kind != PortErrorKind::None;
}

PortError AnyPort::LastError() const {
    return chosen_ ? listeners_.front().port->LastError() : lastError_;
}

std::string AnyPort::DeviceName() const {
    return chosen_ ? listeners_.front().port->DeviceName() : std::string();
}

std::vector<std::string> AnyPort::Listening() const {
    std::vector<std::string> devices;
    for (const Listener& l : listeners_) devices.push_back(l.device);
    return devices;
}

std::string SkippedPortsLine(const std::vector<PortError>& skipped) {
    if (skipped.empty()) return {};
    std::string line = "Not opened:";
    for (std::size_t i = 0; i < skipped.size(); ++i) {
        line += (i == 0 ? " " : ", ") + skipped[i].device + " (" + Why(skipped[i]) + ")";
    }
    return line + ".";
}

}  // namespace vsdl::download
