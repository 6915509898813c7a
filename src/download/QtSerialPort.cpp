#include "download/QtSerialPort.h"

#include <filesystem>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "common/Paths.h"
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

}  // namespace vsdl::download
