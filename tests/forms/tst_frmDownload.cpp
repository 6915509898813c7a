// The download dialog's own logic against the instrument simulator on a pty linked as
// ports/com1: the port line, "any port" and remembering the port it found, the save phase (its
// proposals, Browse, Enter, the overwrite question, a failed save), Cancel and the close box.
// The save's rules themselves are the save job's (tests/jobs), a download that cannot start the
// session's.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "common/modGlobals.h"
#include "forms/frmConfirmOverwrite.h"
#include "forms/frmDownload.h"
#include "support/FormTestSupport.h"
#include "support/ServedImage.h"

using namespace vsdl::testing;

namespace {

// An image of `records` untimed readings: 4 + 17 + 2 x records + 6 bytes.
QByteArray Image(int records) {
    return BuildBin(QStringLiteral("marker untimed\nsetcount 1\nset 1\nstart 05/02/24 10:00:00\n"
                                   "walk %1 4.56 seed 11\ntrailer\n")
                        .arg(records));
}

QString Finish(int blocks, qsizetype bytes) {
    return QStringLiteral("Download Finished. Number of Blocks = %1. Number of Bytes = %2")
        .arg(blocks)
        .arg(bytes);
}

// doprompt() that cannot hang a test: `whenSaving` runs once the save phase is there,
// `whileDownloading` on every poll before it until it returns true. False when the guard had
// to end the dialog. Returns whether the dialog was ever shown.
bool RunDoprompt(frmDownload& dialog, const std::function<void()>& whenSaving,
                 const std::function<bool()>& whileDownloading = {}) {
    bool shown = false, saving = false, downloading = !whileDownloading;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        if (!dialog.isVisible()) return;
        shown = true;
        if (!downloading && dialog.phase() == frmDownload::Phase::Downloading) {
            downloading = whileDownloading();
        }
        if (!saving && dialog.phase() == frmDownload::Phase::Saving) {
            saving = true;
            if (whenSaving) whenSaving();
        }
    });
    poll.start(20);
    QTimer::singleShot(30000, &dialog, [&] {
        if (dialog.phase() == frmDownload::Phase::Downloading) dialog.cmdCancel_Click();
        if (dialog.phase() == frmDownload::Phase::Saving) dialog.done(QDialog::Rejected);
    });
    dialog.doprompt();
    return shown;
}

}  // namespace

class TestFrmDownload : public QObject, private FormFixture {
    Q_OBJECT

  private slots:
    void init() {
        modGlobals::Reset();
        gRunMode = 3;
        Renew();
        UseRealPorts();
        simulator_.reset();
    }

    void savedUnderANewNameWithTheInstrumentsLines() {
        const QByteArray image = Image(1300);  // two full blocks and a partial one
        Serve(image, [](auto& o) { o.textLines = {"MODEL 62-RV LOGGER", "UNIT 0042"}; });
        const QString target = folder_->file(QStringLiteral("Run7.BIN"));
        dialogs_->answers.push_back(target);
        // Proposed in the save folder (the documents of a user who cannot write the program
        // folder), while the settings stay in the data folder.
        context_.saveFolder = folder_->file(QStringLiteral("documents")) + QDir::separator();
        frmDownload dialog(context_);
        QVERIFY(RunDoprompt(dialog, [&] {
            QCOMPARE(dialog.lblFullPath->text() + dialog.lblFilename->text(),
                     context_.saveFolder + QStringLiteral("Idatalog.bin"));
            dialog.cmdBrowse->click();
            dialog.cmdOK->click();
        }));
        QVERIFY2(
            dialog.lblPort->toolTip().startsWith(QStringLiteral("Listening on COM1: ") +
                                                 folder_->file(QStringLiteral("ports/com1 ("))),
            qPrintable(dialog.lblPort->toolTip()));
        QCOMPARE(dialogs_->requests.size(), std::size_t{1});
        QCOMPARE(dialogs_->requests[0].filter,
                 QStringLiteral("Binary File (*.BIN)|*.BIN|All File (*.*)|*.*"));
        QCOMPARE(messages_->texts, QStringList{Finish(3, image.size())});
        QVERIFY(folder_->read(QStringLiteral("Run7.BIN")) == image);
        QCOMPARE(QString::fromStdString(gLastBinPath), target);
        QCOMPARE(gRunMode, std::int16_t{3});
        // "-" is not among the characters an instrument line may hold.
        QCOMPARE(dialog.List1->count(), 2);
        QCOMPARE(dialog.List1->item(0)->text(), QStringLiteral("MODEL 62RV LOGGER"));
        QVERIFY(dialog.List1->geometry().top() >= dialog.height());  // kept, not shown
        QVERIFY(simulator_->WaitServed(std::chrono::seconds(10)));
        QCOMPARE(simulator_->Stop().downloads, 1);
    }

    void anyPortSaysWhereTheInstrumentIsAndOffersToRememberIt() {
        folder_->write(QStringLiteral("serialport.cfg"), "any\r\n");
        const QByteArray image = Image(300);
        Serve(image);
        frmDownload dialog(context_);
        QVERIFY(RunDoprompt(dialog, [&] {
            QCOMPARE(dialog.lblPort->toolTip(),
                     QStringLiteral("The instrument is on COM1: %1; the other ports are closed.")
                         .arg(folder_->file(QStringLiteral("ports/com1"))));
            QVERIFY(dialog.chkRememberPort->isVisible());
            QCOMPARE(dialog.chkRememberPort->text(), QStringLiteral("Use COM1 from now on"));
            dialog.chkRememberPort->setChecked(true);
            dialog.cmdOK->click();
        }));
        QVERIFY(folder_->read(QStringLiteral("Idatalog.bin")) == image);
        QCOMPARE(folder_->read(QStringLiteral("serialport.cfg")), QByteArray("1\r\n"));
    }

    void afterAChecksumErrorEnterSavesWhatCame() {
        gLastBinPath = folder_->file(QStringLiteral("Lake3.BIN")).toStdString();
        const QByteArray image = Image(1500);
        Serve(image, [](auto& o) { o.faults.badChecksumBlock = 2; });
        frmDownload dialog(context_);
        QVERIFY(RunDoprompt(dialog, [&] {
            QCOMPARE(QApplication::focusWidget(), dialog.cmdOK);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }));
        QCOMPARE(messages_->texts,
                 (QStringList{QStringLiteral("serial port checksum error"), Finish(2, 2048)}));
        // The failed block is kept with the first, under the last BIN file's name.
        QVERIFY(folder_->read(QStringLiteral("Lake3.BIN")) == image.left(2048));
        QCOMPARE(gRunMode, std::int16_t{3});
    }

    // Which file is asked about and where the image goes are the save job's rules; here: the
    // question is shown, No keeps the save step, and a failed save says why and stays there.
    void theOverwriteQuestionAndAFailedSaveKeepTheSaveStep() {
        const QByteArray image = Image(600);
        Serve(image);
        folder_->write(QStringLiteral("RUN8.BIN"), "older RUN8");
        const QString gone = folder_->path() + QStringLiteral("gone/x.BIN");
        dialogs_->answers = {folder_->file(QStringLiteral("RUN8.BIN")), gone};
        frmDownload dialog(context_);
        QStringList asked;
        bool stayed = false;
        QVERIFY(RunDoprompt(dialog, [&] {
            dialog.cmdBrowse->click();
            WhenModalIs<frmConfirmOverwrite>([&](frmConfirmOverwrite* confirm) {
                asked << confirm->lblExistingFile->text();
                confirm->cmdNo->click();
            });
            dialog.cmdOK->click();
            stayed = dialog.phase() == frmDownload::Phase::Saving;
            dialog.cmdBrowse->click();
            dialog.cmdOK->click();
            stayed = stayed && dialog.phase() == frmDownload::Phase::Saving;
            dialog.reject();
        }));
        QVERIFY(stayed);
        QCOMPARE(asked, QStringList{folder_->file(QStringLiteral("RUN8.BIN"))});
        QCOMPARE(folder_->read(QStringLiteral("RUN8.BIN")), QByteArray("older RUN8"));
        QCOMPARE(messages_->texts.size(), 2);  // the finish text and the failure
        QVERIFY2(messages_->texts[1].startsWith(
                     QStringLiteral("The download could not be saved as ") + gone),
                 qPrintable(messages_->texts[1]));
        QVERIFY(gLastBinPath.empty());
    }

    void cancelAndTheCloseBoxInBothPhases() {
        Serve(Image(4000), [](auto& o) {
            o.rate = 9600;
            o.repeat = true;
        });
        frmDownload cancelled(context_);
        bool sawSave = false;
        QVERIFY(RunDoprompt(
            cancelled, [&] { sawSave = true; },
            [&] {
                if (!cancelled.lblStatus->text().startsWith(QStringLiteral("Block Received:")))
                    return false;
                QTest::mouseClick(cancelled.cmdCancel, Qt::LeftButton);
                return true;
            }));
        frmDownload closed(context_);
        QVERIFY(RunDoprompt(
            closed, [&] { sawSave = true; },
            [&] {
                if (closed.lblStatus->text() != QStringLiteral("Download has started"))
                    return false;
                closed.close();  // noticed by the loop at its next pass
                return true;
            }));
        QVERIFY(!sawSave);
        QCOMPARE(gRunMode, std::int16_t{1});
        QCOMPARE(messages_->texts.size(), 2);
        QVERIFY(!folder_->exists(QStringLiteral("lastbin.cfg")));

        // In the save phase the close box abandons the save: no conversion follows.
        gRunMode = 3;
        Serve(Image(100));
        frmDownload saving(context_);
        QVERIFY(RunDoprompt(saving, [&] { saving.close(); }));
        QCOMPARE(gRunMode, std::int16_t{1});
        QVERIFY(!folder_->exists(QStringLiteral("Idatalog.bin")));
        QVERIFY(!folder_->exists(QStringLiteral("lastbin.cfg")));
    }

  private:
    // The instrument on the folder's ports/com1.
    void Serve(const QByteArray& image,
               const std::function<void(vsdl::instrument::SimulatorOptions&)>& adjust = {}) {
        simulator_.reset();
        vsdl::instrument::SimulatorOptions options;
        options.image.assign(image.begin(), image.end());
        if (adjust) adjust(options);
        QVERIFY(QDir(folder_->path()).mkpath(QStringLiteral("ports")));
        simulator_ = std::make_unique<ServedImage>(
            folder_->file(QStringLiteral("ports/com1")).toStdString(), std::move(options));
        QVERIFY2(simulator_->Ready(), simulator_->Error().c_str());
    }

    std::unique_ptr<ServedImage> simulator_;
};

QTEST_MAIN(TestFrmDownload)
#include "tst_frmDownload.moc"
