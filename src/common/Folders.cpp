#include "common/Folders.h"

#include <filesystem>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "common/AtomicFile.h"
#include "common/Paths.h"
#include "common/Settings.h"

namespace vsdl::folders {

bool CanWrite(std::string_view folder) {
    if (folder.empty()) return false;
    namespace fs = std::filesystem;
    std::random_device random;
    const std::string probe =
        paths::Join(folder, "~vsdl-write-test." + std::to_string(random()) + ".tmp");
    const fs::path path = paths::ToFsPath(probe);
#ifdef _WIN32
    // Gone again when the handle closes.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(path.c_str());
#endif
    return true;
}

bool InstalledSystemWide(std::string_view program) {
    namespace fs = std::filesystem;
    fs::path bin = paths::ToFsPath(program);
    if (bin.filename().empty()) bin = bin.parent_path();  // a trailing separator
    if (bin.filename() != "bin") return false;
    std::error_code ec;
    return fs::is_directory(bin.parent_path() / "libexec" / "vsdownload", ec);
}

ProgramFolders Choose(std::string_view program, bool programWritable, std::string_view userData,
                      std::string_view documents, std::string_view userConfig) {
    const std::string own = paths::WithTrailingSeparator(program);
    if (programWritable) return {own, own, {own}, own};
    const std::string data = paths::WithTrailingSeparator(userData);
    const std::string save = documents.empty() ? data : paths::WithTrailingSeparator(documents);
    const std::string config = userConfig.empty() ? data : paths::WithTrailingSeparator(userConfig);
    return {data, save, {data, own}, config};
}

void CarrySettingsOver(const ProgramFolders& folders) {
    if (folders.config == folders.data) return;
    for (const std::string_view name : {settings::kSerialPortFile, settings::kLastBinFile}) {
        const std::string earlier = paths::Join(folders.data, name);
        const std::string now = paths::Join(folders.config, name);
        std::error_code ec;
        if (std::filesystem::exists(paths::ToFsPath(now), ec) ||
            !std::filesystem::is_regular_file(paths::ToFsPath(earlier), ec)) {
            continue;
        }
        (void)fileops::CopyFileReplacing(earlier, now, fileops::Existing::Keep);
    }
}

}  // namespace vsdl::folders
