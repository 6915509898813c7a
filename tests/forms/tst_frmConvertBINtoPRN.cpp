// The conversion dialog driven like a user: labels at load, Browse, the name test, the
// overwrite question, lastbin.cfg, both run modes, the bar, the conversion's own messages and
// the refused close, with real BIN files in a temporary program folder.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <cstdint>
#include <vector>

#include "common/modGlobals.h"
#include "forms/frmConfirmOverwrite.h"
#include "forms/frmConvertBINtoPRN.h"
#include "instrument/BinBuilder.h"
#include "support/FormTestSupport.h"

using namespace vsdl::testing;
namespace sample = vsdl::instrument::sample;

namespace {

const QString kMustEndInBin = QStringLiteral("Your filename must end in .BIN");
const QString kChooseText =
    QStringLiteral("Which BIN file would you like to convert to an ASCII format?");
const QString kConvertingText = QStringLiteral("Conversion has started... One Moment.");

// A small untimed image with one data set of `records` readings and the end mark.
QByteArray SmallBin(int records = 50) {
    return BuildBin(QStringLiteral("marker untimed\nsetcount 1\nset 1\nstart 03/14/24 09:30:00\n"
                                   "interval 4\nunit 3\nwalk %1 1.25 seed 3\ntrailer\n")
                        .arg(records));
}

// A large untimed image whose end time is never met: the conversion runs to the file's end.
QByteArray LargeBin(int records) {
    sample::Image image;
    sample::SetHeader set;
    set.endAtLastRecord = false;
    set.start = {1, 1, 20, 0, 0, 0};
    set.end = {12, 31, 29, 23, 59, 59};
    image.items.push_back(set);
    sample::RecordFields fields;
    fields.reading = 512;
    fields.decimals = 2;
    const std::vector<std::uint8_t> record = sample::PackRecord(2, fields);
    sample::RawBytes raw;
    raw.bytes.reserve(record.size() * static_cast<std::size_t>(records));
    for (int i = 0; i < records; ++i)
        raw.bytes.insert(raw.bytes.end(), record.begin(), record.end());
    image.items.push_back(std::move(raw));
    return ToBytes(sample::Build(image));
}

// exec() that cannot hang a test: the dialog is closed by force after `ms`.
bool ExecWithin(QDialog& dialog, int ms, const std::function<void()>& whileOpen = {}) {
    bool forced = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, [&]() {
        forced = true;
        dialog.done(QDialog::Rejected);
    });
    guard.start(ms);
    if (whileOpen) QTimer::singleShot(0, &dialog, whileOpen);
    dialog.exec();
    return !forced;
}

}  // namespace

class TestFrmConvertBINtoPRN : public QObject, private FormFixture {
    Q_OBJECT

    // Writes `bytes` as `name` into the program folder and makes it the last BIN file.
    void UseBin(const QString& name, const QByteArray& bytes) {
        folder_->write(name, bytes);
        gLastBinPath = folder_->file(name).toStdString();
    }

  private slots:
    void init();

    // Load
    void loadWithEmptyLastPath();
    void loadWithoutSeparator();
    void loadWithFullPath();

    // Browse
    void browseShowsChosenFile();
    void browseCancelledOrEmptyChangesNothing();
    void fileDialogListsBinFilesOfAnyCase();

    // OK: name test, overwrite question, lastbin.cfg, conversion
    void nameTestRefuses_data();
    void nameTestRefuses();
    void overwriteDeclinedLeavesEverything();
    void overwriteAcceptedConverts_data();
    void overwriteAcceptedConverts();
    void lastBinWrittenBeforeConversion();
    void unwritableLastBinIsReportedAndConversionRuns();
    void corruptFileMessageThenCloses();
    void missingFileFailureMessageThenCloses();

    // Run modes, the bar, closing
    void runMode3StartsByItself();
    void runMode3WithEmptyPathAsksForBin();
    void runMode2Waits();
    void progressWidthFollowsBytesRead();
    void progressKeepsWidthWithoutLength();
    void closeRefusedWhileConverting();
    void cancelAndEscCloseWhileChoosing();
};

void TestFrmConvertBINtoPRN::init() {
    modGlobals::Reset();
    gRunMode = 2;
    Renew();
}

void TestFrmConvertBINtoPRN::loadWithEmptyLastPath() {
    frmConvertBINtoPRN dialog(context_);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Conversion from BIN to PRN"));
    QCOMPARE(dialog.lblStatus->text(), kChooseText);
    QCOMPARE(dialog.Label3->text(), QStringLiteral("Filename :"));
    QCOMPARE(dialog.Label5->text(), QStringLiteral("Full Path  : "));
    QCOMPARE(dialog.Label2->text(), QStringLiteral("% DONE  :"));
    QCOMPARE(dialog.lblFilename->text(), QString());
    QCOMPARE(dialog.lblFullPath->text(), QString());
    QVERIFY(!dialog.cmdOK->isEnabled());
    QVERIFY(dialog.cmdBrowse->isEnabled());
    QVERIFY(dialog.cmdCancel->isEnabled());
    QVERIFY(dialog.cmdOK->isDefault());
    QVERIFY(dialog.famPercent100->isHidden());
    QVERIFY(dialog.famPercentSome->isHidden());
    QCOMPARE(dialog.famPercentSome->width(), 0);
    QCOMPARE(dialog.famPercentSome->height(), dialog.famPercent100->contentsRect().height());
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("cmdOK")), dialog.cmdOK);
}

void TestFrmConvertBINtoPRN::loadWithoutSeparator() {
    gLastBinPath = "run1.BIN";
    frmConvertBINtoPRN dialog(context_);
    QCOMPARE(dialog.lblFullPath->text(), QString());
    QCOMPARE(dialog.lblFilename->text(), QStringLiteral("run1.BIN"));
    QVERIFY(!dialog.cmdOK->isEnabled());
}

void TestFrmConvertBINtoPRN::loadWithFullPath() {
    gLastBinPath = folder_->file(QStringLiteral("Run1.BIN")).toStdString();
    frmConvertBINtoPRN dialog(context_);
    QCOMPARE(dialog.lblFullPath->text(), folder_->path());
    QCOMPARE(dialog.lblFilename->text(), QStringLiteral("Run1.BIN"));
    QVERIFY(dialog.cmdOK->isEnabled());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.cmdOK);
    dialog.reject();
}

void TestFrmConvertBINtoPRN::browseShowsChosenFile() {
    gLastBinPath = folder_->file(QStringLiteral("Old.BIN")).toStdString();
    QDir(folder_->path()).mkdir(QStringLiteral("data"));
    const QString chosen =
        folder_->path() + QStringLiteral("data") + QDir::separator() + QStringLiteral("Run2.bin");
    dialogs_->answers.push_back(chosen);
    frmConvertBINtoPRN dialog(context_);
    dialog.cmdBrowse->click();
    QCOMPARE(dialogs_->requests.size(), std::size_t{1});
    QCOMPARE(dialogs_->requests[0].folder, folder_->path());
    QCOMPARE(dialogs_->requests[0].name, QStringLiteral("Old.BIN"));
    QCOMPARE(dialogs_->requests[0].filter,
             QStringLiteral("Binary File (*.BIN)|*.BIN|All File (*.*)|*.*"));
    QCOMPARE(dialog.lblFullPath->text(),
             folder_->path() + QStringLiteral("data") + QDir::separator());
    QCOMPARE(dialog.lblFilename->text(), QStringLiteral("Run2.bin"));
    QVERIFY(dialog.cmdOK->isEnabled());
}

void TestFrmConvertBINtoPRN::browseCancelledOrEmptyChangesNothing() {
    frmConvertBINtoPRN dialog(context_);
    dialogs_->answers.push_back(std::nullopt);
    dialogs_->answers.push_back(QString());
    dialog.cmdBrowse->click();
    dialog.cmdBrowse->click();
    QCOMPARE(dialogs_->requests.size(), std::size_t{2});
    QCOMPARE(dialog.lblFullPath->text(), QString());
    QCOMPARE(dialog.lblFilename->text(), QString());
    QVERIFY(!dialog.cmdOK->isEnabled());
}

// The program's own file dialog must list run1.bin under "Binary File (*.BIN)" on Linux too.
void TestFrmConvertBINtoPRN::fileDialogListsBinFilesOfAnyCase() {
    folder_->write(QStringLiteral("run1.bin"), "x");
    folder_->write(QStringLiteral("RUN2.BIN"), "x");
    folder_->write(QStringLiteral("Run3.Bin"), "x");
    folder_->write(QStringLiteral("notes.txt"), "x");
    vsdl::forms::QtFileDialogs real;
    context_.fileDialogs = &real;
    gLastBinPath = folder_->file(QStringLiteral("run1.bin")).toStdString();

    QStringList listed;
    WhenModalIs<QFileDialog>([&](QFileDialog* fileDialog) {
        auto* view = fileDialog->findChild<QListView*>(QStringLiteral("listView"));
        auto* model = fileDialog->findChild<QFileSystemModel*>();
        if (view != nullptr && model != nullptr) {
            QTRY_VERIFY_WITH_TIMEOUT(view->model()->rowCount(view->rootIndex()) >= 3, 5000);
            for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
                listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
            }
        }
        fileDialog->reject();
    });
    frmConvertBINtoPRN dialog(context_);
    dialog.cmdBrowse->click();
    listed.sort();
    QCOMPARE(listed, (QStringList{QStringLiteral("RUN2.BIN"), QStringLiteral("Run3.Bin"),
                                  QStringLiteral("run1.bin")}));
    QCOMPARE(dialog.lblFilename->text(), QStringLiteral("run1.bin"));  // cancelled: unchanged
}

void TestFrmConvertBINtoPRN::nameTestRefuses_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("notes.txt") << QStringLiteral("notes.txt");
    QTest::newRow("short") << QStringLiteral("BIN");
    QTest::newRow("no dot") << QStringLiteral("runBIN");
    QTest::newRow("bin.old") << QStringLiteral("run.bin.old");
}

void TestFrmConvertBINtoPRN::nameTestRefuses() {
    QFETCH(QString, name);
    folder_->write(QStringLiteral("notes.prn"), "keep");
    dialogs_->answers.push_back(folder_->file(name));
    frmConvertBINtoPRN dialog(context_);
    dialog.cmdBrowse->click();
    QCOMPARE(dialog.lblFilename->text(), name);
    QVERIFY(dialog.cmdOK->isEnabled());
    dialog.cmdOK->click();
    QCOMPARE(messages_->texts, QStringList{kMustEndInBin});
    QVERIFY(!dialog.converting());
    QCOMPARE(dialog.lblStatus->text(), kChooseText);
    QVERIFY(dialog.cmdOK->isEnabled());
    QVERIFY(dialog.cmdBrowse->isEnabled());
    QVERIFY(dialog.famPercent100->isHidden());
    QVERIFY(!folder_->exists(QStringLiteral("lastbin.cfg")));
    QCOMPARE(gLastBinPath, std::string());
    QCOMPARE(gOverwriteFileName, std::string());  // no question was asked
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestFrmConvertBINtoPRN::overwriteDeclinedLeavesEverything() {
    folder_->write(QStringLiteral("run1.bin"), SmallBin());
    folder_->write(QStringLiteral("RUN1.PRN"), "old report");
    gLastBinPath = folder_->file(QStringLiteral("run1.bin")).toStdString();
    frmConvertBINtoPRN dialog(context_);
    dialog.show();

    QString asked;
    WhenModalIs<frmConfirmOverwrite>([&](frmConfirmOverwrite* confirm) {
        asked = confirm->lblExistingFile->text();
        confirm->cmdNo->click();
    });
    dialog.cmdOK->click();
    // The file the conversion would replace, by its real name.
    QCOMPARE(asked, folder_->path() + QStringLiteral("RUN1.PRN"));
    QCOMPARE(gOverwriteAnswer, std::string("N"));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.lblStatus->text(), kChooseText);
    QVERIFY(dialog.cmdOK->isEnabled() && dialog.cmdBrowse->isEnabled() &&
            dialog.cmdCancel->isEnabled());
    QVERIFY(dialog.famPercent100->isHidden());
    QCOMPARE(folder_->read(QStringLiteral("RUN1.PRN")), QByteArray("old report"));
    QVERIFY(!folder_->exists(QStringLiteral("lastbin.cfg")));
    QVERIFY(messages_->texts.isEmpty());
    dialog.reject();
}

void TestFrmConvertBINtoPRN::overwriteAcceptedConverts_data() {
    QTest::addColumn<QString>("existing");
    QTest::addColumn<bool>("asked");
    QTest::newRow("the report itself") << QStringLiteral("RUN1.PRN") << true;
    // On a file system that tells letter cases apart, run1.prn is another file: kept, not asked.
    QTest::newRow("another letter case") << QStringLiteral("run1.prn") << false;
}

void TestFrmConvertBINtoPRN::overwriteAcceptedConverts() {
    QFETCH(QString, existing);
    QFETCH(bool, asked);
    folder_->write(QStringLiteral("run1.bin"), SmallBin());
    folder_->write(existing, "old report");
    gLastBinPath = folder_->file(QStringLiteral("run1.bin")).toStdString();
    frmConvertBINtoPRN dialog(context_);
    bool questioned = false;
    WhenModalIs<frmConfirmOverwrite>(
        [&](frmConfirmOverwrite* confirm) {
            questioned = true;
            confirm->cmdYes->click();
        },
        10000, &dialog);
    QVERIFY(ExecWithin(dialog, 20000, [&]() { dialog.cmdOK->click(); }));
    QCOMPARE(questioned, asked);
    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY2(messages_->texts[0].startsWith(QStringLiteral("The conversion has completed.")),
             qPrintable(messages_->texts[0]));
    const QByteArray report = folder_->read(QStringLiteral("RUN1.PRN"));
    QVERIFY(report.size() > 100);
    QVERIFY(folder_->exists(QStringLiteral("RUN1.CSV")));
    if (!asked) QCOMPARE(folder_->read(existing), QByteArray("old report"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestFrmConvertBINtoPRN::lastBinWrittenBeforeConversion() {
    UseBin(QStringLiteral("Run1.BIN"), SmallBin());
    gRunMode = 3;
    QByteArray lastBinDuringConversion;
    int barWidth = -1;
    int fullWidth = 0;
    frmConvertBINtoPRN dialog(context_);
    messages_->onShow = [&](const QString&) {
        lastBinDuringConversion = folder_->read(QStringLiteral("lastbin.cfg"));
        barWidth = dialog.famPercentSome->width();
        fullWidth = dialog.famPercent100->contentsRect().width();
    };
    QVERIFY(ExecWithin(dialog, 20000));
    const QByteArray expected = folder_->file(QStringLiteral("Run1.BIN")).toUtf8() + "\r\n";
    QCOMPARE(lastBinDuringConversion, expected);
    QCOMPARE(folder_->read(QStringLiteral("lastbin.cfg")), expected);
    QCOMPARE(QString::fromStdString(gLastBinPath), folder_->file(QStringLiteral("Run1.BIN")));
    // The bar shows how far the conversion read when its completion message shows (the end
    // mark behind the last set stays unread).
    QVERIFY(gBytesRead > gFileLength - 10);
    QCOMPARE(barWidth, qRound(double(gBytesRead) / gFileLength * fullWidth));
}

void TestFrmConvertBINtoPRN::unwritableLastBinIsReportedAndConversionRuns() {
    folder_->write(QStringLiteral("Run1.BIN"), SmallBin());
    // A folder in lastbin.cfg's place: the file cannot be replaced, whoever runs the test.
    QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("lastbin.cfg")));
    gLastBinPath = folder_->file(QStringLiteral("Run1.BIN")).toStdString();
    gRunMode = 3;
    frmConvertBINtoPRN dialog(context_);
    QVERIFY(ExecWithin(dialog, 20000));
    QCOMPARE(messages_->texts.size(), 2);
    QVERIFY2(messages_->texts[0].startsWith(QStringLiteral("The file ") +
                                            folder_->file(QStringLiteral("lastbin.cfg")) +
                                            QStringLiteral(" could not be written.\n")),
             qPrintable(messages_->texts[0]));
    QVERIFY(messages_->texts[0].size() >
            folder_->file(QStringLiteral("lastbin.cfg")).size() + 30);  // with a reason
    QVERIFY(messages_->texts[1].startsWith(QStringLiteral("The conversion has completed.")));
    QVERIFY(folder_->exists(QStringLiteral("RUN1.PRN")));
}

void TestFrmConvertBINtoPRN::corruptFileMessageThenCloses() {
    QByteArray bytes = SmallBin();
    bytes[0] = '\x12';
    UseBin(QStringLiteral("bad.BIN"), bytes);
    frmConvertBINtoPRN dialog(context_);
    QVERIFY(ExecWithin(dialog, 20000, [&]() { dialog.cmdOK->click(); }));
    QCOMPARE(messages_->texts, QStringList{QStringLiteral("This BIN is corrupt")});
    QCOMPARE(folder_->read(QStringLiteral("lastbin.cfg")),
             folder_->file(QStringLiteral("bad.BIN")).toUtf8() + "\r\n");
    QVERIFY(!dialog.isVisible());
}

void TestFrmConvertBINtoPRN::missingFileFailureMessageThenCloses() {
    gLastBinPath = folder_->file(QStringLiteral("gone.BIN")).toStdString();
    frmConvertBINtoPRN dialog(context_);
    QVERIFY(ExecWithin(dialog, 20000, [&]() { dialog.cmdOK->click(); }));
    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY2(messages_->texts[0].startsWith(QStringLiteral("Error ")),
             qPrintable(messages_->texts[0]));
    QVERIFY(messages_->texts[0].endsWith(QStringLiteral("This BIN file is corrupted.")));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestFrmConvertBINtoPRN::runMode3StartsByItself() {
    UseBin(QStringLiteral("Run1.BIN"), SmallBin());
    gRunMode = 3;
    frmConvertBINtoPRN dialog(context_);
    QVERIFY(ExecWithin(dialog, 20000));  // no click at all
    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY(messages_->texts[0].startsWith(QStringLiteral("The conversion has completed.")));
    QVERIFY(folder_->exists(QStringLiteral("RUN1.PRN")));
    QVERIFY(folder_->exists(QStringLiteral("RUN1.CSV")));
    QVERIFY(!dialog.Timer1->isActive());
}

void TestFrmConvertBINtoPRN::runMode3WithEmptyPathAsksForBin() {
    gRunMode = 3;
    frmConvertBINtoPRN dialog(context_);
    bool stillOpen = false;
    QVERIFY(!ExecWithin(dialog, 300, [&]() {
        QTimer::singleShot(100, &dialog, [&]() { stillOpen = dialog.isVisible(); });
    }));  // closed only by the guard
    QVERIFY(stillOpen);
    QCOMPARE(messages_->texts, QStringList{kMustEndInBin});
    QVERIFY(dialog.cmdBrowse->isEnabled());
    QVERIFY(!folder_->exists(QStringLiteral("lastbin.cfg")));
}

void TestFrmConvertBINtoPRN::runMode2Waits() {
    UseBin(QStringLiteral("Run1.BIN"), SmallBin());
    gRunMode = 2;
    frmConvertBINtoPRN dialog(context_);
    bool waited = false;
    QVERIFY(ExecWithin(dialog, 20000, [&]() {
        QTimer::singleShot(200, &dialog, [&]() {
            waited = dialog.isVisible() && !dialog.converting() && !dialog.Timer1->isActive();
            dialog.cmdCancel->click();
        });
    }));
    QVERIFY(waited);
    QVERIFY(messages_->texts.isEmpty());
    QVERIFY(!folder_->exists(QStringLiteral("RUN1.PRN")));
    QVERIFY(!folder_->exists(QStringLiteral("lastbin.cfg")));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestFrmConvertBINtoPRN::progressWidthFollowsBytesRead() {
    frmConvertBINtoPRN dialog(context_);
    const int full = dialog.famPercent100->contentsRect().width();
    QVERIFY(full > 40);
    gFileLength = 10000;
    gBytesRead = 2500;
    dialog.Timer2_Timer();
    QCOMPARE(dialog.famPercentSome->width(), qRound(full / 4.0));
    QCOMPARE(dialog.famPercentSome->height(), dialog.famPercent100->contentsRect().height());
    gBytesRead = 10000;
    dialog.Timer2_Timer();
    QCOMPARE(dialog.famPercentSome->width(), full);
}

void TestFrmConvertBINtoPRN::progressKeepsWidthWithoutLength() {
    frmConvertBINtoPRN dialog(context_);
    gFileLength = 100;
    gBytesRead = 50;
    dialog.Timer2_Timer();
    const int half = dialog.famPercentSome->width();
    QVERIFY(half > 0);
    gFileLength = 0;
    gBytesRead = 0;
    dialog.Timer2_Timer();
    QCOMPARE(dialog.famPercentSome->width(), half);
}

void TestFrmConvertBINtoPRN::closeRefusedWhileConverting() {
    UseBin(QStringLiteral("Big.BIN"), LargeBin(1500000));
    frmConvertBINtoPRN dialog(context_);
    bool sawConverting = false;
    bool openAfterClose = false;
    bool openAfterEsc = false;
    bool buttonsDisabled = false;
    bool barShown = false;
    QString status;
    QVERIFY(ExecWithin(dialog, 60000, [&]() {
        // Runs from the conversion's first yield to the event loop.
        QTimer::singleShot(0, &dialog, [&]() {
            sawConverting = dialog.converting();
            status = dialog.lblStatus->text();
            buttonsDisabled = !dialog.cmdOK->isEnabled() && !dialog.cmdBrowse->isEnabled() &&
                              !dialog.cmdCancel->isEnabled();
            barShown = dialog.famPercent100->isVisible() && dialog.famPercentSome->isVisible();
            dialog.close();
            openAfterClose = dialog.isVisible();
            QTest::keyClick(&dialog, Qt::Key_Escape);
            openAfterEsc = dialog.isVisible();
        });
        dialog.cmdOK->click();
    }));
    QVERIFY(sawConverting);
    QCOMPARE(status, kConvertingText);
    QVERIFY(buttonsDisabled);
    QVERIFY(barShown);
    QVERIFY(openAfterClose);
    QVERIFY(openAfterEsc);
    // The conversion went on to the end.
    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY(messages_->texts[0].startsWith(QStringLiteral("The conversion has completed.")));
    QCOMPARE(gBytesRead, gFileLength);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestFrmConvertBINtoPRN::cancelAndEscCloseWhileChoosing() {
    gLastBinPath = folder_->file(QStringLiteral("Run1.BIN")).toStdString();
    {
        frmConvertBINtoPRN dialog(context_);
        QVERIFY(ExecWithin(dialog, 5000, [&]() { dialog.cmdCancel->click(); }));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    {
        frmConvertBINtoPRN dialog(context_);
        QVERIFY(ExecWithin(dialog, 5000, [&]() { QTest::keyClick(&dialog, Qt::Key_Escape); }));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QVERIFY(!folder_->exists(QStringLiteral("lastbin.cfg")));
    QVERIFY(!folder_->exists(QStringLiteral("RUN1.PRN")));
    QVERIFY(messages_->texts.isEmpty());
}

QTEST_MAIN(TestFrmConvertBINtoPRN)
#include "tst_frmConvertBINtoPRN.moc"
