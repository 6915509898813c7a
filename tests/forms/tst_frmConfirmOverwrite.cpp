// The overwrite question: it shows the path it was given and leaves "Y" or "N"; every way of
// closing it other than Yes means No (a stale "Y" must not count as consent), and Enter is Yes.
#include <QApplication>
#include <QPushButton>
#include <QtTest>

#include "common/modGlobals.h"
#include "forms/frmConfirmOverwrite.h"
#include "support/FormTestSupport.h"

using namespace vsdl::testing;

class TestConfirmOverwrite : public QObject, private FormFixture {
    Q_OBJECT

  private slots:
    void eachWayOfClosingLeavesItsAnswer_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("answer");
        const struct {
            const char *how, *before, *answer;
        } rows[] = {{.how = "yes", .before = "N", .answer = "Y"},
                    {.how = "no", .before = "Y", .answer = "N"},
                    {.how = "enter", .before = "N", .answer = "Y"},
                    {.how = "tab enter", .before = "Y", .answer = "N"},
                    {.how = "esc", .before = "Y", .answer = "N"},
                    {.how = "close", .before = "Y", .answer = "N"}};
        for (const auto& [how, before, answer] : rows) {
            QTest::newRow(how) << QString::fromLatin1(how) << QString::fromLatin1(before)
                               << QString::fromLatin1(answer);
        }
    }

    void eachWayOfClosingLeavesItsAnswer() {
        QFETCH(QString, how);
        QFETCH(QString, before);
        QFETCH(QString, answer);
        const std::string path = "/data/Smith, J/Run1.PRN";
        gOverwriteFileName = path;
        gOverwriteAnswer = before.toStdString();
        frmConfirmOverwrite dialog(context_);
        QString shown;
        ExecWhileUp(dialog, [&](QDialog* d) {
            shown = dialog.lblExistingFile->text();
            QVERIFY(QTest::qWaitForWindowActive(d));
            QWidget* focus = QApplication::focusWidget();
            if (how == QStringLiteral("yes")) dialog.cmdYes->click();
            if (how == QStringLiteral("no")) dialog.cmdNo->click();
            if (how.startsWith(QStringLiteral("tab"))) QTest::keyClick(focus, Qt::Key_Tab);
            if (how.endsWith(QStringLiteral("enter")))
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            if (how == QStringLiteral("esc")) QTest::keyClick(d, Qt::Key_Escape);
            if (how == QStringLiteral("close")) d->close();
        });
        QCOMPARE(shown, QString::fromStdString(path));
        QCOMPARE(QString::fromStdString(gOverwriteAnswer), answer);
    }
};

QTEST_MAIN(TestConfirmOverwrite)
#include "tst_frmConfirmOverwrite.moc"
