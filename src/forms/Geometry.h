// Window geometry from twips (1/1440 inch of the screen's logical resolution).
#pragma once

#include <QRect>

class QLabel;
class QWidget;

namespace vsdl::forms {

// Twips to device-independent pixels for the widget's screen (15 twips a pixel at 96 dpi).
int Twips(int twips, const QWidget* widget = nullptr);
QRect TwipsRect(int left, int top, int width, int height, const QWidget* widget = nullptr);

// Gives the window a fixed client area of width x height twips, the forms' font (see
// SetFormFont), which its controls inherit, and a dialog's frame (see SetDialogFrame).
void SetFixedClientTwips(QWidget* window, int width, int height);

// A window of fixed size has nothing to minimise or maximise: a title and a close box only.
void SetDialogFrame(QWidget* window);

// The forms' font: the platform's sans-serif at 8.25 points, regular. The twips geometry was laid
// out for text of this size.
void SetFormFont(QWidget* widget);

// Centres the window on its screen: left = (screen width - window width) / 2, likewise top.
void CentreOnScreen(QWidget* window);

// The platform's sans-serif at 8.25 points, bold: the dialogs' emphasised labels.
void SetBoldSmallFont(QWidget* widget);

// The platform's sans-serif at `points`, bold: headings such as the About box's title.
void SetTitleFont(QWidget* widget, double points);

// Keeps a label's rectangle when its text fits on one line; otherwise the text wraps at the
// label's width and the label grows downward by whole lines, to at most `maxHeight` pixels
// (the space left above the next control).
void FitLabelText(QLabel* label, int maxHeight);

}  // namespace vsdl::forms
