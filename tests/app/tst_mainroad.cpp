// The main window and the whole road: F5 on frmMain against the instrument simulator, the
// download saved, and the conversion of the saved file started without another click.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <stdexcept>

#include "RoadSupport.h"
#include "common/modGlobals.h"
#include "download/QtSerialPort.h"
#include "forms/Geometry.h"
#include "forms/frmMain.h"
#include "support/FormTestSupport.h"

using namespace vsdl::testing;

namespace {

const QString kCaption = QStringLiteral("Valdor Sensing Download Program Version 2.1");
const QString kPortMessage =
    QStringLiteral("Error: COM port #1 is not available.  Please change and try again.");

QString Sample(const QString& name) {
    return QDir(QStringLiteral(VSDL_SAMPLES_DIR)).filePath(name);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Text(const QDialog* dialog, const char* label) {
    const auto* widget = dialog->findChild<QLabel*>(QLatin1String(label));
    return widget != nullptr ? widget->text() : QStringLiteral("<no %1>").arg(label);
}

QPushButton* Button(const QObject* owner, const char* name) {
    return owner->findChild<QPushButton*>(QLatin1String(name));
}

// One program folder with recorders and the real serial adapter, as the program builds it.
struct Program {
    TempProgramFolder folder;
    MessageRecorder messages;
    ScriptedFileDialogs dialogs;
    vsdl::forms::FormContext context;

    Program() {
        QDir(folder.path()).mkpath(QStringLiteral("ports"));
        context = MakeContext(folder, messages, dialogs);
        const QString path = folder.path();
        context.makeDownloadPort = [path]() -> std::unique_ptr<vsdl::download::IDownloadPort> {
            return std::make_unique<vsdl::download::QtDownloadPort>(path);
        };
        // Serial Port Setup probes COM1 to COM5; the machine's own serial ports stay untouched.
        auto probes = std::make_shared<FakePortState>();
        probes->openable = {1};
        context.makePortProbe = MakeFakeProbeFactory(probes);
    }
    QString com1() const { return folder.file(QStringLiteral("ports/com1")); }
};

// The save phase of the download dialog: its filename frame is showing.
QDialog* DownloadInSavePhase() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || qstrcmp(dialog->metaObject()->className(), "frmDownload") != 0) {
        return nullptr;
    }
    auto* frame = dialog->findChild<QWidget*>(QStringLiteral("famGetFilename"));
    return frame != nullptr && frame->isVisible() ? dialog : nullptr;
}

// Enter, as the user presses it: on the widget that has the focus.
void PressEnter(QDialog* dialog) {
    QWidget* target = dialog->focusWidget() != nullptr ? dialog->focusWidget() : dialog;
    QTest::keyClick(target, Qt::Key_Return);
}

}  // namespace

// The roads through a port need ports/com<n> links and pseudo-terminals (POSIX).
#ifdef _WIN32
#define SKIP_WITHOUT_PTY_PORTS() QSKIP("COM ports are links to pseudo-terminals only on POSIX")
#else
#define SKIP_WITHOUT_PTY_PORTS() \
    do {                         \
    } while (false)
#endif

class tst_mainroad : public QObject {
    Q_OBJECT

  private slots:
    void init() { modGlobals::Reset(); }

    void firstStartWithoutLastBin();
    void startUpReadsLastBin();
    void controlsAndMenus();
    void f4EqualsTheButton();
    void toolsEntriesPressTheirButtons();
    void wholeRoadByKeyboard();
    void cancelledRoadOpensNoConversion();
    void portThatCannotBeOpened();
    void downloadKeptUnderTemporaryName();
    void failureOpeningTheDownloadEndsTheRoadQuietly();
    void exitEndsTheProgram();

  private:
    static bool ShowActive(QWidget& window) {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
};

void tst_mainroad::firstStartWithoutLastBin() {
    Program program;
    gLastBinPath = "left over";
    frmMain window(program.context);
    QCOMPARE(window.windowTitle(), kCaption);
    QVERIFY(gLastBinPath.empty());

    DialogWatcher watcher;
    QString folderText, nameText;
    bool okEnabled = true;
    watcher.on("frmConvertBINtoPRN", [&](QDialog* dialog) {
        folderText = Text(dialog, "lblFullPath");
        nameText = Text(dialog, "lblFilename");
        okEnabled = Button(dialog, "cmdOK")->isEnabled();
        Button(dialog, "cmdCancel")->click();
    });
    window.cmdConvertBINtoPRN->click();
    QCOMPARE(watcher.shown, QStringList{QStringLiteral("frmConvertBINtoPRN")});
    QCOMPARE(gRunMode, std::int16_t{2});
    QCOMPARE(folderText, QString());
    QCOMPARE(nameText, QString());
    QVERIFY(!okEnabled);
    QVERIFY(program.messages.texts.isEmpty());
    QVERIFY(!program.folder.exists(QStringLiteral("lastbin.cfg")));
}

void tst_mainroad::startUpReadsLastBin() {
    Program program;
    const QString saved = program.folder.file(QStringLiteral("run, 7.BIN"));
    QVERIFY(program.folder.write(QStringLiteral("lastbin.cfg"), saved.toUtf8() + "\r\n"));
    frmMain window(program.context);
    QCOMPARE(QString::fromStdString(gLastBinPath), saved);

    DialogWatcher watcher;
    QString nameText;
    watcher.on("frmConvertBINtoPRN", [&](QDialog* dialog) {
        nameText = Text(dialog, "lblFilename");
        Button(dialog, "cmdCancel")->click();
    });
    window.cmdConvertBINtoPRN->click();
    QCOMPARE(nameText, QStringLiteral("run, 7.BIN"));
}

void tst_mainroad::controlsAndMenus() {
    Program program;
    frmMain window(program.context);
    QCOMPARE(window.objectName(), QStringLiteral("frmMain"));
    const QList<QPair<QPushButton*, QString>> buttons = {
        {window.cmdSerialPortSetup, QStringLiteral("Serial Port Setup")},
        {window.cmdDownload, QStringLiteral("Download Data From Instrument To File")},
        {window.cmdConvertBINtoPRN, QStringLiteral("Convert Downloaded Data File to ASCII File")},
        {window.cmdAllSteps, QStringLiteral("Download and Convert Data from Instrument to File")},
    };
    for (const auto& [button, caption] : buttons) {
        QVERIFY(button != nullptr);
        QCOMPARE(button->text(), caption);
        QVERIFY(window.findChild<QPushButton*>(button->objectName()) == button);
    }
    QCOMPARE(window.Label1->text(), QStringLiteral("-OR-"));
    using vsdl::forms::TwipsRect;
    QCOMPARE(window.cmdSerialPortSetup->geometry(), TwipsRect(240, 720, 3615, 375, &window));
    QCOMPARE(window.cmdDownload->geometry(), TwipsRect(240, 1200, 3615, 375, &window));
    QCOMPARE(window.cmdConvertBINtoPRN->geometry(), TwipsRect(240, 1680, 3615, 375, &window));
    QCOMPARE(window.Label1->geometry(), TwipsRect(4080, 1440, 495, 240, &window));
    QCOMPARE(window.cmdAllSteps->geometry(), TwipsRect(4800, 1200, 3975, 855, &window));
    // Every control lies in the client area below the menu bar.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.cmdAllSteps->parentWidget(), window.centralWidget());
    QVERIFY(window.centralWidget()->geometry().top() >= window.menuBar()->geometry().bottom());
    QCOMPARE(window.centralWidget()->palette().color(QPalette::Window), QColor(128, 128, 255));
    // The big button is right of the "-OR-" label, the three others left of it.
    QVERIFY(window.Label1->geometry().right() < window.cmdAllSteps->geometry().left());
    QVERIFY(window.cmdDownload->geometry().right() < window.Label1->geometry().left());
    QVERIFY(window.centralWidget()->rect().contains(window.cmdAllSteps->geometry()));

    const QStringList menus = {QStringLiteral("&File"), QStringLiteral("&Tools"),
                               QStringLiteral("&Help")};
    QStringList titles;
    for (QAction* action : window.menuBar()->actions()) titles << action->text();
    QCOMPARE(titles, menus);
    QCOMPARE(window.mnuFileExit->text(), QStringLiteral("E&xit"));
    QCOMPARE(window.mnuHelpAbout->text(), QStringLiteral("&About"));
    const QList<std::tuple<QAction*, QString, Qt::Key>> tools = {
        {window.mnuToolsSerialPortSetup, QStringLiteral("Serial &Port Setup"), Qt::Key_F2},
        {window.mnuToolsDownload, QStringLiteral("&Download"), Qt::Key_F3},
        {window.mnuToolsConvert, QStringLiteral("&Convert"), Qt::Key_F4},
        {window.mnuToolsDownloadAndConvert, QStringLiteral("Download &and Convert"), Qt::Key_F5},
    };
    QCOMPARE(window.mnuTools->actions().size(), tools.size());
    for (int i = 0; i < tools.size(); ++i) {
        const auto& [action, caption, key] = tools[i];
        QCOMPARE(window.mnuTools->actions()[i], action);
        QCOMPARE(action->text(), caption);
        QCOMPARE(action->shortcut(), QKeySequence(key));
    }
}

void tst_mainroad::f4EqualsTheButton() {
    Program program;
    const QString saved = program.folder.file(QStringLiteral("RUN1.BIN"));
    QVERIFY(program.folder.write(QStringLiteral("lastbin.cfg"), saved.toUtf8() + "\r\n"));
    frmMain window(program.context);
    QVERIFY(ShowActive(window));

    auto observe = [&](const std::function<void()>& press) {
        DialogWatcher watcher;
        QStringList seen;
        watcher.on("frmConvertBINtoPRN", [&](QDialog* dialog) {
            seen << QString::number(gRunMode) << Text(dialog, "lblFullPath")
                 << Text(dialog, "lblFilename")
                 << QString::number(Button(dialog, "cmdOK")->isEnabled());
            Button(dialog, "cmdCancel")->click();
        });
        gRunMode = 0;
        press();
        return watcher.shown + seen;
    };
    QSignalSpy clicks(window.cmdConvertBINtoPRN, &QPushButton::clicked);
    const QStringList byKey = observe([&] { QTest::keyClick(&window, Qt::Key_F4); });
    QCOMPARE(clicks.count(), 1);
    const QStringList byButton = observe([&] { window.cmdConvertBINtoPRN->click(); });
    QCOMPARE(byKey, byButton);
    QCOMPARE(byKey,
             (QStringList{QStringLiteral("frmConvertBINtoPRN"), QStringLiteral("2"),
                          program.folder.path(), QStringLiteral("RUN1.BIN"), QStringLiteral("1")}));
}

void tst_mainroad::toolsEntriesPressTheirButtons() {
    SKIP_WITHOUT_PTY_PORTS();
    Program program;
    // A link whose target is gone: COM1 cannot be opened, so the download ends at its message.
    QVERIFY(QFile::link(program.folder.file(QStringLiteral("gone")), program.com1()));
    frmMain window(program.context);
    DialogWatcher watcher;
    for (const char* name : {"frmComSelect", "frmConvertBINtoPRN", "frmAbout", "frmDownload"}) {
        watcher.on(name, [](QDialog* dialog) { dialog->reject(); });
    }
    const QList<QPair<QAction*, QPushButton*>> pairs = {
        {window.mnuToolsSerialPortSetup, window.cmdSerialPortSetup},
        {window.mnuToolsDownload, window.cmdDownload},
        {window.mnuToolsConvert, window.cmdConvertBINtoPRN},
    };
    for (const auto& [action, button] : pairs) {
        QSignalSpy clicks(button, &QPushButton::clicked);
        action->trigger();
        QCOMPARE(clicks.count(), 1);
    }
    QCOMPARE(watcher.shown,
             (QStringList{QStringLiteral("frmComSelect"), QStringLiteral("frmConvertBINtoPRN")}));
    QCOMPARE(program.messages.texts.size(), 1);
    QVERIFY2(program.messages.texts[0].startsWith(kPortMessage),
             qPrintable(program.messages.texts[0]));

    window.mnuHelpAbout->trigger();
    QCOMPARE(watcher.shown.last(), QStringLiteral("frmAbout"));

    // Download and Convert with the port gone: the port message again, and nothing more.
    QSignalSpy allSteps(window.cmdAllSteps, &QPushButton::clicked);
    window.mnuToolsDownloadAndConvert->trigger();
    QCOMPARE(allSteps.count(), 1);
    QCOMPARE(program.messages.texts.size(), 2);
    QCOMPARE(gRunMode, std::int16_t{1});
}

void tst_mainroad::wholeRoadByKeyboard() {
    SKIP_WITHOUT_PTY_PORTS();
    Program program;
    SimulatorProcess simulator(Sample(QStringLiteral("DEMO.BIN")), program.com1());
    QVERIFY2(simulator.waitReady(), qPrintable(simulator.output()));
    frmMain window(program.context);
    QVERIFY(gLastBinPath.empty());
    QVERIFY(ShowActive(window));

    DialogWatcher watcher;
    WhenReady([] { return DownloadInSavePhase() != nullptr; },
              [] { PressEnter(DownloadInSavePhase()); }, 60000);
    Watchdog watchdog(90000);
    QTest::keyClick(&window, Qt::Key_F5);
    QVERIFY2(!watchdog.fired(), qPrintable(program.messages.texts.join(QLatin1Char('|'))));

    QCOMPARE(watcher.shown,
             (QStringList{QStringLiteral("frmDownload"), QStringLiteral("frmConvertBINtoPRN")}));
    QCOMPARE(gRunMode, std::int16_t{3});
    const QString bin = program.folder.file(QStringLiteral("Idatalog.bin"));
    QCOMPARE(QString::fromStdString(gLastBinPath), bin);
    QCOMPARE(ReadAll(bin), ReadAll(Sample(QStringLiteral("DEMO.BIN"))));
    QCOMPARE(program.folder.read(QStringLiteral("lastbin.cfg")), bin.toUtf8() + "\r\n");
    QCOMPARE(program.folder.read(QStringLiteral("IDATALOG.PRN")),
             ReadAll(Sample(QStringLiteral("DEMO.PRN"))));
    QCOMPARE(program.folder.read(QStringLiteral("IDATALOG.CSV")),
             ReadAll(Sample(QStringLiteral("DEMO.CSV"))));

    const QStringList& texts = program.messages.texts;
    QCOMPARE(texts.size(), 2);
    QVERIFY2(texts[0].startsWith(QStringLiteral("Download Finished. Number of Blocks = ")),
             qPrintable(texts[0]));
    QVERIFY2(
        texts[1].startsWith(QStringLiteral("The conversion has completed.  Your ASCII file is: ")),
        qPrintable(texts[1]));
    QVERIFY2(texts[1].contains(QStringLiteral("IDATALOG.PRN")), qPrintable(texts[1]));
    // The keyboard is back with the main window: F2 to F5 work without a click.
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), &window, 1000);
}

void tst_mainroad::cancelledRoadOpensNoConversion() {
    SKIP_WITHOUT_PTY_PORTS();
    Program program;
    SilentPty pty(program.com1());
    QVERIFY(pty.ok());
    const QString earlier = program.folder.file(QStringLiteral("EARLIER.BIN"));
    QVERIFY(program.folder.write(QStringLiteral("lastbin.cfg"), earlier.toUtf8() + "\r\n"));
    frmMain window(program.context);
    QVERIFY(ShowActive(window));

    DialogWatcher watcher;
    // Cancel once the download is waiting for the instrument, as a user would press it.
    WhenReady(
        [] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            return dialog != nullptr && dialog->objectName() == QStringLiteral("frmDownload") &&
                   !Text(dialog, "lblInstructions").isEmpty();
        },
        [] { Button(QApplication::activeModalWidget(), "cmdCancel")->click(); }, 30000);
    watcher.on("frmConvertBINtoPRN", [](QDialog* dialog) { dialog->reject(); });
    Watchdog watchdog(60000);
    QTest::keyClick(&window, Qt::Key_F5);
    QVERIFY(!watchdog.fired());

    QCOMPARE(watcher.shown, QStringList{QStringLiteral("frmDownload")});
    QCOMPARE(gRunMode, std::int16_t{1});
    QCOMPARE(QString::fromStdString(gLastBinPath), earlier);
    QCOMPARE(program.folder.read(QStringLiteral("lastbin.cfg")), earlier.toUtf8() + "\r\n");
    QVERIFY(!program.folder.exists(QStringLiteral("EARLIER.PRN")));
}

void tst_mainroad::portThatCannotBeOpened() {
    SKIP_WITHOUT_PTY_PORTS();
    Program program;
    QVERIFY(QFile::link(program.folder.file(QStringLiteral("unplugged")), program.com1()));
    frmMain window(program.context);
    QVERIFY(ShowActive(window));

    DialogWatcher watcher;
    watcher.on("frmDownload", [](QDialog* dialog) { dialog->reject(); });
    watcher.on("frmConvertBINtoPRN", [](QDialog* dialog) { dialog->reject(); });
    QTest::keyClick(&window, Qt::Key_F5);

    QVERIFY(watcher.shown.isEmpty());
    QCOMPARE(gRunMode, std::int16_t{1});
    QCOMPARE(program.messages.texts.size(), 1);
    QVERIFY2(program.messages.texts[0].startsWith(kPortMessage),
             qPrintable(program.messages.texts[0]));
    QVERIFY(!program.folder.exists(QStringLiteral("lastbin.cfg")));
}

void tst_mainroad::downloadKeptUnderTemporaryName() {
    SKIP_WITHOUT_PTY_PORTS();
    Program program;
    QVERIFY(QDir(program.folder.path()).mkpath(QStringLiteral("earlier")));
    const QString earlier = program.folder.file(QStringLiteral("earlier/RUN1.BIN"));
    QVERIFY(QFile::copy(Sample(QStringLiteral("DEMO.BIN")), earlier));
    QVERIFY(program.folder.write(QStringLiteral("lastbin.cfg"), earlier.toUtf8() + "\r\n"));
    SimulatorProcess simulator(Sample(QStringLiteral("DEMO.BIN")), program.com1());
    QVERIFY2(simulator.waitReady(), qPrintable(simulator.output()));
    frmMain window(program.context);
    QVERIFY(ShowActive(window));

    // At the save step: Browse to the temporary file itself, then OK; it exists, so the
    // overwrite question comes and is answered Yes.
    const QString temporary = program.folder.file(QStringLiteral("~TEMPIDL.BIN"));
    program.dialogs.answers.push_back(temporary);
    DialogWatcher watcher;
    watcher.on("frmConfirmOverwrite", [](QDialog* dialog) { Button(dialog, "cmdYes")->click(); });
    WhenReady([] { return DownloadInSavePhase() != nullptr; },
              [] {
                  QDialog* dialog = DownloadInSavePhase();
                  Button(dialog, "cmdBrowse")->click();
                  Button(dialog, "cmdOK")->click();
              },
              60000);
    Watchdog watchdog(90000);
    QTest::keyClick(&window, Qt::Key_F5);
    QVERIFY(!watchdog.fired());

    QCOMPARE(watcher.shown,
             (QStringList{QStringLiteral("frmDownload"), QStringLiteral("frmConfirmOverwrite"),
                          QStringLiteral("frmConvertBINtoPRN")}));
    QCOMPARE(QString::fromStdString(gLastBinPath), earlier);
    // The earlier file was converted; nothing was made of the temporary file's name.
    QCOMPARE(ReadAll(program.folder.file(QStringLiteral("earlier/RUN1.PRN"))),
             ReadAll(Sample(QStringLiteral("DEMO.PRN"))));
    QVERIFY(!program.folder.exists(QStringLiteral("~TEMPIDL.PRN")));
    QCOMPARE(program.folder.read(QStringLiteral("~tempidl.bin")),
             ReadAll(Sample(QStringLiteral("DEMO.BIN"))));
    // The conversion recorded the file it converted.
    QCOMPARE(program.folder.read(QStringLiteral("lastbin.cfg")), earlier.toUtf8() + "\r\n");
}

void tst_mainroad::failureOpeningTheDownloadEndsTheRoadQuietly() {
    Program program;
    program.context.makeDownloadPort = []() -> std::unique_ptr<vsdl::download::IDownloadPort> {
        throw std::runtime_error("no serial support on this system");
    };
    frmMain window(program.context);
    QVERIFY(ShowActive(window));
    DialogWatcher watcher;
    watcher.on("frmConvertBINtoPRN", [](QDialog* dialog) { dialog->reject(); });
    QTest::keyClick(&window, Qt::Key_F5);
    QTest::keyClick(&window, Qt::Key_F3);
    // Both handlers ended where the failure came; the window is still there and usable.
    QVERIFY(watcher.shown.isEmpty());
    QVERIFY(program.messages.texts.isEmpty());
    QVERIFY(window.isVisible());
    QCOMPARE(gRunMode, std::int16_t{1});
    window.cmdConvertBINtoPRN->click();
    QCOMPARE(watcher.shown, QStringList{QStringLiteral("frmConvertBINtoPRN")});
}

void tst_mainroad::exitEndsTheProgram() {
    Program program;
    frmMain window(program.context);
    QVERIFY(ShowActive(window));
    window.mnuFileExit->trigger();
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(tst_mainroad)
#include "tst_mainroad.moc"
