// Window geometry from twips (1/1440 inch of the screen's logical resolution).
#pragma once

#include <QRect>

class QWidget;

namespace vsdl::forms {

// Twips to device-independent pixels for the widget's screen (15 twips a pixel at 96 dpi).
int Twips(int twips, const QWidget* widget = nullptr);
QRect TwipsRect(int left, int top, int width, int height, const QWidget* widget = nullptr);

// Gives the window a fixed client area of width x height twips.
void SetFixedClientTwips(QWidget* window, int width, int height);

// Centres the window on its screen: left = (screen width - window width) / 2, likewise top.
void CentreOnScreen(QWidget* window);

// The platform's sans-serif at 8.25 points, bold: the dialogs' emphasised labels.
void SetBoldSmallFont(QWidget* widget);

}  // namespace vsdl::forms
