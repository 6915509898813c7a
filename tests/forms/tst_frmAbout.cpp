// frmAbout, and what every window shares with it: a fixed-size dialog's frame, OK as the default
// button with the focus, and the program's message boxes.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "common/AppInfo.h"
#include "forms/Controls.h"
#include "forms/frmAbout.h"
#include "forms/frmComSelect.h"
#include "forms/frmConfirmOverwrite.h"
#include "forms/frmConvertBINtoPRN.h"
#include "forms/frmDownload.h"
#include "support/FormTestSupport.h"

using namespace vsdl::testing;
using vsdl::forms::FromStd;

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

    // Fixed-size modal dialogs offer a close box and nothing to minimise or maximise.
    void dialogsHaveNoMinimiseOrMaximise() {
        frmAbout about(context_);
        frmComSelect comSelect(context_);
        frmConfirmOverwrite confirm(context_);
        frmConvertBINtoPRN convert(context_);
        frmDownload download(context_);
        const auto box = vsdl::forms::QtMessages::Make(nullptr, QStringLiteral("x"));
        for (QWidget* w : std::initializer_list<QWidget*>{&about, &comSelect, &confirm, &convert,
                                                          &download, box.get()}) {
            const Qt::WindowFlags flags = w->windowFlags();
            QVERIFY2(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)),
                     w->metaObject()->className());
            QVERIFY2(flags & Qt::WindowCloseButtonHint, w->metaObject()->className());
        }
    }

    // A message box: OK only, no icon, not even on its button, and room for its whole title.
    void messageBoxesShowOkOnlyWithoutIcons() {
        const auto box = vsdl::forms::QtMessages::Make(nullptr, QStringLiteral("Hi"));
        QCOMPARE(box->windowTitle(), FromStd(vsdl::appinfo::kTitle));
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->buttons().size(), 1);
        QVERIFY(box->button(QMessageBox::Ok)->icon().isNull());
        box->show();
        QFont bold = box->font();
        bold.setBold(true);
        QVERIFY(box->width() >= QFontMetrics(bold).horizontalAdvance(box->windowTitle()) +
                                    vsdl::forms::QtMessages::kTitleBarExtras);
    }
};

QTEST_MAIN(TestAbout)
#include "tst_frmAbout.moc"
