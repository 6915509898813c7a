#include "forms/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "common/AppInfo.h"
#include "common/Settings.h"
#include "common/modGlobals.h"
#include "forms/Controls.h"
#include "forms/Geometry.h"
#include "forms/frmAbout.h"
#include "forms/frmComSelect.h"
#include "forms/frmConvertBINtoPRN.h"
#include "forms/frmDownload.h"
#include "forms/frmViewData.h"

namespace {

using vsdl::forms::FromStd;
using vsdl::forms::TwipsRect;

// A push button whose caption wraps onto a further line when it is wider than the button, as the
// big "Download and Convert..." button needs; every caption keeps the window's one font size.
// The focused button wears a frame that shows on the blue background. text() stays the caption
// as given.
class WrappingButton final : public QPushButton {
  public:
    WrappingButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

  protected:
    static constexpr int kWrapMargin = 6;

    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        constexpr int kFlags = Qt::AlignCenter | Qt::TextWordWrap;
        QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        if (fontMetrics().horizontalAdvance(caption) > area.width()) {
            // Wrapped lines keep clear of the edges, and may use the height of the bevel too:
            // they are never drawn smaller.
            area.adjust(kWrapMargin, 0, -kWrapMargin, 0);
            if (fontMetrics().boundingRect(area, kFlags, caption).height() > area.height()) {
                area = rect().adjusted(kWrapMargin, 0, -kWrapMargin, 0);
            }
        }
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::ButtonText));
        painter.drawText(area, kFlags, caption);
        if (hasFocus()) {
            QPen pen(palette().color(QPalette::Active, QPalette::Highlight).darker(150));
            pen.setWidth(2);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect().adjusted(2, 2, -2, -2));
        }
    }
};

// Runs one handler step with every error ignored: a dialog that fails to open, or a failure
// that escapes it, ends the handler quietly and leaves the main window as it was.
template <typename Step>
void IgnoringErrors(Step&& step) {
    try {
        step();
    } catch (...) {
    }
}

}  // namespace

frmMain::frmMain(const vsdl::forms::FormContext& context, QWidget* parent)
    : QMainWindow(parent), context_(context) {
    setObjectName(QStringLiteral("frmMain"));
    BuildMenus();
    BuildControls();
    Form_Load();
}

void frmMain::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmMainClient"));
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 255));
    client->setPalette(palette);
    client->setAutoFillBackground(true);
    // The controls' text: the platform's sans-serif at 8.25 points.
    QFont font = client->font();
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    client->setFont(font);

    // The buttons reach 8775 twips across and 2055 down; the client area leaves the same
    // margin on the right as on the left, and a little more below the last row.
    constexpr int kClientWidth = 9015;
    constexpr int kClientHeight = 2535;
    client->setFixedSize(TwipsRect(0, 0, kClientWidth, kClientHeight, this).size());

    auto makeButton = [client](const char* name, const QString& caption, QRect geometry) {
        auto* button = new WrappingButton(caption, client);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(geometry);
        button->setAutoDefault(false);
        return button;
    };
    cmdSerialPortSetup = makeButton("cmdSerialPortSetup", QStringLiteral("Serial Port Setup"),
                                    TwipsRect(240, 720, 3615, 375, this));
    cmdDownload = makeButton("cmdDownload", QStringLiteral("Download Data From Instrument To File"),
                             TwipsRect(240, 1200, 3615, 375, this));
    cmdConvertBINtoPRN = makeButton("cmdConvertBINtoPRN",
                                    QStringLiteral("Convert Downloaded Data File to ASCII File"),
                                    TwipsRect(240, 1680, 3615, 375, this));
    cmdAllSteps = makeButton("cmdAllSteps",
                             QStringLiteral("Download and Convert Data from Instrument to File"),
                             TwipsRect(4800, 1200, 3975, 855, this));

    Label1 = new QLabel(QStringLiteral("-OR-"), client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(TwipsRect(4080, 1440, 495, 240, this));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    connect(cmdSerialPortSetup, &QPushButton::clicked, this, &frmMain::cmdSerialPortSetup_Click);
    connect(cmdDownload, &QPushButton::clicked, this, &frmMain::cmdDownload_Click);
    connect(cmdConvertBINtoPRN, &QPushButton::clicked, this, &frmMain::cmdConvertBINtoPRN_Click);
    connect(cmdAllSteps, &QPushButton::clicked, this, &frmMain::cmdAllSteps_Click);

    setCentralWidget(client);
    // The window is as large as the menu bar plus the fixed client area, and cannot be resized.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void frmMain::BuildMenus() {
    auto addMenu = [this](const char* name, const QString& caption) {
        QMenu* menu = menuBar()->addMenu(caption);
        menu->setObjectName(QLatin1String(name));
        menu->menuAction()->setObjectName(QLatin1String(name) + QStringLiteral("Action"));
        return menu;
    };
    auto addEntry = [this](QMenu* menu, const char* name, const QString& caption,
                           const QKeySequence& shortcut, void (frmMain::*handler)()) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        if (!shortcut.isEmpty()) {
            action->setShortcut(shortcut);
            // The function keys work from anywhere in the window, menus closed.
            action->setShortcutContext(Qt::WindowShortcut);
            addAction(action);
        }
        connect(action, &QAction::triggered, this, handler);
        return action;
    };

    mnuFile = addMenu("mnuFile", QStringLiteral("&File"));
    mnuFileOpenDownloads =
        addEntry(mnuFile, "mnuFileOpenDownloads", QStringLiteral("Open &Downloads Folder"), {},
                 &frmMain::mnuFileOpenDownloads_Click);
    mnuFileExit =
        addEntry(mnuFile, "mnuFileExit", QStringLiteral("E&xit"), {}, &frmMain::mnuFileExit_Click);

    mnuTools = addMenu("mnuTools", QStringLiteral("&Tools"));
    mnuToolsSerialPortSetup =
        addEntry(mnuTools, "mnuToolsSerialPortSetup", QStringLiteral("Serial &Port Setup"),
                 QKeySequence(Qt::Key_F2), &frmMain::mnuToolsSerialPortSetup_Click);
    mnuToolsDownload = addEntry(mnuTools, "mnuToolsDownload", QStringLiteral("&Download"),
                                QKeySequence(Qt::Key_F3), &frmMain::mnuToolsDownload_Click);
    mnuToolsConvert = addEntry(mnuTools, "mnuToolsConvert", QStringLiteral("&Convert"),
                               QKeySequence(Qt::Key_F4), &frmMain::mnuToolsConvert_Click);
    mnuToolsDownloadAndConvert =
        addEntry(mnuTools, "mnuToolsDownloadAndConvert", QStringLiteral("Download &and Convert"),
                 QKeySequence(Qt::Key_F5), &frmMain::mnuToolsDownloadAndConvert_Click);
    mnuToolsSeparator = mnuTools->addSeparator();
    mnuToolsViewData = addEntry(mnuTools, "mnuToolsViewData", QStringLiteral("&View Data"),
                                QKeySequence(Qt::Key_F6), &frmMain::mnuToolsViewData_Click);

    mnuHelp = addMenu("mnuHelp", QStringLiteral("&Help"));
    mnuHelpAbout = addEntry(mnuHelp, "mnuHelpAbout", QStringLiteral("&About"), {},
                            &frmMain::mnuHelpAbout_Click);
}

void frmMain::Form_Load() {
    setWindowTitle(FromStd(vsdl::appinfo::MainCaption()));
    // A missing, empty or unreadable lastbin.cfg leaves the path empty and the dialogs propose
    // their defaults; no message.
    IgnoringErrors([this] {
        gLastBinPath = vsdl::settings::ReadLastBinPath(context_.SettingsFolder().toStdString());
    });
}

// A closed dialog leaves the keyboard wherever the window manager puts it (often nowhere); the
// main window takes it back, so that F2 to F6 work without a click.
void frmMain::TakeBackFocus() {
    raise();
    activateWindow();
}

void frmMain::cmdSerialPortSetup_Click() {
    IgnoringErrors([this] {
        frmComSelect dialog(context_, this);
        dialog.exec();
    });
    TakeBackFocus();
}

void frmMain::cmdDownload_Click() {
    gRunMode = 1;
    IgnoringErrors([this] {
        frmDownload dialog(context_, this);
        dialog.doprompt();
    });
    TakeBackFocus();
}

void frmMain::cmdConvertBINtoPRN_Click() {
    gRunMode = 2;
    IgnoringErrors([this] {
        frmConvertBINtoPRN dialog(context_, this);
        dialog.exec();
    });
    TakeBackFocus();
}

void frmMain::cmdAllSteps_Click() {
    gRunMode = 3;
    IgnoringErrors([this] {
        {
            frmDownload download(context_, this);
            download.doprompt();
        }
        // The download dialog puts gRunMode back to 1 when it was cancelled or the port could
        // not be opened; otherwise gLastBinPath names the file just saved and the conversion
        // starts on its own.
        if (gRunMode != 3) return;
        frmConvertBINtoPRN convert(context_, this);
        convert.exec();
    });
    TakeBackFocus();
}

// Every download is kept there (see download/KeptDownloads.h); the folder is made when no
// download has been kept yet, so that the user sees where they will go.
void frmMain::mnuFileOpenDownloads_Click() {
    const QString folder = context_.KeptFolder();
    const bool made = QDir().mkpath(folder);
    if (made && context_.openFolder && context_.openFolder(folder)) return;
    context_.Messages().Show(
        this, QStringLiteral("The downloads folder %1 could not be opened. Every download is "
                             "kept there; open it in your file manager.")
                  .arg(QDir::toNativeSeparators(folder)));
}

void frmMain::mnuFileExit_Click() {
    close();
    QCoreApplication::quit();
}

// Each Tools entry presses its button, so every job starts in the button's handler alone.
void frmMain::mnuToolsSerialPortSetup_Click() {
    cmdSerialPortSetup->click();
}
void frmMain::mnuToolsDownload_Click() {
    cmdDownload->click();
}
void frmMain::mnuToolsConvert_Click() {
    cmdConvertBINtoPRN->click();
}
void frmMain::mnuToolsDownloadAndConvert_Click() {
    cmdAllSteps->click();
}

// View Data has no button: the entry opens its window itself, like the other jobs, but leaves
// gRunMode alone.
void frmMain::mnuToolsViewData_Click() {
    IgnoringErrors([this] {
        frmViewData dialog(context_, this);
        dialog.exec();
    });
    TakeBackFocus();
}

void frmMain::mnuHelpAbout_Click() {
    IgnoringErrors([this] {
        frmAbout dialog(context_, this);
        dialog.exec();
    });
    TakeBackFocus();
}
