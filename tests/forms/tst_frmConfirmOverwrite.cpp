// frmConfirmOverwrite driven through its real buttons and keys: the answer it leaves in
// gOverwriteAnswer for each way of closing it, and what it shows.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include "common/modGlobals.h"
#include "forms/frmConfirmOverwrite.h"
#include "support/FormTestSupport.h"

using namespace vsdl::testing;

class TestConfirmOverwrite : public QObject, private FormFixture {
    Q_OBJECT

  private:
    // Opens the dialog modally for `path`, runs `act` on it once it is up, and returns exec()'s
    // result together with the label's text.
    int Ask(const std::string& path, const std::function<void(frmConfirmOverwrite*)>& act,
            QString* shown = nullptr) {
        gOverwriteFileName = path;
        frmConfirmOverwrite dialog(context_);
        return ExecWhileUp(dialog, [&](QDialog* d) {
            QCOMPARE(d, &dialog);
            if (shown != nullptr) *shown = dialog.lblExistingFile->text();
            act(&dialog);
        });
    }

  private slots:
    void init() {
        modGlobals::Reset();
        Renew();
    }

    void layoutAndTexts() {
        gOverwriteFileName = "/data/Run1.PRN";
        frmConfirmOverwrite dialog(context_);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Confirm Overwrite"));
        auto* status = dialog.findChild<QLabel*>("lblStatus");
        auto* question = dialog.findChild<QLabel*>("Label2");
        auto* existing = dialog.findChild<QLabel*>("lblExistingFile");
        auto* yes = dialog.findChild<QPushButton*>("cmdYes");
        auto* no = dialog.findChild<QPushButton*>("cmdNo");
        QVERIFY(status && question && existing && yes && no);
        QCOMPARE(status->text(), QStringLiteral("The following file already exists ..."));
        QCOMPARE(question->text(), QStringLiteral("Do you want to overwrite this file?"));
        QCOMPARE(yes->text(), QStringLiteral("Yes"));
        QCOMPARE(no->text(), QStringLiteral("No"));
        QVERIFY(status->font().bold());
        QVERIFY(question->font().bold());
        QVERIFY(!existing->font().bold());
        QVERIFY(status->alignment() & Qt::AlignHCenter);
        QVERIFY(yes->isDefault());
        QVERIFY(!no->isDefault());
        // Nothing is cut off: each heading fits its label, the buttons sit below the text.
        for (QLabel* l : {status, question}) {
            QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(),
                     qPrintable(l->objectName()));
        }
        QVERIFY(question->geometry().bottom() < yes->geometry().top());
        QVERIFY(yes->geometry().right() < no->geometry().left());
        QVERIFY(dialog.rect().contains(no->geometry()));
    }

    void centredOnTheScreen() {
        frmConfirmOverwrite dialog(context_);
        const QRect screen = dialog.screen()->availableGeometry();
        QVERIFY(qAbs(dialog.geometry().center().x() - screen.center().x()) <= 10);
        QVERIFY(qAbs(dialog.geometry().center().y() - screen.center().y()) <= 40);
    }

    void yesAnswersY() {
        QString shown;
        const int result = Ask(
            "/data/Smith, J/Run1.PRN",
            [](frmConfirmOverwrite* d) { QTest::mouseClick(d->cmdYes, Qt::LeftButton); }, &shown);
        QCOMPARE(gOverwriteAnswer, std::string("Y"));
        QCOMPARE(shown, QStringLiteral("/data/Smith, J/Run1.PRN"));
        QCOMPARE(result, int(QDialog::Accepted));
    }

    void noAnswersN() {
        gOverwriteAnswer = "Y";
        Ask("/data/Run1.PRN",
            [](frmConfirmOverwrite* d) { QTest::mouseClick(d->cmdNo, Qt::LeftButton); });
        QCOMPARE(gOverwriteAnswer, std::string("N"));
    }

    // A stale "Y" from an earlier use must not count as consent when the window is just closed.
    void closeBoxAnswersN() {
        gOverwriteAnswer = "Y";
        Ask("/data/Run1.PRN", [](frmConfirmOverwrite* d) { d->close(); });
        QCOMPARE(gOverwriteAnswer, std::string("N"));
    }

    void escapeAnswersN() {
        gOverwriteAnswer = "Y";
        Ask("/data/Run1.PRN", [](frmConfirmOverwrite* d) { QTest::keyClick(d, Qt::Key_Escape); });
        QCOMPARE(gOverwriteAnswer, std::string("N"));
    }

    void enterPressesYesAndTabReachesNo() {
        gOverwriteAnswer = "N";
        QString firstFocus;
        QString afterTab;
        Ask("/data/Run1.PRN", [&](frmConfirmOverwrite* d) {
            QVERIFY(QTest::qWaitForWindowActive(d));
            QVERIFY(QApplication::focusWidget() != nullptr);
            firstFocus = QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY(QApplication::focusWidget() != nullptr);
            afterTab = QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // back to Yes
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        QCOMPARE(firstFocus, QStringLiteral("cmdYes"));
        QCOMPARE(afterTab, QStringLiteral("cmdNo"));
        QCOMPARE(gOverwriteAnswer, std::string("Y"));
    }

    void twoUsesInARowEachSeeItsOwnAnswer() {
        QString first;
        QString second;
        Ask(
            "/data/Run1.PRN",
            [](frmConfirmOverwrite* d) { QTest::mouseClick(d->cmdYes, Qt::LeftButton); }, &first);
        QCOMPARE(gOverwriteAnswer, std::string("Y"));
        Ask(
            "/data/Run2.BIN",
            [](frmConfirmOverwrite* d) { QTest::mouseClick(d->cmdNo, Qt::LeftButton); }, &second);
        QCOMPARE(gOverwriteAnswer, std::string("N"));
        QCOMPARE(first, QStringLiteral("/data/Run1.PRN"));
        QCOMPARE(second, QStringLiteral("/data/Run2.BIN"));
        Ask("/data/Run3.BIN",
            [](frmConfirmOverwrite* d) { QTest::mouseClick(d->cmdYes, Qt::LeftButton); });
        QCOMPARE(gOverwriteAnswer, std::string("Y"));
    }

    void longPathKeepsItsWholeTextAndNoMessage() {
        const std::string path =
            "/home/lab/instruments/fluorometer 62-RV/2026/December/site A, north shore/"
            "downloads/run 0001 before calibration/Idatalog.PRN";
        gOverwriteFileName = path;
        frmConfirmOverwrite dialog(context_);
        QCOMPARE(dialog.lblExistingFile->text(), QString::fromStdString(path));
        QCOMPARE(dialog.lblExistingFile->toolTip(), QString::fromStdString(path));
        QVERIFY(messages_->texts.isEmpty());
    }
};

QTEST_MAIN(TestConfirmOverwrite)
#include "tst_frmConfirmOverwrite.moc"
