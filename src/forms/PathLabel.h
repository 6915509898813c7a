// A one-line label for a folder or file name: text() keeps the whole path, and a path wider
// than the label is drawn shortened in the middle ("/home/lab/…/logs/") with the whole path as
// its tooltip, so a long folder is never cut off at an edge.
#pragma once

#include <QLabel>

namespace vsdl::forms {

class PathLabel : public QLabel {
    Q_OBJECT

  public:
    explicit PathLabel(QWidget* parent = nullptr);
    void setPath(const QString& path);  // sets text and tooltip

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vsdl::forms
