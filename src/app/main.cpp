// VSDownload: starts straight into the main window. The program folder (the executable's own)
// holds the settings files and the temporary download file.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <memory>

#include "download/QtSerialPort.h"
#include "forms/FormContext.h"
#include "forms/frmMain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VSDownload"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/VSDownload.png")));

    QString programFolder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!programFolder.endsWith(QDir::separator())) programFolder += QDir::separator();

    vsdl::forms::QtMessages messages;
    vsdl::forms::QtFileDialogs fileDialogs;
    vsdl::forms::FormContext context;
    context.programFolder = programFolder;
    context.messages = &messages;
    context.fileDialogs = &fileDialogs;
    context.makeDownloadPort =
        [folder = programFolder]() -> std::unique_ptr<vsdl::download::IDownloadPort> {
        return std::make_unique<vsdl::download::QtDownloadPort>(folder);
    };
    context.makePortProbe = [folder =
                                 programFolder]() -> std::unique_ptr<vsdl::download::IPortProbe> {
        return std::make_unique<vsdl::download::QtPortProbe>(folder);
    };

    frmMain window(context);
    window.show();
    return app.exec();
}
