// frmComSelect: the probed list, the preselected port and what OK stores in serialport.cfg,
// with a fake probe (some ports busy) and with real pseudo-terminals linked as ports/com<n>.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "forms/frmComSelect.h"
#include "support/FormTestSupport.h"

#if __has_include("download/QtSerialPort.h") && !defined(_WIN32)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "download/QtSerialPort.h"
#define VSDL_HAVE_PTY_PROBE 1
#endif

using namespace vsdl::testing;

namespace {

QStringList ListEntries(const QComboBox* combo) {
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i) entries << combo->itemText(i);
    return entries;
}

#ifdef VSDL_HAVE_PTY_PROBE
// A pseudo-terminal whose slave side stands in for a serial device while the object lives.
class Pty {
  public:
    Pty() : fd_(posix_openpt(O_RDWR | O_NOCTTY)) {
        if (fd_ >= 0 && grantpt(fd_) == 0 && unlockpt(fd_) == 0) {
            if (const char* name = ptsname(fd_)) device_ = QString::fromLocal8Bit(name);
        }
    }
    ~Pty() {
        if (fd_ >= 0) ::close(fd_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const QString& device() const { return device_; }

  private:
    int fd_;
    QString device_;
};
#endif

}  // namespace

class TestComSelect : public QObject, private FormFixture {
    Q_OBJECT

  private:
    std::shared_ptr<FakePortState> ports_;

    vsdl::forms::FormContext context() {
        vsdl::forms::FormContext c = context_;
        c.makePortProbe = MakeFakeProbeFactory(ports_);
        return c;
    }

    // Shows the dialog modally, types `text` into the port box (unless null), presses OK and
    // returns whether the dialog closed; a dialog still open afterwards is closed by Esc.
    bool TypeAndPressOk(const vsdl::forms::FormContext& ctx, const QString& text,
                        QString* shownAtLoad = nullptr) {
        frmComSelect dialog(ctx);
        bool closedByOk = false;
        ExecWhileUp(dialog, [&](QDialog* d) {
            if (shownAtLoad != nullptr) *shownAtLoad = dialog.cboPortOptions->currentText();
            if (!text.isNull()) {
                QLineEdit* edit = dialog.cboPortOptions->lineEdit();
                edit->clear();
                QTest::keyClicks(edit, text);
            }
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
            closedByOk = !d->isVisible();
        });
        return closedByOk;
    }

  private slots:
    void init() {
        Renew();
        ports_ = std::make_shared<FakePortState>();
    }

    void layoutAndTexts() {
        frmComSelect dialog(context());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Serial / COM Port Selection"));
        auto* explanation = dialog.findChild<QLabel*>("Label2");
        auto* prompt = dialog.findChild<QLabel*>("Label1");
        auto* combo = dialog.findChild<QComboBox*>("cboPortOptions");
        auto* ok = dialog.findChild<QPushButton*>("cmdOK");
        QVERIFY(explanation && prompt && combo && ok);
        QCOMPARE(explanation->text(),
                 QStringLiteral("This application communicates to the Data Logger Instrument "
                                "through a serial (COM) port."));
        QCOMPARE(prompt->text(), QStringLiteral("Select which serial communications (COM) port "
                                                "this application should use:"));
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(combo->isEditable());
        QVERIFY(ok->isDefault());
        QVERIFY(dialog.findChild<QPushButton*>("cmdCancel") == nullptr);
        // Nothing overlaps and every text has the room it needs.
        for (QLabel* l : {explanation, prompt}) {
            QVERIFY2(l->heightForWidth(l->width()) <= l->height() ||
                         l->fontMetrics().horizontalAdvance(l->text()) <= l->width(),
                     qPrintable(l->objectName()));
        }
        QVERIFY(explanation->geometry().bottom() < prompt->geometry().top());
        QVERIFY(prompt->geometry().bottom() < combo->geometry().top());
        QVERIFY(combo->geometry().bottom() < ok->geometry().top());
        QVERIFY(dialog.rect().contains(ok->geometry()));
    }

    void allPortsFreeAreListedInOrder() {
        ports_->openable = {1, 2, 3, 4, 5};
        frmComSelect dialog(context());
        QCOMPARE(ListEntries(dialog.cboPortOptions), QStringList({"1", "2", "3", "4", "5"}));
        QCOMPARE(dialog.cboPortOptions->currentText(), QStringLiteral("1"));
        QCOMPARE(ports_->probed, std::vector<int>({1, 2, 3, 4, 5}));
        QCOMPARE(ports_->openNow, 0);
        QCOMPARE(ports_->maxOpenAtOnce, 1);
        QVERIFY(messages_->texts.isEmpty());
    }

    void busyPortsAreLeftOutWithoutMessage() {
        ports_->openable = {1, 3, 5, 7};  // 2 and 4 are held by another program; 7 is never probed
        frmComSelect dialog(context());
        QCOMPARE(ListEntries(dialog.cboPortOptions), QStringList({"1", "3", "5"}));
        QCOMPARE(ports_->openNow, 0);
        QVERIFY(messages_->texts.isEmpty());
    }

    void noPortAtAllStillShowsTheSavedPort() {
        folder_->write("serialport.cfg", "4\r\n");
        frmComSelect dialog(context());
        QCOMPARE(dialog.cboPortOptions->count(), 0);
        QCOMPARE(dialog.cboPortOptions->currentText(), QStringLiteral("4"));
        QVERIFY(messages_->texts.isEmpty());
    }

    void noProbeFactoryListsNothing() {
        frmComSelect dialog(context_);
        QCOMPARE(dialog.cboPortOptions->count(), 0);
        QCOMPARE(dialog.cboPortOptions->currentText(), QStringLiteral("1"));
    }

    void savedPortIsPreselected_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("shown");
        QTest::newRow("listed") << QByteArray("3\r\n") << "3";
        QTest::newRow("not listed") << QByteArray("7\r\n") << "7";
        QTest::newRow("first field only") << QByteArray("2,5\r\n9\r\n") << "2";
        QTest::newRow("only CR LF") << QByteArray("\r\n") << "1";
        QTest::newRow("empty") << QByteArray() << "1";
    }

    void savedPortIsPreselected() {
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        ports_->openable = {1, 2, 3};
        QVERIFY(folder_->write("serialport.cfg", file));
        frmComSelect dialog(context());
        QCOMPARE(dialog.cboPortOptions->currentText(), shown);
        QCOMPARE(ListEntries(dialog.cboPortOptions), QStringList({"1", "2", "3"}));
        const int index = dialog.cboPortOptions->findText(shown);
        if (index >= 0) QCOMPARE(dialog.cboPortOptions->currentIndex(), index);
    }

    void missingFileShowsOne() {
        ports_->openable = {2, 3};
        frmComSelect dialog(context());
        QCOMPARE(dialog.cboPortOptions->currentText(), QStringLiteral("1"));
        QVERIFY(!folder_->exists("serialport.cfg"));
    }

    void okStoresTheNumber_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("listed") << "3" << QByteArray("3\r\n");
        QTest::newRow("leading zero") << "03" << QByteArray("3\r\n");
        QTest::newRow("blanks around") << " 3 " << QByteArray("3\r\n");
        QTest::newRow("above 5") << "12" << QByteArray("12\r\n");
        // What the download would make of the text: halves to the even neighbour.
        QTest::newRow("2.5") << "2.5" << QByteArray("2\r\n");
        QTest::newRow("3.5") << "3.5" << QByteArray("4\r\n");
        QTest::newRow("plus sign") << "+3" << QByteArray("3\r\n");
        QTest::newRow("3.0") << "3.0" << QByteArray("3\r\n");
        QTest::newRow("letters after") << "3x" << QByteArray("3\r\n");
    }

    void okStoresTheNumber() {
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        ports_->openable = {1, 2, 3};
        folder_->write("serialport.cfg", "1\r\n");
        QVERIFY(TypeAndPressOk(context(), typed));
        QCOMPARE(folder_->read("serialport.cfg"), stored);
        QVERIFY(messages_->texts.isEmpty());
    }

    void okWithoutChangeStoresTheShownPort() {
        ports_->openable = {1, 2};
        folder_->write("serialport.cfg", "7\r\n");
        QString shown;
        QVERIFY(TypeAndPressOk(context(), QString(), &shown));
        QCOMPARE(shown, QStringLiteral("7"));
        QCOMPARE(folder_->read("serialport.cfg"), QByteArray("7\r\n"));
        // No file at all: OK stores the proposed "1".
        init();
        QVERIFY(TypeAndPressOk(context(), QString()));
        QCOMPARE(folder_->read("serialport.cfg"), QByteArray("1\r\n"));
    }

    void pickingAListEntryStoresIt() {
        ports_->openable = {1, 4};
        frmComSelect dialog(context());
        ExecWhileUp(dialog, [&](QDialog*) {
            dialog.cboPortOptions->setCurrentIndex(dialog.cboPortOptions->findText("4"));
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        });
        QCOMPARE(folder_->read("serialport.cfg"), QByteArray("4\r\n"));
    }

    void emptyTextWritesNothingAndCloses() {
        folder_->write("serialport.cfg", "5,old\r\n");
        QVERIFY(TypeAndPressOk(context(), QStringLiteral("")));
        QCOMPARE(folder_->read("serialport.cfg"), QByteArray("5,old\r\n"));
        QVERIFY(messages_->texts.isEmpty());
    }

    void textThatIsNotANumberKeepsTheDialogOpen_data() {
        QTest::addColumn<QString>("typed");
        for (const char* t : {"COM3", "0", "-1", "   "}) QTest::newRow(t) << t;
    }

    void textThatIsNotANumberKeepsTheDialogOpen() {
        QFETCH(QString, typed);
        folder_->write("serialport.cfg", "2\r\n");
        QVERIFY(!TypeAndPressOk(context(), typed));
        QCOMPARE(messages_->texts,
                 QStringList({QStringLiteral("The COM port must be a number, such as 1 or 3.")}));
        QCOMPARE(folder_->read("serialport.cfg"), QByteArray("2\r\n"));
    }

    void failedWriteNamesTheFileAndKeepsTheDialogOpen() {
        // The program folder is a regular file: nothing can be written below it, even as root.
        folder_->write("not-a-folder", "x");
        vsdl::forms::FormContext ctx = context();
        ctx.programFolder = folder_->file("not-a-folder") + QDir::separator();
        QVERIFY(!TypeAndPressOk(ctx, QStringLiteral("3")));
        QCOMPARE(messages_->texts.size(), 1);
        const QString message = messages_->texts.first();
        QVERIFY2(message.startsWith("The file " + ctx.programFolder +
                                    "serialport.cfg could not be written.\n"),
                 qPrintable(message));
        QVERIFY2(message.contains("Not a directory"), qPrintable(message));
        QCOMPARE(folder_->read("not-a-folder"), QByteArray("x"));
    }

    void escapeClosesWithoutWriting() {
        folder_->write("serialport.cfg", "2\r\n");
        frmComSelect dialog(context());
        ExecWhileUp(dialog, [&](QDialog* d) {
            dialog.cboPortOptions->lineEdit()->setText("4");
            QTest::keyClick(d, Qt::Key_Escape);
            QVERIFY(!d->isVisible());
        });
        QCOMPARE(folder_->read("serialport.cfg"), QByteArray("2\r\n"));
        // The close box likewise.
        frmComSelect again(context());
        ExecWhileUp(again, [&](QDialog* d) {
            again.cboPortOptions->lineEdit()->setText("5");
            d->close();
        });
        QCOMPARE(folder_->read("serialport.cfg"), QByteArray("2\r\n"));
    }

    // Focus starts in the port text; Enter there presses OK, and the typed text does not
    // become a list entry.
    void enterInThePortTextPressesOk() {
        ports_->openable = {1};
        frmComSelect dialog(context());
        QString focused;
        QStringList listAfterEnter;
        const int result = ExecWhileUp(dialog, [&](QDialog* d) {
            QVERIFY(QTest::qWaitForWindowActive(d));
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus != nullptr);
            focused = focus->objectName();
            QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(focus, "9");
            listAfterEnter = ListEntries(dialog.cboPortOptions);
            QTest::keyClick(focus, Qt::Key_Return);
            listAfterEnter = ListEntries(dialog.cboPortOptions);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(focused, QStringLiteral("cboPortOptions"));
        QCOMPARE(folder_->read("serialport.cfg"), QByteArray("9\r\n"));
        QCOMPARE(listAfterEnter, QStringList({"1"}));
    }

    void tabGoesFromThePortToOk() {
        frmComSelect dialog(context());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus != nullptr);
        QTest::keyClick(focus, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dialog.cmdOK));
    }

    void listEntriesNameTheirDevice() {
        ports_->openable = {1, 2};
        ports_->devices = {{1, "/dev/ttyUSB0"}, {2, "/dev/ttyS1"}};
        frmComSelect dialog(context());
        QCOMPARE(dialog.cboPortOptions->itemData(0, Qt::ToolTipRole).toString(),
                 QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(dialog.cboPortOptions->itemData(1, Qt::ToolTipRole).toString(),
                 QStringLiteral("/dev/ttyS1"));
        QCOMPARE(ListEntries(dialog.cboPortOptions), QStringList({"1", "2"}));
    }

    // Real devices: pseudo-terminals linked as ports/com1 and com3, com2 held open by another
    // user, com4 and com5 links to devices that are gone.
    // (The slot is always declared: moc does not see the include check.)
    void realPortsThroughTheSerialLayer() {
#ifndef VSDL_HAVE_PTY_PROBE
        QSKIP("no pseudo-terminals or no Qt serial port layer on this system");
#else
        Pty com1;
        Pty com2;
        Pty com3;
        QVERIFY(!com1.device().isEmpty() && !com2.device().isEmpty() && !com3.device().isEmpty());
        const QString ports = folder_->file("ports");
        QVERIFY(QDir().mkpath(ports));
        QVERIFY(QFile::link(com1.device(), ports + "/com1"));
        QVERIFY(QFile::link(com2.device(), ports + "/com2"));
        QVERIFY(QFile::link(com3.device(), ports + "/com3"));
        QVERIFY(QFile::link(folder_->file("gone4"), ports + "/com4"));
        QVERIFY(QFile::link(folder_->file("gone5"), ports + "/com5"));

        const QString programFolder = folder_->path();
        vsdl::download::QtPortProbe holder(programFolder);
        holder.SetPortNumber(2);
        holder.Open();
        QVERIFY(holder.IsOpen());

        vsdl::forms::FormContext ctx = context_;
        ctx.makePortProbe = [programFolder]() -> std::unique_ptr<vsdl::download::IPortProbe> {
            return std::make_unique<vsdl::download::QtPortProbe>(programFolder);
        };
        {
            frmComSelect dialog(ctx);
            QCOMPARE(ListEntries(dialog.cboPortOptions), QStringList({"1", "3"}));
            QVERIFY(dialog.cboPortOptions->itemData(0, Qt::ToolTipRole)
                        .toString()
                        .contains(QStringLiteral("com1")));
            QCOMPARE(dialog.cboPortOptions->currentText(), QStringLiteral("1"));
            QVERIFY(messages_->texts.isEmpty());
        }
        // The probe closed what it opened: with com2 released, all three open again.
        holder.Close();
        frmComSelect again(ctx);
        QCOMPARE(ListEntries(again.cboPortOptions), QStringList({"1", "2", "3"}));
#endif
    }
};

QTEST_MAIN(TestComSelect)
#include "tst_frmComSelect.moc"
