// frmAbout: OK is the default button with the focus, and Enter closes the dialog.
#include <QApplication>
#include <QPushButton>
#include <QtTest>

#include "forms/frmAbout.h"
#include "support/FormTestSupport.h"

using namespace vsdl::testing;

class TestAbout : public QObject, private FormFixture {
    Q_OBJECT

  private slots:
    void okHasTheFocusAndEnterCloses() {
        frmAbout dialog(context_);
        QWidget* focused = nullptr;
        const int result = ExecWhileUp(dialog, [&](QDialog* d) {
            QVERIFY(QTest::qWaitForWindowActive(d));
            focused = QApplication::focusWidget();
            QTest::keyClick(focused, Qt::Key_Return);
        });
        QCOMPARE(focused, dialog.cmdOK);
        QCOMPARE(result, int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestAbout)
#include "tst_frmAbout.moc"
