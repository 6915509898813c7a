#include "common/UserFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace vsdl::folders {

ProgramFolders ForThisUser(const std::string& program) {
    // A packaged program lies in /usr/bin: even root must not put settings there.
    if (!InstalledSystemWide(program) && CanWrite(program)) return Choose(program, true, {}, {});
    return UserOwnFolders(program);
}

ProgramFolders UserOwnFolders(const std::string& program) {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    // Made now, so that the user finds it (to put port links into it) before a first setting
    // is saved; a failure to make it shows when a file there is written.
    QDir().mkpath(data);
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QDir(documents).exists()) documents = QDir::homePath();
    // On Windows the settings stay in %APPDATA%\VSDownload with the data; elsewhere they go
    // where the desktop keeps settings ($XDG_CONFIG_HOME/VSDownload, ~/.config/VSDownload).
    QString config;
#ifndef _WIN32
    config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (!config.isEmpty()) QDir().mkpath(config);
#endif
    ProgramFolders folders = Choose(program, false, QDir::toNativeSeparators(data).toStdString(),
                                    QDir::toNativeSeparators(documents).toStdString(),
                                    QDir::toNativeSeparators(config).toStdString());
    CarrySettingsOver(folders);
    return folders;
}

}  // namespace vsdl::folders
