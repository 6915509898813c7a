// The download dialog against `vsdl simulate` on a pty linked as ports/com1 in a temporary
// program folder: whole downloads saved under new names, the save phase's defaults, the
// overwrite question, the temporary file's own name, Cancel and the close box in both phases,
// a port that cannot be opened, a checksum error, and saves that fail.
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "common/modGlobals.h"
#include "download/QtSerialPort.h"
#include "download/TempFile.h"
#include "forms/frmConfirmOverwrite.h"
#include "forms/frmDownload.h"
#include "support/FormTestSupport.h"
#include "support/Simulator.h"

using namespace vsdl::testing;

namespace {

const QString kSaveInstructions =
    QStringLiteral("Download Complete. Enter a filename to save this download");

// An image of `records` untimed readings: 4 + 17 + 2 x records + 6 bytes.
QByteArray Image(int records) {
    return BuildBin(QStringLiteral("marker untimed\nsetcount 1\nset 1\nstart 05/02/24 10:00:00\n"
                                   "interval 3\nwalk %1 4.56 seed 11\ntrailer\n")
                        .arg(records));
}

QString FinishText(int blocks, qsizetype bytes) {
    return QStringLiteral("Download Finished. Number of Blocks = %1. Number of Bytes = %2")
        .arg(blocks)
        .arg(bytes);
}

// Counts the times a widget was shown.
class ShowCounter : public QObject {
  public:
    int shows = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) ++shows;
        return false;
    }
};

// doprompt() that cannot hang a test. `whenSaving` runs once the save phase is there,
// `whileDownloading(dialog)` on every poll before it (return true when done with it).
// False when the guard had to end the dialog.
bool RunDoprompt(frmDownload& dialog, const std::function<void()>& whenSaving,
                 const std::function<bool()>& whileDownloading = {}, int timeoutMs = 30000) {
    bool forced = false;
    bool saveDone = false;
    bool downloadDone = !whileDownloading;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&]() {
        if (!dialog.isVisible()) return;
        if (!downloadDone && dialog.phase() == frmDownload::Phase::Downloading) {
            downloadDone = whileDownloading();
        }
        if (!saveDone && dialog.phase() == frmDownload::Phase::Saving) {
            saveDone = true;
            if (whenSaving) whenSaving();
        }
    });
    poll.start(20);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, [&]() {
        forced = true;
        if (dialog.phase() == frmDownload::Phase::Downloading) dialog.cmdCancel_Click();
        QTimer::singleShot(5000, &dialog, [&]() { dialog.done(QDialog::Rejected); });
        if (dialog.phase() == frmDownload::Phase::Saving) dialog.done(QDialog::Rejected);
    });
    guard.start(timeoutMs);
    dialog.doprompt();
    return !forced;
}

}  // namespace

class TestFrmDownload : public QObject, private FormFixture {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void wholeDownloadSavedUnderNewName();
    void savePhaseDefaultsWithoutLastPath();
    void savePhaseProposesLastPathAndBrowseCancelKeepsIt();
    void overwriteNamesTheFileThatWillBeReplaced();
    void temporaryFileOwnName();
    void cancelDuringDownload();
    void closeBoxDuringDownloadCancels();
    void closeBoxInSavePhaseAbandonsSave();
    void portThatCannotBeOpened();
    void secondDownloadInTheSameFolder();
    void temporaryFileThatCannotBeMadeClosesTheDialog();
    void checksumErrorThenSave();
    void failingSaveStaysInSavePhase();

  private:
    // Starts the simulator on `image`, linked as ports/com1.
    void StartSimulator(const QByteArray& image, const QStringList& args = {});

    std::unique_ptr<QTemporaryDir> imageDir_;
    std::unique_ptr<Simulator> simulator_;
};

void TestFrmDownload::init() {
    modGlobals::Reset();
    gRunMode = 3;
    Renew();
    imageDir_ = std::make_unique<QTemporaryDir>();
    const QString programFolder = folder_->path();
    context_.makeDownloadPort = [programFolder]() {
        return std::make_unique<vsdl::download::QtDownloadPort>(programFolder);
    };
}

void TestFrmDownload::cleanup() {
    simulator_.reset();
}

void TestFrmDownload::StartSimulator(const QByteArray& image, const QStringList& args) {
    const QString path = imageDir_->filePath(QStringLiteral("image.bin"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(image);
    file.close();
    simulator_ = std::make_unique<Simulator>(folder_->path(), path, args);
    QVERIFY2(simulator_->waitReady(), qPrintable(simulator_->output()));
}

void TestFrmDownload::wholeDownloadSavedUnderNewName() {
    const QByteArray image = Image(1300);  // two full blocks and a partial one
    StartSimulator(image, {QStringLiteral("--text"), QStringLiteral("MODEL 62-RV LOGGER"),
                           QStringLiteral("--text"), QStringLiteral("UNIT 0042")});
    QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("data")));
    const QString target =
        folder_->path() + QStringLiteral("data") + QDir::separator() + QStringLiteral("Run7.BIN");
    dialogs_->answers.push_back(target);

    frmDownload dialog(context_);
    QString instructions;
    bool framesSwapped = false;
    QRect downloadingFrame;
    QVERIFY(RunDoprompt(dialog, [&]() {
        instructions = dialog.lblInstructions->text();
        framesSwapped = dialog.famGetFilename->isVisible() && !dialog.famDownloading->isVisible();
        downloadingFrame = dialog.famDownloading->geometry();
        QVERIFY(dialog.cmdOK->isDefault());
        dialog.cmdBrowse->click();
        dialog.cmdOK->click();
    }));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Download"));
    QCOMPARE(instructions, kSaveInstructions);
    QVERIFY(framesSwapped);
    QCOMPARE(dialog.famGetFilename->geometry(), downloadingFrame);
    QCOMPARE(dialogs_->requests.size(), std::size_t{1});
    QCOMPARE(dialogs_->requests[0].filter,
             QStringLiteral("Binary File (*.BIN)|*.BIN|All File (*.*)|*.*"));

    QCOMPARE(messages_->texts, QStringList{FinishText(3, image.size())});
    QCOMPARE(dialog.lblStatus->text(), FinishText(3, image.size()));
    QFile saved(target);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll() == image);
    QVERIFY(folder_->read(QStringLiteral("~tempidl.bin")) == image);
    QCOMPARE(QString::fromStdString(gLastBinPath), target);
    QCOMPARE(folder_->read(QStringLiteral("lastbin.cfg")), target.toUtf8() + "\r\n");
    QCOMPARE(gRunMode, std::int16_t{3});
    // The instrument's lines went to List1, which lies below the dialog's visible area.
    QCOMPARE(dialog.List1->count(), 2);
    // "-" is not among the characters the instrument's lines may hold: it is dropped.
    QCOMPARE(dialog.List1->item(0)->text(), QStringLiteral("MODEL 62RV LOGGER"));
    QCOMPARE(dialog.List1->item(1)->text(), QStringLiteral("UNIT 0042"));
    QVERIFY(dialog.List1->geometry().top() >= dialog.height());
    QVERIFY(simulator_->waitFinished(10000));
    QCOMPARE(simulator_->exitCode(), 0);
}

void TestFrmDownload::savePhaseDefaultsWithoutLastPath() {
    const QByteArray image = Image(200);
    StartSimulator(image);
    frmDownload dialog(context_);
    QString shownFolder;
    QString shownName;
    QVERIFY(RunDoprompt(dialog, [&]() {
        shownFolder = dialog.lblFullPath->text();
        shownName = dialog.lblFilename->text();
        QCOMPARE(QApplication::focusWidget(), dialog.cmdOK);
        QTest::keyClick(&dialog, Qt::Key_Return);  // Enter presses OK
    }));
    QCOMPARE(shownFolder, folder_->path());
    QCOMPARE(shownName, QStringLiteral("Idatalog.bin"));
    QVERIFY(folder_->read(QStringLiteral("Idatalog.bin")) == image);
    QCOMPARE(QString::fromStdString(gLastBinPath), folder_->file(QStringLiteral("Idatalog.bin")));
    QCOMPARE(folder_->read(QStringLiteral("lastbin.cfg")),
             folder_->file(QStringLiteral("Idatalog.bin")).toUtf8() + "\r\n");
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestFrmDownload::savePhaseProposesLastPathAndBrowseCancelKeepsIt() {
    StartSimulator(Image(100));
    QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("runs")));
    const QString runs = folder_->path() + QStringLiteral("runs") + QDir::separator();
    gLastBinPath = (runs + QStringLiteral("Lake3.BIN")).toStdString();
    dialogs_->answers.push_back(std::nullopt);
    dialogs_->answers.push_back(QString());
    frmDownload dialog(context_);
    QString shownFolder;
    QString shownName;
    QVERIFY(RunDoprompt(dialog, [&]() {
        dialog.cmdBrowse->click();  // cancelled
        dialog.cmdBrowse->click();  // empty name
        shownFolder = dialog.lblFullPath->text();
        shownName = dialog.lblFilename->text();
        dialog.reject();
    }));
    QCOMPARE(dialogs_->requests.size(), std::size_t{2});
    QCOMPARE(dialogs_->requests[0].folder, runs);
    QCOMPARE(dialogs_->requests[0].name, QStringLiteral("Lake3.BIN"));
    QCOMPARE(shownFolder, runs);
    QCOMPARE(shownName, QStringLiteral("Lake3.BIN"));
}

void TestFrmDownload::overwriteNamesTheFileThatWillBeReplaced() {
    const QByteArray image = Image(600);
    StartSimulator(image);
    QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("data")));
    const QString data = folder_->path() + QStringLiteral("data") + QDir::separator();
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    write(data + QStringLiteral("RUN8.BIN"), "older RUN8");
    write(data + QStringLiteral("run7.bin"), "older run7");
    dialogs_->answers.push_back(data + QStringLiteral("RUN8.BIN"));
    dialogs_->answers.push_back(data + QStringLiteral("RUN7.BIN"));
    frmDownload dialog(context_);
    QStringList asked;
    bool stayedAfterNo = false;
    QVERIFY(RunDoprompt(dialog, [&]() {
        dialog.cmdBrowse->click();
        WhenModalIs<frmConfirmOverwrite>([&](frmConfirmOverwrite* confirm) {
            asked << confirm->lblExistingFile->text();
            confirm->cmdNo->click();
        });
        dialog.cmdOK->click();
        stayedAfterNo = dialog.isVisible() && dialog.phase() == frmDownload::Phase::Saving &&
                        !folder_->exists(QStringLiteral("lastbin.cfg")) && gLastBinPath.empty();
        // run7.bin is another file than RUN7.BIN where letter case counts: no question.
        dialog.cmdBrowse->click();
        WhenModalIs<frmConfirmOverwrite>(
            [&](frmConfirmOverwrite* confirm) {
                asked << confirm->lblExistingFile->text();
                confirm->cmdYes->click();
            },
            10000, &dialog);
        dialog.cmdOK->click();
    }));
    QVERIFY(stayedAfterNo);
    QCOMPARE(asked, QStringList{data + QStringLiteral("RUN8.BIN")});
    QFile saved(data + QStringLiteral("RUN7.BIN"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll() == image);
    QFile older(data + QStringLiteral("run7.bin"));
    QVERIFY(older.open(QIODevice::ReadOnly));
    QCOMPARE(older.readAll(), QByteArray("older run7"));
    QCOMPARE(QString::fromStdString(gLastBinPath), data + QStringLiteral("RUN7.BIN"));
}

void TestFrmDownload::temporaryFileOwnName() {
    const QByteArray image = Image(300);
    StartSimulator(image);
    gLastBinPath = "/earlier/Run1.BIN";
    dialogs_->answers.push_back(folder_->file(QStringLiteral("~TempIDL.BIN")));
    frmDownload dialog(context_);
    QString asked;
    QVERIFY(RunDoprompt(dialog, [&]() {
        dialog.cmdBrowse->click();
        // ~tempidl.bin is there, so the question comes first.
        WhenModalIs<frmConfirmOverwrite>([&](frmConfirmOverwrite* confirm) {
            asked = confirm->lblExistingFile->text();
            confirm->cmdYes->click();
        });
        dialog.cmdOK->click();
    }));
    QCOMPARE(asked, folder_->file(QStringLiteral("~tempidl.bin")));
    QCOMPARE(gLastBinPath, std::string("/earlier/Run1.BIN"));
    QCOMPARE(folder_->read(QStringLiteral("lastbin.cfg")),
             folder_->file(QStringLiteral("~tempidl.bin")).toUtf8() + "\r\n");
    QVERIFY(folder_->read(QStringLiteral("~tempidl.bin")) == image);
    QCOMPARE(QDir(folder_->path()).entryList(QDir::Files).size(), 2);  // nothing else copied
}

void TestFrmDownload::cancelDuringDownload() {
    StartSimulator(Image(4000), {QStringLiteral("--rate"), QStringLiteral("9600")});
    frmDownload dialog(context_);
    bool sawSave = false;
    QVERIFY(RunDoprompt(
        dialog, [&]() { sawSave = true; },
        [&]() {
            if (!dialog.lblStatus->text().startsWith(QStringLiteral("Block Received:"))) {
                return false;
            }
            QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
            return true;
        }));
    QVERIFY(!sawSave);
    QCOMPARE(gRunMode, std::int16_t{1});
    QCOMPARE(dialog.control.DownloadState, std::int16_t{13});
    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY(
        messages_->texts[0].startsWith(QStringLiteral("Download Finished. Number of Blocks = ")));
    QVERIFY(!folder_->exists(QStringLiteral("lastbin.cfg")));
    QVERIFY(folder_->exists(QStringLiteral("~tempidl.bin")));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestFrmDownload::closeBoxDuringDownloadCancels() {
    StartSimulator(Image(4000), {QStringLiteral("--rate"), QStringLiteral("9600")});
    frmDownload dialog(context_);
    bool sawSave = false;
    bool openRightAfterClose = false;
    QVERIFY(RunDoprompt(
        dialog, [&]() { sawSave = true; },
        [&]() {
            if (dialog.lblStatus->text() != QStringLiteral("Download has started")) return false;
            dialog.close();
            // The loop notices at its next pass and closes the dialog after its finish text.
            openRightAfterClose = dialog.isVisible();
            return true;
        }));
    QVERIFY(openRightAfterClose);
    QVERIFY(!sawSave);
    QCOMPARE(gRunMode, std::int16_t{1});
    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY(messages_->texts[0].startsWith(QStringLiteral("Download Finished.")));
    QVERIFY(!folder_->exists(QStringLiteral("lastbin.cfg")));
}

void TestFrmDownload::closeBoxInSavePhaseAbandonsSave() {
    const QByteArray image = Image(200);
    StartSimulator(image);
    gLastBinPath = folder_->file(QStringLiteral("Older.BIN")).toStdString();
    frmDownload dialog(context_);
    QVERIFY(RunDoprompt(dialog, [&]() { dialog.close(); }));
    QCOMPARE(gRunMode, std::int16_t{1});  // no conversion of Older.BIN follows
    QCOMPARE(QString::fromStdString(gLastBinPath), folder_->file(QStringLiteral("Older.BIN")));
    QVERIFY(!folder_->exists(QStringLiteral("lastbin.cfg")));
    QVERIFY(!folder_->exists(QStringLiteral("Older.BIN")));
    QVERIFY(folder_->read(QStringLiteral("~tempidl.bin")) == image);
}

void TestFrmDownload::portThatCannotBeOpened() {
    // ports/com<n> entries whose device is gone: the port cannot be opened.
    QVERIFY(QDir(folder_->path()).mkpath(QStringLiteral("ports")));
    for (const char* name : {"ports/com1", "ports/com7"}) {
        QVERIFY(QFile::link(folder_->file(QStringLiteral("no-such-device")),
                            folder_->file(QString::fromLatin1(name))));
    }
    struct Case {
        QByteArray cfg;
        QString port;
    };
    for (const Case& c : {Case{QByteArray(), QStringLiteral("1")},
                          Case{QByteArray("7\r\n"), QStringLiteral("7")}}) {
        if (!c.cfg.isEmpty()) folder_->write(QStringLiteral("serialport.cfg"), c.cfg);
        messages_->texts.clear();
        gRunMode = 3;
        frmDownload dialog(context_);
        ShowCounter shows;
        dialog.installEventFilter(&shows);
        QVERIFY(RunDoprompt(dialog, {}, {}, 10000));
        QCOMPARE(shows.shows, 0);
        QCOMPARE(gRunMode, std::int16_t{1});
        QCOMPARE(dialog.control.DownloadState, std::int16_t{13});
        QCOMPARE(dialog.control.DownloadRunning, std::int16_t{1});
        QCOMPARE(messages_->texts.size(), 1);
        const QStringList lines = messages_->texts[0].split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("Error: COM port #") + c.port +
                               QStringLiteral(" is not available.  Please change and try again."));
        QVERIFY2(lines[1].contains(QStringLiteral("com") + c.port), qPrintable(lines[1]));
    }
    QVERIFY(!folder_->exists(QStringLiteral("~tempidl.bin")));
}

void TestFrmDownload::secondDownloadInTheSameFolder() {
    const std::string temp = (folder_->path() + QStringLiteral("~tempidl.bin")).toStdString();
    vsdl::download::TempFileLock other;  // the other program's download
    QCOMPARE(other.Acquire(temp), vsdl::download::TempFileLock::Outcome::Locked);
    frmDownload dialog(context_);
    ShowCounter shows;
    dialog.installEventFilter(&shows);
    QVERIFY(RunDoprompt(dialog, {}, {}, 10000));
    QCOMPARE(shows.shows, 0);
    QCOMPARE(gRunMode, std::int16_t{1});
    QCOMPARE(
        messages_->texts,
        QStringList{QStringLiteral("Another download is using ") + QString::fromStdString(temp) +
                    QStringLiteral(". Wait until it has finished, then try again.")});
    QVERIFY(!folder_->exists(QStringLiteral("~tempidl.bin")));
}

void TestFrmDownload::temporaryFileThatCannotBeMadeClosesTheDialog() {
    QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("~tempidl.bin")));
    StartSimulator(Image(100));
    frmDownload dialog(context_);
    bool sawSave = false;
    QVERIFY(RunDoprompt(dialog, [&]() { sawSave = true; }));
    QVERIFY(!sawSave);
    QCOMPARE(gRunMode, std::int16_t{1});
    QCOMPARE(messages_->texts.size(), 1);  // what failed, and no finish text for a start
    QVERIFY2(messages_->texts[0].startsWith(QStringLiteral("The temporary file ") +
                                            folder_->file(QStringLiteral("~tempidl.bin")) +
                                            QStringLiteral(" could not be created")),
             qPrintable(messages_->texts[0]));
    QVERIFY(messages_->texts[0].endsWith(QStringLiteral("\nThe download has not started.")));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestFrmDownload::checksumErrorThenSave() {
    const QByteArray image = Image(1500);
    StartSimulator(image, {QStringLiteral("--bad-checksum"), QStringLiteral("2")});
    frmDownload dialog(context_);
    QVERIFY(RunDoprompt(dialog, [&]() { dialog.cmdOK->click(); }));
    QCOMPARE(messages_->texts.size(), 2);
    QCOMPARE(messages_->texts[0], QStringLiteral("serial port checksum error"));
    QCOMPARE(messages_->texts[1], FinishText(2, 2048));
    // The failed block is kept with the first: what came is what is saved.
    QVERIFY(folder_->read(QStringLiteral("Idatalog.bin")) == image.left(2048));
    QCOMPARE(QString::fromStdString(gLastBinPath), folder_->file(QStringLiteral("Idatalog.bin")));
    QCOMPARE(gRunMode, std::int16_t{3});
}

void TestFrmDownload::failingSaveStaysInSavePhase() {
    const QByteArray image = Image(200);
    StartSimulator(image);
    gLastBinPath = "/earlier/Run1.BIN";
    const QString gone =
        folder_->path() + QStringLiteral("gone") + QDir::separator() + QStringLiteral("x.BIN");
    dialogs_->answers.push_back(gone);
    dialogs_->answers.push_back(folder_->file(QStringLiteral("kept.BIN")));
    frmDownload dialog(context_);
    QStringList afterFailures;
    QVERIFY(RunDoprompt(dialog, [&]() {
        // A folder that is not there.
        dialog.cmdBrowse->click();
        dialog.cmdOK->click();
        afterFailures << QString::number(int(dialog.phase())) << dialog.lblFilename->text();
        // lastbin.cfg cannot be replaced when a folder stands in its place.
        QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("lastbin.cfg")));
        dialog.cmdBrowse->click();
        dialog.cmdOK->click();
        afterFailures << QString::number(int(dialog.phase())) << dialog.lblFilename->text();
        QVERIFY(QDir(folder_->path()).rmdir(QStringLiteral("lastbin.cfg")));
        // Now it works; the copy made before is there and is replaced.
        WhenModalIs<frmConfirmOverwrite>(
            [](frmConfirmOverwrite* confirm) { confirm->cmdYes->click(); });
        dialog.cmdOK->click();
    }));
    const QString saving = QString::number(int(frmDownload::Phase::Saving));
    QCOMPARE(afterFailures,
             (QStringList{saving, QStringLiteral("x.BIN"), saving, QStringLiteral("kept.BIN")}));
    QCOMPARE(messages_->texts.size(), 3);  // finish text and two failures
    QVERIFY2(messages_->texts[1].startsWith(QStringLiteral("The download could not be saved as ") +
                                            gone + QStringLiteral(".\n")),
             qPrintable(messages_->texts[1]));
    QVERIFY(messages_->texts[1].size() > gone.size() + 40);  // the system's reason follows
    QVERIFY2(messages_->texts[2].startsWith(QStringLiteral("The file ") +
                                            folder_->file(QStringLiteral("lastbin.cfg")) +
                                            QStringLiteral(" could not be written.\n")),
             qPrintable(messages_->texts[2]));
    QCOMPARE(QString::fromStdString(gLastBinPath), folder_->file(QStringLiteral("kept.BIN")));
    QCOMPARE(folder_->read(QStringLiteral("lastbin.cfg")),
             folder_->file(QStringLiteral("kept.BIN")).toUtf8() + "\r\n");
    QVERIFY(folder_->read(QStringLiteral("kept.BIN")) == image);
    QVERIFY(!QDir(folder_->path() + QStringLiteral("gone")).exists());
}

QTEST_MAIN(TestFrmDownload)
#include "tst_frmDownload.moc"
