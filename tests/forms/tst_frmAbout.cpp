// frmAbout: the title, the version text for several versions, the description with the web
// address, and OK / Enter closing it; and what every window shares with it: a fixed-size dialog's
// frame, and the program's message boxes.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <QMessageBox>

#include "common/AppInfo.h"
#include "forms/frmAbout.h"
#include "forms/frmComSelect.h"
#include "forms/frmConfirmOverwrite.h"
#include "forms/frmConvertBINtoPRN.h"
#include "forms/frmDownload.h"
#include "support/FormTestSupport.h"

using namespace vsdl::testing;
using vsdl::appinfo::Version;

class TestAbout : public QObject, private FormFixture {
    Q_OBJECT

  private slots:
    void versionText_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("expected");
        QTest::newRow("revision 0 gives two parts") << 2 << 1 << 0 << "Version 2.1";
        QTest::newRow("revision 3 is appended") << 2 << 1 << 3 << "Version 2.1.3";
        QTest::newRow("minor 10 in full") << 2 << 10 << 0 << "Version 2.10";
        QTest::newRow("minor 10, revision 3") << 2 << 10 << 3 << "Version 2.10.3";
        QTest::newRow("minor 0") << 3 << 0 << 0 << "Version 3.0";
    }

    void versionText() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, expected);
        QCOMPARE(
            QString::fromStdString(vsdl::appinfo::VersionText(Version{major, minor, revision})),
            expected);
    }

    void showsTitleAndThisVersion() {
        frmAbout dialog(context_);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About"));
        auto* title = dialog.findChild<QLabel*>("lblTitle1");
        auto* version = dialog.findChild<QLabel*>("lblTitle2");
        QVERIFY(title && version);
        QCOMPARE(title->text(), QStringLiteral("Valdor Sensing Download Program"));
        // This release is 2.1.0: the revision 0 is not shown.
        const Version current = vsdl::appinfo::CurrentVersion();
        QCOMPARE(current.major, 2);
        QCOMPARE(current.minor, 1);
        QCOMPARE(current.revision, 0);
        QCOMPARE(version->text(), QStringLiteral("Version 2.1"));
        QVERIFY(title->alignment() & Qt::AlignHCenter);
        QVERIFY(version->alignment() & Qt::AlignHCenter);
    }

    void descriptionEndsWithTheAddressAndAFullStop() {
        frmAbout dialog(context_);
        auto* description = dialog.findChild<QLabel*>("Label1");
        QVERIFY(description);
        // The address starts a line of its own; apart from that line break the text is
        // the description word for word.
        QString text = description->text();
        QCOMPARE(text.count(QLatin1Char('\n')), 1);
        QVERIFY(text.endsWith(QStringLiteral(" \nhttps://www.valdorsensing.example/.")));
        QCOMPARE(text.remove(QLatin1Char('\n')),
                 QStringLiteral(
                     "This program allows the downloading of Internal Data Logger Memory from the "
                     "Valdor Sensing Model 62-RV Fluorometer. The download creates a file with a "
                     "BIN extension and the conversion produces files with PRN and CSV "
                     "extensions.  For more information go to our web page at "
                     "https://www.valdorsensing.example/."));
        QCOMPARE(description->textFormat(), Qt::PlainText);
    }

    // Every text fits its label at the forms' font: nothing is cut off at an edge or the bottom.
    void textsFitTheirLabels() {
        frmAbout dialog(context_);
        for (QLabel* l : {dialog.lblTitle1, dialog.lblTitle2}) {
            QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(),
                     qPrintable(l->objectName()));
            QVERIFY2(l->fontMetrics().height() <= l->height(), qPrintable(l->objectName()));
        }
        QVERIFY(dialog.Label1->wordWrap());
        QVERIFY(dialog.Label1->heightForWidth(dialog.Label1->width()) <= dialog.Label1->height());
        QVERIFY(dialog.Label1->geometry().bottom() < dialog.cmdOK->geometry().top());
        QVERIFY(dialog.rect().contains(dialog.cmdOK->geometry()));
    }

    void okCloses() {
        frmAbout dialog(context_);
        QCOMPARE(
            ExecWhileUp(dialog, [&](QDialog*) { QTest::mouseClick(dialog.cmdOK, Qt::LeftButton); }),
            int(QDialog::Accepted));
        QVERIFY(messages_->texts.isEmpty());
    }

    void enterPressesOk() {
        frmAbout dialog(context_);
        QString focused;
        const int result = ExecWhileUp(dialog, [&](QDialog* d) {
            QVERIFY(QTest::qWaitForWindowActive(d));
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus != nullptr);
            focused = focus->objectName();
            QTest::keyClick(focus, Qt::Key_Return);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(focused, QStringLiteral("cmdOK"));
        QVERIFY(dialog.cmdOK->isDefault());
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
        QCOMPARE(box->windowTitle(), QStringLiteral("Valdor Sensing Download Program"));
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
