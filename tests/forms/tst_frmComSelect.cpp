// The port selection dialog: the probe of the ports through the real serial layer over
// pseudo-terminals, the saved port it proposes, what OK stores or refuses, and Esc.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "download/QtSerialPort.h"
#include "forms/frmComSelect.h"
#include "instrument/PtySimulator.h"
#include "instrument/SimulatorPlan.h"
#include "support/FormTestSupport.h"

using namespace vsdl::testing;

namespace {

QStringList ListEntries(const QComboBox* combo) {
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i) entries << combo->itemText(i);
    return entries;
}

}  // namespace

class TestComSelect : public QObject, private FormFixture {
    Q_OBJECT

    // Types `text` into the port box (unless null) and presses Enter; whether the dialog closed.
    bool TypeAndPressEnter(const QString& text) {
        frmComSelect dialog(context_);
        bool closed = false;
        ExecWhileUp(dialog, [&](QDialog* d) {
            if (!text.isNull()) {
                dialog.cboPortOptions->lineEdit()->clear();
                QTest::keyClicks(dialog.cboPortOptions->lineEdit(), text);
            }
            // The focus starts in the port text; Enter there presses OK.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            closed = !d->isVisible();
        });
        return closed;
    }

  private slots:
    void init() {
        Renew();
        context_.makePortProbe = MakeNoPortProbes();
    }

    void okStoresWhatTheDownloadWouldUse_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");  // empty: refused, the old file kept
        // The download's rule for a port text (tested with the settings), once each way.
        QTest::newRow("above 5") << " 12 " << QByteArray("12\r\n");
        QTest::newRow("2.5 is port 2") << "2.5" << QByteArray("2\r\n");
        QTest::newRow("any") << "ANY" << QByteArray("any\r\n");
        for (const char* t : {"COM3", "0"}) QTest::newRow(t) << t << QByteArray();
        QTest::newRow("empty: nothing written") << "" << QByteArray("old\r\n");
        QTest::newRow("unchanged: the shown 7") << QString() << QByteArray("7\r\n");
    }

    void okStoresWhatTheDownloadWouldUse() {
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        folder_->write(QStringLiteral("serialport.cfg"), typed.isNull() ? "7,old\r\n" : "old\r\n");
        const bool closed = TypeAndPressEnter(typed);
        QCOMPARE(closed, !stored.isEmpty());
        QCOMPARE(folder_->read(QStringLiteral("serialport.cfg")),
                 stored.isEmpty() ? QByteArray("old\r\n") : stored);
        QCOMPARE(messages_->texts,
                 stored.isEmpty() ? QStringList{QStringLiteral(
                                        "The COM port must be a number, such as 1 or 3, or any.")}
                                  : QStringList{});
    }

    void aFailedWriteIsSaidAndEscKeepsTheFile() {
        // The program folder is a regular file: nothing can be written below it, even as root.
        folder_->write(QStringLiteral("not-a-folder"), "x");
        const QString folder = context_.dataFolder;
        context_.dataFolder = folder_->file(QStringLiteral("not-a-folder")) + QDir::separator();
        QVERIFY(!TypeAndPressEnter(QStringLiteral("3")));
        QVERIFY2(messages_->texts.value(0).startsWith(
                     QStringLiteral("The file ") + context_.dataFolder +
                     QStringLiteral("serialport.cfg could not be written.\n")),
                 qPrintable(messages_->texts.value(0)));
        context_.dataFolder = folder;
        folder_->write(QStringLiteral("serialport.cfg"), "2\r\n");
        frmComSelect dialog(context_);
        ExecWhileUp(dialog, [&](QDialog* d) {
            dialog.cboPortOptions->lineEdit()->setText(QStringLiteral("4"));
            QTest::keyClick(d, Qt::Key_Escape);
        });
        QCOMPARE(folder_->read(QStringLiteral("serialport.cfg")), QByteArray("2\r\n"));
    }

    // Real devices: pseudo-terminals linked as ports/com1 and com3, com2 held open by another
    // program, com4 a link to a device that is gone.
    void realPortsThroughTheSerialLayer() {
        std::vector<std::unique_ptr<vsdl::instrument::PtySimulator>> ptys;
        for (int n : {1, 2, 3}) {
            std::string error;
            const QByteArray image = BuildBin(
                QStringLiteral("marker untimed\nsetcount 1\nset 1\nreading 1.0\ntrailer\n"));
            vsdl::instrument::SimulatorOptions options;
            options.image.assign(image.begin(), image.end());
            ptys.push_back(vsdl::instrument::PtySimulator::Create(
                folder_->file(QStringLiteral("ports/com%1").arg(n)).toStdString(), options, error));
            QVERIFY2(ptys.back(), error.c_str());
        }
        QVERIFY(QFile::link(folder_->file(QStringLiteral("gone4")),
                            folder_->file(QStringLiteral("ports/com4"))));
        const std::vector<std::string> folders{folder_->path().toStdString()};
        vsdl::download::QtPortProbe holder(folders);
        holder.SetPortNumber(2);
        holder.Open();
        QVERIFY(holder.IsOpen());
        context_.makePortProbe = [folders]() -> std::unique_ptr<vsdl::download::IPortProbe> {
            return std::make_unique<vsdl::download::QtPortProbe>(folders);
        };
        QCOMPARE(ListEntries(frmComSelect(context_).cboPortOptions).mid(0, 2),
                 (QStringList{"1", "3"}));
        // The probe closed what it opened: with com2 released, all three open again.
        holder.Close();
        QCOMPARE(ListEntries(frmComSelect(context_).cboPortOptions).mid(0, 3),
                 (QStringList{"1", "2", "3"}));
    }
};

QTEST_MAIN(TestComSelect)
#include "tst_frmComSelect.moc"
