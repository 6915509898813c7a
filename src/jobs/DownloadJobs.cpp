#include "jobs/DownloadJobs.h"

#include "common/BinFormat.h"
#include "common/FileOps.h"
#include "common/Paths.h"
#include "common/Settings.h"
#include "download/KeptDownloads.h"
#include "download/PortNames.h"

namespace vsdl::jobs {

using download::TempFileLock;

DownloadSession::Step DownloadSession::Lock(
    const folders::ProgramFolders& where,
    const std::function<folders::ProgramFolders()>& ownFolders) {
    where_ = where;
    tempFile_ = download::TempFilePath(where_.data);
    TempFileLock::Outcome locked = lock_.Acquire(tempFile_);
    if (locked == TempFileLock::Outcome::Foreign && ownFolders) {
        const folders::ProgramFolders own = ownFolders();
        if (own.data != where_.data) {
            notice_ = download::ForeignText(tempFile_, own.data);
            where_ = own;
            tempFile_ = download::TempFilePath(where_.data);
            locked = lock_.Acquire(tempFile_);
        }
    }
    switch (locked) {
        case TempFileLock::Outcome::Locked:
            return Step::Ready;
        case TempFileLock::Outcome::Busy:
            failure_ = download::BusyText(tempFile_);
            return Step::Busy;
        case TempFileLock::Outcome::Failed:
            failure_ = download::LockFailedText(lock_.LockPath(), lock_.Reason());
            return Step::LockFailed;
        case TempFileLock::Outcome::Foreign:
            break;
    }
    failure_ = download::LockFailedText(lock_.LockPath(),
                                        "it or " + tempFile_ + " belongs to another user");
    return Step::LockFailed;
}

DownloadSession::Step DownloadSession::OpenPort(const std::string& portText,
                                                const std::string& device, const PortMakers& make) {
    device_ = device;
    portText_ = portText;
    if (device_.empty() && portText_.empty()) {
        portText_ = settings::ReadSerialPortText(where_.config);
        if (portText_.empty()) portText_ = std::string(settings::kDefaultPort);
    }
    const bool any = device_.empty() && settings::IsAnyPort(portText_);
    if (!device_.empty()) {
        if (make.device) port_ = make.device(device_);
    } else if (any) {
        if (make.any) {
            std::unique_ptr<download::AnyPort> made = make.any();
            any_ = made.get();
            port_ = std::move(made);
        }
    } else if (make.numbered) {
        port_ = make.numbered();
    }
    const bool opened = port_ != nullptr &&
                        (any || !device_.empty() ||
                         port_->SetPortNumber(settings::PortNumberFromText(portText_))) &&
                        port_->Open() && port_->Prepare();
    if (opened) return Step::Ready;

    failure_ = device_.empty() ? download::PortNotAvailableText(portText_)
                               : "Error: " + device_ + " is not available.";
    if (port_ != nullptr) {
        const std::string detail = download::PortErrorDetail(port_->LastError());
        if (!detail.empty()) failure_ += "\n" + detail;
    }
    port_.reset();  // closes whatever was opened
    any_ = nullptr;
    return Step::PortNotAvailable;
}

std::string DownloadSession::ListeningLine() const {
    if (any_ != nullptr) {
        std::string line = "Listening on every port:";
        const char* separator = " ";
        for (const std::string& listening : any_->Listening()) {
            line += separator + listening;
            separator = ", ";
        }
        line += ".";
        const std::string skipped = download::SkippedPortsLine(any_->Skipped());
        if (!skipped.empty()) line += " " + skipped;
        return line;
    }
    const std::string name = port_ != nullptr ? port_->DeviceName() : std::string();
    if (!device_.empty()) return "Listening on " + (name.empty() ? device_ : name);
    return "Listening on COM" + std::to_string(settings::PortNumberFromText(portText_)) +
           (name.empty() ? std::string() : ": " + name);
}

std::optional<std::int32_t> DownloadSession::NumberOf(const std::string& device) const {
    return download::PortNumberOfDevice(device, where_.ports);
}

std::string DownloadSession::FoundText(const std::string& device) const {
    const std::optional<std::int32_t> number = NumberOf(device);
    return "The instrument is on " +
           (number ? "COM" + std::to_string(*number) + ": " : std::string()) + device +
           "; the other ports are closed.";
}

download::DownloadSummary DownloadSession::Run(download::DownloadUi& ui,
                                               download::DownloadControl& control) {
    download::DownloadSummary summary;
    if (port_ == nullptr) {
        summary.end = download::DownloadEnd::NotStarted;
        return summary;
    }
    download::DownloadLoopOptions options;
    options.keptFolder = download::KeptFolder(where_.data);
    summary = download::RunDownloadLoop(*port_, tempFile_, ui, control, options);
    any_ = nullptr;
    port_.reset();
    return summary;
}

void DownloadSession::Release() {
    lock_.Release();
}

std::string SaveFailedText(const std::string& file, const std::string& reason) {
    return "The download could not be saved as " + file + ": " + reason + ".";
}

SaveOutcome SaveDownload(const SaveRequest& request) {
    SaveOutcome outcome;
    const std::string tempFile = download::TempFilePath(request.dataFolder);
    const auto target = [&request](const std::string& name) {
        return request.folder.empty() ? name : paths::Join(request.folder, name);
    };
    // The temporary file's own name keeps the file where it is, recorded in lower case; the same
    // name in another folder is an ordinary target.
    const std::string lowerName = paths::ToLower(request.name);
    outcome.temporaryFile = paths::EqualsIgnoreCase(request.name, binformat::kTempFileName) &&
                            fileops::SameFile(target(lowerName), tempFile);
    const auto mayReplace = [&request](const std::string& existing) {
        return request.mayReplace && request.mayReplace(existing);
    };
    const std::optional<std::string> existing = fileops::FileToBeReplaced(
        request.folder, outcome.temporaryFile ? lowerName : request.name, lowerName);
    if (existing && !mayReplace(*existing)) {
        outcome.end = SaveOutcome::End::Declined;
        return outcome;
    }
    outcome.saved = target(outcome.temporaryFile ? lowerName : request.name);
    if (!outcome.temporaryFile) {
        using fileops::Existing;
        fileops::Result copied = fileops::CopyFileReplacing(
            tempFile, outcome.saved, existing ? Existing::Replace : Existing::Keep);
        // Made since the question was asked (or by another program in that very moment).
        if (copied.existed) {
            if (!mayReplace(outcome.saved)) {
                outcome.end = SaveOutcome::End::Declined;
                return outcome;
            }
            copied = fileops::CopyFileReplacing(tempFile, outcome.saved, Existing::Replace);
        }
        if (!copied.ok) {
            outcome.end = SaveOutcome::End::Failed;
            outcome.message = SaveFailedText(outcome.saved, copied.reason);
            return outcome;
        }
        outcome.copied = true;
    }
    if (!request.settingsFolder.empty()) {
        const settings::WriteResult written =
            settings::WriteLastBinPath(request.settingsFolder, outcome.saved);
        if (!written.ok) {
            outcome.end = SaveOutcome::End::Failed;
            outcome.message = settings::WriteFailureMessage(written);
        }
    }
    return outcome;
}

}  // namespace vsdl::jobs
