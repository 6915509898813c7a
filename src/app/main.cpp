// VSDownload: starts straight into the main window. The program keeps its settings and the
// temporary download file beside itself, or in the user's data folder when its own folder
// cannot be written (an installed program).
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <memory>

#include "common/AtomicFile.h"
#include "common/UserFolders.h"
#include "download/QtSerialPort.h"
#include "forms/FormContext.h"
#include "forms/frmMain.h"

int main(int argc, char* argv[]) {
    vsdl::fileops::CleanUpOnSignals();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VSDownload"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/VSDownload.png")));

    const vsdl::folders::ProgramFolders folders = vsdl::folders::ForThisUser(
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString());

    vsdl::forms::QtMessages messages;
    vsdl::forms::QtFileDialogs fileDialogs;
    vsdl::forms::FormContext context;
    context.dataFolder = QString::fromStdString(folders.data);
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

    frmMain window(context);
    window.show();
    return app.exec();
}
