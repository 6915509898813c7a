// The real VSDownload on a virtual X display: its main window appears with the program's
// caption, and File > Exit, pressed on the keyboard, ends it cleanly.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class tst_smoke : public QObject {
    Q_OBJECT

  private slots:
    void mainWindowAppearsAndExits();
};

void tst_smoke::mainWindowAppearsAndExits() {
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty()) QSKIP("xvfb-run is not installed (scripts/install-deps installs it)");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        QSKIP("xdotool is not installed (scripts/install-deps installs it)");
    }

    // A program folder of its own, so no settings of the build folder are read.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString program = QDir(folder.path()).filePath(QStringLiteral("VSDownload"));
    QVERIFY(QFile::copy(QStringLiteral(VSDOWNLOAD_EXE), program));
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));  // the real display, not offscreen
    // Under the sanitizers: the desktop libraries' own leaks are not the program's.
    QString lsan = env.value(QStringLiteral("LSAN_OPTIONS"));
    if (!lsan.isEmpty()) lsan += QLatin1Char(':');
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               lsan + QStringLiteral("suppressions=") + QStringLiteral(LSAN_SUPPRESSIONS));
    run.setProcessEnvironment(env);
    run.start(xvfbRun, {QStringLiteral("-a"), QStringLiteral(SMOKE_SCRIPT), program});
    QVERIFY(run.waitForStarted(10000));
    if (!run.waitForFinished(120000)) {
        run.kill();
        run.waitForFinished(5000);
        QFAIL("the smoke run did not end within two minutes");
    }
    const QString output = QString::fromLocal8Bit(run.readAll());
    QVERIFY2(output.contains(QStringLiteral("caption: Valdor Sensing Download Program Version ")),
             qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("exit: 0\n")), qPrintable(output));
    QCOMPARE(run.exitCode(), 0);
    // Nothing was written into the program folder by starting and ending.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("VSDownload")});
}

QTEST_GUILESS_MAIN(tst_smoke)
#include "tst_smoke.moc"
