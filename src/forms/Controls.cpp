#include "forms/Controls.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "forms/PathLabel.h"

namespace vsdl::forms {
namespace {

template <typename T>
T* Place(T* control, const char* name, QRect geometry) {
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

}  // namespace

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = Place(new QLabel(text, parent), name, geometry);
    label->setTextFormat(Qt::PlainText);
    return label;
}

PathLabel* MakePathLabel(QWidget* parent, const char* name, QRect geometry) {
    return Place(new PathLabel(parent), name, geometry);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    return Place(new QPushButton(text, parent), name, geometry);
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, QRect geometry) {
    return Place(new QGroupBox(parent), name, geometry);
}

}  // namespace vsdl::forms
