#include "forms/Geometry.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace vsdl::forms {
namespace {

double LogicalDpi(const QWidget* widget) {
    const QScreen* screen = widget != nullptr ? widget->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return 96.0;
    const double dpi = screen->logicalDotsPerInchX();
    return dpi > 0 ? dpi : 96.0;
}

QFont SansSerif(double points, bool bold) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

}  // namespace

int Twips(int twips, const QWidget* widget) {
    return static_cast<int>(std::lround(twips * LogicalDpi(widget) / 1440.0));
}

QRect TwipsRect(int left, int top, int width, int height, const QWidget* widget) {
    return QRect(Twips(left, widget), Twips(top, widget), Twips(width, widget),
                 Twips(height, widget));
}

void SetFixedClientTwips(QWidget* window, int width, int height) {
    window->setFixedSize(Twips(width, window), Twips(height, window));
    SetFormFont(window);
    SetDialogFrame(window);
}

void SetDialogFrame(QWidget* window) {
    window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
}

void SetFormFont(QWidget* widget) {
    widget->setFont(SansSerif(8.25, false));
}

void CentreOnScreen(QWidget* window) {
    const QScreen* screen =
        window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    const QSize frame =
        window->frameSize().isValid() && window->isVisible() ? window->frameSize() : window->size();
    window->move(area.left() + (area.width() - frame.width()) / 2,
                 area.top() + (area.height() - frame.height()) / 2);
}

void SetBoldSmallFont(QWidget* widget) {
    widget->setFont(SansSerif(8.25, true));
}

void SetTitleFont(QWidget* widget, double points) {
    widget->setFont(SansSerif(points, true));
}

void FitLabelText(QLabel* label, int maxHeight) {
    const QFontMetrics metrics(label->font());
    const QRect rect = label->geometry();
    if (metrics.horizontalAdvance(label->text()) <= rect.width()) return;
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const int needed = label->heightForWidth(rect.width());
    label->resize(rect.width(), std::max(rect.height(), std::min(needed, maxHeight)));
}

}  // namespace vsdl::forms
