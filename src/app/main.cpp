// VSDownload: starts straight into the main window. The program keeps its settings and the
// temporary download file beside itself, or in the user's data folder when its own folder
// cannot be written (an installed program). --help and --version answer without a display; a
// BIN file named on the command line is the last BIN file of this run.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QUrl>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/AppInfo.h"
#include "common/AtomicFile.h"
#include "common/StartupArgs.h"
#include "common/UserFolders.h"
#include "common/modGlobals.h"
#include "download/PortNames.h"
#include "download/QtSerialPort.h"
#include "forms/FormContext.h"
#include "forms/frmMain.h"

namespace {

// Answers --help and --version before a window system is needed, so they work anywhere.
bool AnsweredOnTheTerminal(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") return false;
        if (arg == "-h" || arg == "--help") {
            std::fputs(vsdl::startup::HelpText().c_str(), stdout);
            return true;
        }
        if (arg == "-v" || arg == "--version") {
            std::printf("VSDownload %s\n", vsdl::appinfo::VersionNumber().c_str());
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (AnsweredOnTheTerminal(argc, argv)) return 0;
    vsdl::fileops::CleanUpOnSignals();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VSDownload"));
    // The desktop entry's ID: the desktop finds the program's entry and icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.valdorsensing.vsdownload"));

    // What Qt left of the command line after taking its own options.
    std::vector<std::string> args;
    const QStringList qtLeft = QCoreApplication::arguments();
    for (qsizetype i = 1; i < qtLeft.size(); ++i) args.push_back(qtLeft[i].toStdString());
    const vsdl::startup::Request request = vsdl::startup::ParseArguments(args);
    if (request.action == vsdl::startup::Action::UsageError) {
        std::fprintf(stderr, "VSDownload: %s\nTry 'VSDownload --help'.\n", request.error.c_str());
        return 2;
    }
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/VSDownload.png")));

    const vsdl::folders::ProgramFolders folders = vsdl::folders::ForThisUser(
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString());

    vsdl::forms::QtMessages messages;
    vsdl::forms::QtFileDialogs fileDialogs;
    vsdl::forms::FormContext context;
    context.dataFolder = QString::fromStdString(folders.data);
    context.configFolder = QString::fromStdString(folders.config);
    context.saveFolder = QString::fromStdString(folders.save);
    context.messages = &messages;
    context.fileDialogs = &fileDialogs;
    context.makeDownloadPort = [ports = folders.ports]() {
        return std::unique_ptr<vsdl::download::IDownloadPort>(
            std::make_unique<vsdl::download::QtDownloadPort>(ports));
    };
    context.makePortProbe = [ports = folders.ports]() {
        return std::unique_ptr<vsdl::download::IPortProbe>(
            std::make_unique<vsdl::download::QtPortProbe>(ports));
    };
    context.makeAnyPort = [ports = folders.ports]() { return vsdl::download::MakeAnyPort(ports); };
    context.portFolders = folders.ports;
    context.openFolder = [](const QString& folder) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
    fileDialogs.keptFolder = context.KeptFolder();

    frmMain window(context);
    if (!request.binFile.empty()) {
        gLastBinPath = QDir::toNativeSeparators(
                           QFileInfo(QString::fromStdString(request.binFile)).absoluteFilePath())
                           .toStdString();
    }
    window.show();
    return app.exec();
}
