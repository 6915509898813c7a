#include "download/QtSerialPort.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "common/Paths.h"
#include "download/AnyPort.h"
#include "download/PortNames.h"

namespace vsdl::download {
namespace {

void ApplyLineSettings(QSerialPort& port) {
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

// A timeout of a wait is no failure of the port.
bool IsRealError(QSerialPort::SerialPortError e) {
    return e != QSerialPort::NoError && e != QSerialPort::TimeoutError;
}

PortErrorKind KindOf(QSerialPort::SerialPortError e, const std::string& device) {
    switch (e) {
        case QSerialPort::NoError:
            return PortErrorKind::None;
        case QSerialPort::DeviceNotFoundError:
            return PortErrorKind::NoSuchDevice;
        case QSerialPort::PermissionError:
#ifndef _WIN32
            // Qt reports a device that is in use (locked or busy) as a permission error too;
            // the device's own access rights tell the two apart.
            if (::access(device.c_str(), R_OK | W_OK) == 0) return PortErrorKind::Busy;
#else
            (void)device;
#endif
            return PortErrorKind::PermissionDenied;
        default:
            return PortErrorKind::Other;
    }
}

// For a link in ports/ whose device is gone, says so: the system's "No such file" alone does
// not tell the user that the link is stale.
std::string DanglingLinkNote(const std::string& device) {
#ifndef _WIN32
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path = paths::ToFsPath(device);
    if (fs::is_symlink(fs::symlink_status(path, ec)) && !fs::exists(path, ec)) {
        const fs::path target = fs::read_symlink(path, ec);
        if (!ec)
            return " (the link points to " + paths::FromFsPath(target) + ", which is not there)";
    }
#else
    (void)device;
#endif
    return {};
}

bool DeviceStillThere(const std::string& device) {
#ifndef _WIN32
    std::error_code ec;
    return std::filesystem::exists(paths::ToFsPath(device), ec) || ec;
#else
    (void)device;
    return true;
#endif
}

}  // namespace

QtDownloadPort::QtDownloadPort(std::vector<std::string> portFolders)
    : portFolders_(std::move(portFolders)) {}

QtDownloadPort::~QtDownloadPort() {
    Close();
}

bool QtDownloadPort::SetPortNumber(std::int32_t number) {
    device_ = DeviceForPort(number, portFolders_);
    if (device_.empty()) {
        error_ = {PortErrorKind::NoSuchDevice, "COM" + std::to_string(number),
                  "There is no port with this number"};
        return false;
    }
    return true;
}

void QtDownloadPort::SetDevice(const std::string& device) {
    device_ = device;
}

void QtDownloadPort::NoteError(const char* operation, bool inUse) {
    const auto code = port_ ? port_->error() : QSerialPort::NotOpenError;
    error_.kind = KindOf(code, opened_);
    error_.device = DeviceLabel(device_, opened_);
    error_.path = opened_;
    error_.reason = port_ ? port_->errorString().toStdString() : std::string("not open");
    if (error_.kind == PortErrorKind::NoSuchDevice) error_.reason += DanglingLinkNote(device_);
    // A port that fails while in use has as a rule gone away (a USB adapter pulled, a
    // pseudo-terminal closed); the system's words for that ("Input/output error", "Inappropriate
    // ioctl for device") would only puzzle the user.
    if (inUse && (code == QSerialPort::ResourceError || !DeviceStillThere(opened_))) {
        error_.kind = PortErrorKind::Disconnected;
        error_.reason = "the port went away";
    }
    if (error_.reason.empty()) error_.reason = std::string(operation) + " failed";
    failed_ = true;
    if (port_) port_->clearError();
}

bool QtDownloadPort::Open() {
    Close();
    failed_ = false;
    error_ = {};
    if (device_.empty()) {
        error_ = {PortErrorKind::NoSuchDevice, "", "There is no port with this number"};
        return false;
    }
    opened_ = DeviceToOpen(device_);
    port_ = std::make_unique<QSerialPort>();
    port_->setPortName(QString::fromStdString(opened_));
    ApplyLineSettings(*port_);
    if (!port_->open(QIODevice::ReadWrite)) {
        NoteError("open", false);
        port_.reset();
        failed_ = false;  // an open that failed leaves nothing in use
        return false;
    }
    return true;
}

bool QtDownloadPort::Prepare() {
    if (!port_ || !port_->isOpen()) return false;
    // Whatever waited on the line before the download started is not part of it.
    if (!port_->clear(QSerialPort::AllDirections)) {
        NoteError("prepare", false);
        return false;
    }
    return true;
}

int QtDownloadPort::ReadByte() {
    if (!port_ || failed_) return -1;
    if (port_->bytesAvailable() == 0) {
        // Fetches what the system holds without waiting (and without an event loop).
        port_->waitForReadyRead(0);
        if (IsRealError(port_->error())) {
            NoteError("read", true);
            return -1;
        }
        port_->clearError();
    }
    char c = 0;
    if (!port_->getChar(&c)) return -1;
    return static_cast<unsigned char>(c);
}

bool QtDownloadPort::SendByte(std::uint8_t byte) {
    if (!port_ || failed_) return false;
    const char c = static_cast<char>(byte);
    if (port_->write(&c, 1) != 1) {
        NoteError("write", true);
        return false;
    }
    // Out now, in call order, whether or not an event loop runs.
    port_->flush();
    while (port_->bytesToWrite() > 0 && !IsRealError(port_->error())) {
        if (!port_->waitForBytesWritten(1000)) break;
    }
    if (IsRealError(port_->error()) || port_->bytesToWrite() > 0) {
        NoteError("write", true);
        return false;
    }
    return true;
}

bool QtDownloadPort::WaitForReadable(int timeoutMs) {
    if (!port_ || failed_) return false;
    if (port_->bytesAvailable() > 0) return true;
    const bool ready = port_->waitForReadyRead(timeoutMs);
    if (IsRealError(port_->error())) {
        NoteError("read", true);
        return false;
    }
    port_->clearError();
    return ready;
}

std::string QtDownloadPort::DeviceName() const {
    return DeviceLabel(device_, opened_.empty() ? DeviceToOpen(device_) : opened_);
}

void QtDownloadPort::Close() {
    if (!port_) return;
    if (port_->isOpen()) port_->close();
    port_.reset();
}

QtPortProbe::QtPortProbe(std::vector<std::string> portFolders)
    : portFolders_(std::move(portFolders)) {}

QtPortProbe::~QtPortProbe() {
    Close();
}

void QtPortProbe::SetPortNumber(std::int16_t number) {
    Close();
    device_ = DeviceForPort(number, portFolders_);
}

std::string QtPortProbe::Description() const {
    return device_.empty() ? std::string() : DescribeDevice(device_);
}

std::vector<std::int16_t> QtPortProbe::PortsBeyond(std::int16_t last) const {
    std::vector<std::int16_t> numbers;
    for (const std::string& device : AllSerialPorts(portFolders_)) {
        const auto n = PortNumberOfDevice(device, portFolders_);
        if (n && *n > last && std::find(numbers.begin(), numbers.end(), *n) == numbers.end()) {
            numbers.push_back(static_cast<std::int16_t>(*n));
        }
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

void QtPortProbe::Open() {
    Close();
    if (device_.empty()) return;
    port_ = std::make_unique<QSerialPort>();
    port_->setPortName(QString::fromStdString(DeviceToOpen(device_)));
    ApplyLineSettings(*port_);
    if (!port_->open(QIODevice::ReadWrite)) port_.reset();
}

bool QtPortProbe::IsOpen() const {
    return port_ && port_->isOpen();
}

void QtPortProbe::Close() {
    if (!port_) return;
    if (port_->isOpen()) port_->close();
    port_.reset();
}

std::vector<std::string> AllSerialPorts(const std::vector<std::string>& portFolders) {
    namespace fs = std::filesystem;
    std::vector<std::string> devices;
    std::vector<std::string> opened;  // the device files, to list each device once
    const auto add = [&](const std::string& device) {
        const std::string file = DeviceToOpen(device);
        if (std::find(opened.begin(), opened.end(), file) != opened.end()) return;
        opened.push_back(file);
        devices.push_back(device);
    };
#ifndef _WIN32
    for (const std::string& folder : portFolders) {
        std::vector<std::pair<long, std::string>> links;
        std::error_code ec;
        const fs::path ports = paths::ToFsPath(paths::Join(folder, "ports"));
        for (fs::directory_iterator it(ports, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = paths::FromFsPath(it->path().filename());
            if (name.size() < 4 || name.compare(0, 3, "com") != 0) continue;
            char* rest = nullptr;
            const long n = std::strtol(name.c_str() + 3, &rest, 10);
            if (n < 1 || *rest != '\0') continue;
            std::error_code linkEc;
            if (!fs::exists(it->path(), linkEc)) continue;  // a stale link names nothing to open
            links.emplace_back(n, paths::FromFsPath(it->path()));
        }
        std::sort(links.begin(), links.end());
        for (const auto& link : links) add(link.second);
    }
#else
    (void)portFolders;
#endif
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        add(info.systemLocation().toStdString());
    }
    return devices;
}

std::string DescribeDevice(const std::string& device) {
    const QString file = QString::fromStdString(DeviceToOpen(device));
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.systemLocation() != file && info.portName() != file) continue;
        return PortDetails({}, info.description().toStdString(), info.manufacturer().toStdString(),
                           info.serialNumber().toStdString());
    }
    return {};
}

std::unique_ptr<AnyPort> MakeAnyPort(const std::vector<std::string>& portFolders,
                                     std::function<void(const std::string&)> onChosen) {
    auto any = std::make_unique<AnyPort>(
        AllSerialPorts(portFolders), [portFolders](const std::string& device) {
            auto port = std::make_unique<QtDownloadPort>(portFolders);
            port->SetDevice(device);
            return std::unique_ptr<IDownloadPort>(std::move(port));
        });
    any->onChosen = std::move(onChosen);
    return any;
}

}  // namespace vsdl::download
