// The main window and the whole road: F5 against the instrument simulator through the download,
// the save and the conversion of the saved file without another click; start-up, the menus
// pressing their buttons (the road with a port that is gone, which ends it without a
// conversion).
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "common/modGlobals.h"
#include "forms/frmMain.h"
#include "support/FormTestSupport.h"
#include "support/ServedImage.h"

using namespace vsdl::testing;

namespace {

QByteArray Sample(const QString& name) {
    QFile file(QDir(QStringLiteral(VSDL_SAMPLES_DIR)).filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The download dialog in its save phase, when it is on top.
QDialog* DownloadInSavePhase() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || dialog->objectName() != QStringLiteral("frmDownload")) return nullptr;
    auto* frame = dialog->findChild<QWidget*>(QStringLiteral("famGetFilename"));
    return frame != nullptr && frame->isVisible() ? dialog : nullptr;
}

}  // namespace

class tst_mainroad : public QObject, private FormFixture {
    Q_OBJECT

    // The road with its dialogs watched; the window must have the keyboard back at the end.
    void Drive(frmMain& window, Qt::Key key) {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, key);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), &window, 1000);
    }

  private slots:
    void init() {
        modGlobals::Reset();
        Renew();
        UseRealPorts();
        QDir(folder_->path()).mkpath(QStringLiteral("ports"));
        context_.makePortProbe = MakeNoPortProbes();  // the machine's own ports untouched
    }

    void theWholeRoadByKeyboard() {
        vsdl::instrument::SimulatorOptions options;
        const QByteArray demo = Sample(QStringLiteral("DEMO.BIN"));
        options.image.assign(demo.begin(), demo.end());
        options.repeat = true;
        ServedImage simulator(folder_->file(QStringLiteral("ports/com1")).toStdString(), options);
        QVERIFY2(simulator.Ready(), simulator.Error().c_str());
        frmMain window(context_);
        DialogWatcher watcher;
        // Enter in the save phase takes the proposed Idatalog.bin in the program folder.
        WhenReady([] { return DownloadInSavePhase() != nullptr; },
                  [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }, 60000);
        Drive(window, Qt::Key_F5);
        QCOMPARE(watcher.shown, (QStringList{"frmDownload", "frmConvertBINtoPRN"}));
        const QString bin = folder_->file(QStringLiteral("Idatalog.bin"));
        QCOMPARE(QString::fromStdString(gLastBinPath), bin);
        QCOMPARE(folder_->read(QStringLiteral("lastbin.cfg")), bin.toUtf8() + "\r\n");
        QCOMPARE(folder_->read(QStringLiteral("IDATALOG.PRN")), Sample(QStringLiteral("DEMO.PRN")));
        QCOMPARE(folder_->read(QStringLiteral("IDATALOG.CSV")), Sample(QStringLiteral("DEMO.CSV")));
        QCOMPARE(messages_->texts.size(), 2);  // the finish text and the completion message
        QVERIFY(messages_->texts[1].endsWith(QStringLiteral("Your ASCII file is: IDATALOG.PRN")));
    }

    void theToolsEntriesPressTheirButtons() {
        QVERIFY(QFile::link(folder_->file(QStringLiteral("gone")),
                            folder_->file(QStringLiteral("ports/com1"))));
        frmMain window(context_);
        DialogWatcher watcher;
        for (const char* name : {"frmComSelect", "frmConvertBINtoPRN", "frmAbout"}) {
            watcher.on(name, [](QDialog* dialog) { dialog->reject(); });
        }
        // The port is gone: the download and the road end with mode 1 and no download dialog.
        const struct {
            QAction* entry;
            QPushButton* button;
            std::int16_t mode;
        } entries[] = {
            {.entry = window.mnuToolsSerialPortSetup,
             .button = window.cmdSerialPortSetup,
             .mode = 0},
            {.entry = window.mnuToolsDownload, .button = window.cmdDownload, .mode = 1},
            {.entry = window.mnuToolsConvert, .button = window.cmdConvertBINtoPRN, .mode = 2},
            {.entry = window.mnuToolsDownloadAndConvert, .button = window.cmdAllSteps, .mode = 1}};
        for (const auto& [entry, button, mode] : entries) {
            gRunMode = 0;
            QSignalSpy clicks(button, &QPushButton::clicked);
            entry->trigger();
            QCOMPARE(clicks.count(), 1);
            QCOMPARE(gRunMode, mode);
        }
        window.mnuHelpAbout->trigger();
        QCOMPARE(watcher.shown, (QStringList{"frmComSelect", "frmConvertBINtoPRN", "frmAbout"}));
        QCOMPARE(messages_->texts.size(), 2);  // the port message, once per download

        // File > Open Downloads Folder makes the folder and hands it to the desktop; a desktop
        // that cannot open it gets a message that says where it is.
        QStringList opened;
        context_.openFolder = [&opened](const QString& folder) {
            opened << folder;
            return opened.size() == 1;
        };
        frmMain second(context_);
        second.mnuFileOpenDownloads->trigger();
        second.mnuFileOpenDownloads->trigger();
        QCOMPARE(opened, QStringList(2, context_.KeptFolder()));
        QVERIFY(QFileInfo(context_.KeptFolder()).isDir());
        QCOMPARE(messages_->texts.size(), 3);
        QVERIFY(messages_->texts[2].contains(QDir::toNativeSeparators(context_.KeptFolder())));
    }
};

QTEST_MAIN(tst_mainroad)
#include "tst_mainroad.moc"
