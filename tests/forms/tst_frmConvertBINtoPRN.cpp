// The conversion dialog's own logic with real BIN files in a temporary program folder: what it
// proposes, the file dialog's filter, the overwrite question, lastbin.cfg, run mode 3, the bar,
// the conversion's messages and the refused close. (Cancel and Esc are QDialog's own.)
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QtTest>

#include "common/modGlobals.h"
#include "forms/frmConfirmOverwrite.h"
#include "forms/frmConvertBINtoPRN.h"
#include "support/FormTestSupport.h"

using namespace vsdl::testing;

namespace {

QByteArray SmallBin() {
    return BuildBin(
        QStringLiteral("marker untimed\nsetcount 1\nset 1\nwalk 50 1.25 seed 3\ntrailer\n"));
}

// exec() that cannot hang a test: the dialog is closed by force after `ms`; false then.
bool ExecWithin(QDialog& dialog, int ms, const std::function<void()>& whileOpen = {}) {
    bool forced = false;
    QTimer::singleShot(ms, &dialog, [&] {
        forced = true;
        dialog.done(QDialog::Rejected);
    });
    if (whileOpen) QTimer::singleShot(0, &dialog, whileOpen);
    dialog.exec();
    return !forced;
}

}  // namespace

class TestFrmConvertBINtoPRN : public QObject, private FormFixture {
    Q_OBJECT

  private slots:
    void init() {
        modGlobals::Reset();
        gRunMode = 2;
        Renew();
    }

    void proposesTheLastBinFile_data() {
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("ok");
        QTest::newRow("none") << QString() << QString() << false;
        QTest::newRow("no folder") << QStringLiteral("run1.BIN") << QString() << false;
        QTest::newRow("full path")
            << QStringLiteral("<folder>Run1.BIN") << QStringLiteral("<folder>") << true;
    }

    void proposesTheLastBinFile() {
        QFETCH(QString, last);
        QFETCH(QString, folder);
        QFETCH(bool, ok);
        gLastBinPath = last.replace(QStringLiteral("<folder>"), folder_->path()).toStdString();
        frmConvertBINtoPRN dialog(context_);
        QCOMPARE(dialog.lblFullPath->text(),
                 folder.replace(QStringLiteral("<folder>"), folder_->path()));
        QCOMPARE(dialog.lblFullPath->text() + dialog.lblFilename->text(), last);
        QCOMPARE(dialog.cmdOK->isEnabled(), ok);
        QVERIFY(dialog.famPercent100->isHidden());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(QApplication::focusWidget(), ok ? dialog.cmdOK : dialog.cmdBrowse);
    }

    // The program's own file dialog lists run1.bin under "Binary File (*.BIN)" on Linux too.
    void theFileDialogListsBinFilesOfAnyCase() {
        for (const char* name : {"run1.bin", "RUN2.BIN", "Run3.Bin", "notes.txt"}) {
            folder_->write(QString::fromLatin1(name), "x");
        }
        vsdl::forms::QtFileDialogs real;
        context_.fileDialogs = &real;
        gLastBinPath = folder_->file(QStringLiteral("run1.bin")).toStdString();
        QStringList listed;
        WhenModalIs<QFileDialog>([&](QFileDialog* fileDialog) {
            auto* view = fileDialog->findChild<QListView*>(QStringLiteral("listView"));
            QTRY_VERIFY_WITH_TIMEOUT(view->model()->rowCount(view->rootIndex()) >= 3, 5000);
            for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
                listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
            }
            fileDialog->reject();
        });
        frmConvertBINtoPRN dialog(context_);
        dialog.cmdBrowse->click();
        listed.sort();
        QCOMPARE(listed, (QStringList{"RUN2.BIN", "Run3.Bin", "run1.bin"}));
    }

    // Which existing file is asked about is FileToBeReplaced's table; here what each answer does.
    void theOverwriteQuestion_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }

    void theOverwriteQuestion() {
        QFETCH(bool, yes);
        folder_->write(QStringLiteral("run1.bin"), SmallBin());
        folder_->write(QStringLiteral("RUN1.PRN"), "old report");
        gLastBinPath = folder_->file(QStringLiteral("run1.bin")).toStdString();
        frmConvertBINtoPRN dialog(context_);
        QString question;
        WhenModalIs<frmConfirmOverwrite>(
            [&](frmConfirmOverwrite* confirm) {
                question = confirm->lblExistingFile->text();
                (yes ? confirm->cmdYes : confirm->cmdNo)->click();
            },
            10000, &dialog);
        bool stayed = false;
        ExecWithin(dialog, 20000, [&] {
            dialog.cmdOK->click();
            stayed = dialog.isVisible() && !dialog.converting();
            dialog.reject();
        });
        QCOMPARE(question, folder_->file(QStringLiteral("RUN1.PRN")));
        QCOMPARE(stayed, !yes);
        QCOMPARE(folder_->read(QStringLiteral("RUN1.PRN")) == "old report", !yes);
        QCOMPARE(folder_->exists(QStringLiteral("lastbin.cfg")), yes);
    }

    void runMode3ConvertsByItselfAfterRecordingTheFile() {
        folder_->write(QStringLiteral("Run1.BIN"), SmallBin());
        gLastBinPath = folder_->file(QStringLiteral("Run1.BIN")).toStdString();
        gRunMode = 3;
        frmConvertBINtoPRN dialog(context_);
        QByteArray lastBinAtTheEnd;
        int bar = -1;
        messages_->onShow = [&](const QString&) {
            lastBinAtTheEnd = folder_->read(QStringLiteral("lastbin.cfg"));
            bar = dialog.famPercentSome->width();
        };
        QVERIFY(ExecWithin(dialog, 20000));  // no click at all
        QVERIFY(
            messages_->texts.value(0).startsWith(QStringLiteral("The conversion has completed.")));
        QCOMPARE(lastBinAtTheEnd, folder_->file(QStringLiteral("Run1.BIN")).toUtf8() + "\r\n");
        QVERIFY(folder_->exists(QStringLiteral("RUN1.CSV")));
        // The bar shows how far the conversion read (the end mark stays unread).
        QCOMPARE(bar, qRound(double(gBytesRead) / gFileLength *
                             dialog.famPercent100->contentsRect().width()));
        // A screen reader hears a progress bar at the same point.
        QAccessibleInterface* barAccess =
            QAccessible::queryAccessibleInterface(dialog.famPercent100);
        QVERIFY(barAccess != nullptr);
        QCOMPARE(barAccess->role(), QAccessible::ProgressBar);
        QCOMPARE(barAccess->valueInterface()->currentValue().toInt(),
                 qRound(100.0 * gBytesRead / gFileLength));
    }

    void theConversionsOwnMessagesThenTheDialogCloses() {
        // lastbin.cfg cannot be written (a folder in its place): said, and the conversion runs.
        QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("lastbin.cfg")));
        QByteArray corrupt = SmallBin();
        corrupt[0] = '\x12';
        folder_->write(QStringLiteral("bad.BIN"), corrupt);
        gLastBinPath = folder_->file(QStringLiteral("bad.BIN")).toStdString();
        frmConvertBINtoPRN dialog(context_);
        QVERIFY(ExecWithin(dialog, 20000, [&] { dialog.cmdOK->click(); }));
        QCOMPARE(messages_->texts.size(), 2);
        QVERIFY(messages_->texts[0].startsWith(QStringLiteral("The file ") +
                                               folder_->file(QStringLiteral("lastbin.cfg")) +
                                               QStringLiteral(" could not be written.\n")));
        QCOMPARE(messages_->texts[1], QStringLiteral("This BIN is corrupt"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void closingIsRefusedWhileConverting() {
        // An untimed set whose end is never met: the conversion reads all of a large file.
        folder_->write(QStringLiteral("Big.BIN"),
                       BuildBin(QStringLiteral("marker untimed\nset 1\nend 12/31/29 23:59:59\n"
                                               "walk 1500000 5.12\n")));
        gLastBinPath = folder_->file(QStringLiteral("Big.BIN")).toStdString();
        frmConvertBINtoPRN dialog(context_);
        bool refused = false;
        QVERIFY(ExecWithin(dialog, 60000, [&] {
            // Runs from the conversion's first yield to the event loop.
            QTimer::singleShot(0, &dialog, [&] {
                const bool disabled = !dialog.cmdOK->isEnabled() &&
                                      !dialog.cmdBrowse->isEnabled() &&
                                      !dialog.cmdCancel->isEnabled();
                dialog.close();
                QTest::keyClick(&dialog, Qt::Key_Escape);
                refused = disabled && dialog.converting() && dialog.isVisible();
            });
            dialog.cmdOK->click();
        }));
        QVERIFY(refused);
        QVERIFY(
            messages_->texts.value(0).startsWith(QStringLiteral("The conversion has completed.")));
    }
};

QTEST_MAIN(TestFrmConvertBINtoPRN)
#include "tst_frmConvertBINtoPRN.moc"
