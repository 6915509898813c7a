// vsdl-screenshots: renders every window listed in Screens.cpp into <output folder>/<name>.png,
// with its caption drawn above it as a plain window frame. Run with QT_QPA_PLATFORM=offscreen
// (`make screenshots` does): no display is needed.
//
//     vsdl-screenshots OUTPUT-FOLDER [NAME...]    (no names: every window)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>

#include "Screens.h"
#include "common/modGlobals.h"

namespace {

using vsdl::screenshots::Screen;
using vsdl::screenshots::Shot;

// Messages are printed: a window being rendered must never wait for a person.
class PrintedMessages final : public vsdl::forms::IMessages {
  public:
    void Show(QWidget*, const QString& text) override {
        std::fprintf(stderr, "vsdl-screenshots: message: %s\n", qPrintable(text));
    }
};

class CancelledFileDialogs final : public vsdl::forms::IFileDialogs {
  public:
    std::optional<QString> OpenFile(QWidget*, const vsdl::forms::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<QString> SaveFile(QWidget*, const vsdl::forms::FileDialogRequest&) override {
        return std::nullopt;
    }
};

// COM1 to COM3 are free, and COM7 beyond them.
class FreePorts final : public vsdl::download::IPortProbe {
  public:
    void SetPortNumber(std::int16_t number) override {
        Close();
        number_ = number;
    }
    void Open() override { open_ = (number_ >= 1 && number_ <= 3) || number_ == 7; }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    std::string DeviceName() const override { return "/dev/ttyUSB" + std::to_string(number_ - 1); }
    std::string Description() const override {
        switch (number_) {
            case 1:
                return "FT232R USB UART, FTDI, serial A1B2C3";
            case 2:
                return "USB-Serial Controller, Prolific, serial 0042";
            case 7:
                return "CP2102 USB to UART Bridge Controller, Silicon Labs";
            default:
                return {};
        }
    }
    std::vector<std::int16_t> PortsBeyond(std::int16_t) const override { return {7}; }

  private:
    std::int16_t number_ = 0;
    bool open_ = false;
};

// Lets the window be laid out and painted: waits (at most 2 s) until it is exposed.
void Settle(QWidget* window) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000 &&
           (window->windowHandle() == nullptr || !window->windowHandle()->isExposed())) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    for (int i = 0; i < 5; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// The client area under a plain caption bar with a one-pixel frame, as a desktop shows it.
QPixmap WithFrame(const QPixmap& client, const QString& caption, const QFont& font) {
    constexpr int kBorder = 1;
    constexpr int kCaption = 24;
    const QSize clientSize = client.deviceIndependentSize().toSize();
    QPixmap framed(clientSize.width() + 2 * kBorder, clientSize.height() + kCaption + 2 * kBorder);
    framed.fill(QColor(0x8a, 0x8f, 0x98));
    QPainter painter(&framed);
    const QRect bar(kBorder, kBorder, clientSize.width(), kCaption);
    painter.fillRect(bar, QColor(0xe4, 0xe7, 0xeb));
    QFont captionFont = font;
    captionFont.setBold(true);
    painter.setFont(captionFont);
    painter.setPen(QColor(0x20, 0x24, 0x2a));
    painter.drawText(bar.adjusted(8, 0, -28, 0), Qt::AlignVCenter | Qt::AlignLeft, caption);
    // The close box.
    const QRect close(bar.right() - 19, bar.top() + 6, 12, 12);
    painter.setPen(QPen(QColor(0x40, 0x44, 0x4a), 1.5));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawLine(close.topLeft(), close.bottomRight());
    painter.drawLine(close.topRight(), close.bottomLeft());
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawPixmap(kBorder, kBorder + kCaption, client);
    return framed;
}

// The window's picture with the popup it opened (a combo box's list) drawn where it lies, the
// picture grown to hold it.
QPixmap WithPopup(QWidget* window, const QPixmap& client) {
    QWidget* popup = QApplication::activePopupWidget();
    if (popup == nullptr) return client;
    const QPixmap list = popup->grab();
    const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0));
    const QSize clientSize = client.deviceIndependentSize().toSize();
    const QRect all =
        QRect(QPoint(0, 0), clientSize).united(QRect(at, list.deviceIndependentSize().toSize()));
    QPixmap joined(all.size() * client.devicePixelRatio());
    joined.setDevicePixelRatio(client.devicePixelRatio());
    joined.fill(Qt::transparent);
    QPainter painter(&joined);
    painter.drawPixmap(-all.topLeft(), client);
    painter.drawPixmap(at - all.topLeft(), list);
    painter.end();
    popup->close();
    return joined;
}

bool Render(const Screen& screen, const QString& outputFolder) {
    QTemporaryDir folder;
    if (!folder.isValid()) return false;
    modGlobals::Reset();
    PrintedMessages messages;
    CancelledFileDialogs dialogs;
    Shot shot;
    shot.programFolder = QDir::toNativeSeparators(folder.path()) + QDir::separator();
    shot.context.dataFolder = shot.programFolder;
    shot.context.saveFolder = shot.programFolder;
    shot.context.messages = &messages;
    shot.context.fileDialogs = &dialogs;
    shot.context.makePortProbe = [] { return std::make_unique<FreePorts>(); };

    std::unique_ptr<QWidget> window = screen.make(shot);
    if (!window) return false;
    window->show();
    Settle(window.get());
    QPixmap client = window->grab();
    if (screen.whenShown) {
        screen.whenShown(window.get());
        for (int i = 0; i < 5; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
        client = WithPopup(window.get(), client);
    }
    const QPixmap picture = WithFrame(client, window->windowTitle(), window->font());
    window->close();
    const QString file = QDir(outputFolder).filePath(screen.name + QStringLiteral(".png"));
    if (!picture.save(file, "PNG")) {
        std::fprintf(stderr, "vsdl-screenshots: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: vsdl-screenshots OUTPUT-FOLDER [NAME...]\n");
        return 2;
    }
    const QString outputFolder = args.first();
    const QStringList wanted = args.mid(1);
    if (!QDir().mkpath(outputFolder)) {
        std::fprintf(stderr, "vsdl-screenshots: cannot create %s\n", qPrintable(outputFolder));
        return 1;
    }
    int failures = 0;
    int rendered = 0;
    for (const Screen& screen : vsdl::screenshots::Screens()) {
        if (!wanted.isEmpty() && !wanted.contains(screen.name)) continue;
        ++rendered;
        if (!Render(screen, outputFolder)) {
            std::fprintf(stderr, "vsdl-screenshots: %s failed\n", qPrintable(screen.name));
            ++failures;
        }
    }
    if (rendered == 0) {
        std::fprintf(stderr, "vsdl-screenshots: no window of that name\n");
        return 2;
    }
    return failures == 0 ? 0 : 1;
}
