// Making the forms' controls: each gets its objectName (the form's control name) and its place in
// twips in one call; and the text conversion between the cores' UTF-8 strings and Qt.
#pragma once

#include <QRect>
#include <QString>
#include <string>
#include <string_view>

class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace vsdl::forms {

class PathLabel;

// The cores' text (UTF-8) as Qt's.
inline QString FromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry);
PathLabel* MakePathLabel(QWidget* parent, const char* name, QRect geometry);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect geometry);
QGroupBox* MakeFrame(QWidget* parent, const char* name, QRect geometry);

}  // namespace vsdl::forms
