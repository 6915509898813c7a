// What vsdl-screenshots renders: a list of windows, each built in the state it is shown in.
// The list itself is in Screens.cpp.
#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "forms/FormContext.h"

namespace vsdl::screenshots {

// Everything a window needs while it is rendered. Each window gets a fresh temporary program
// folder and fresh program-wide variables (modGlobals::Reset()).
struct Shot {
    QString programFolder;             // with a trailing separator
    vsdl::forms::FormContext context;  // over programFolder; see main.cpp for what it answers
    // Writes a file into the program folder (serialport.cfg, lastbin.cfg, a BIN image...).
    bool WriteFile(const QString& name, const QByteArray& bytes) const;
};

struct Screen {
    QString name;  // the picture is <output folder>/<name>.png
    std::function<std::unique_ptr<QWidget>(Shot&)> make;
    // Run once the window is on the screen (to open a list); a popup it opens is drawn over it.
    std::function<void(QWidget*)> whenShown = {};
};

const std::vector<Screen>& Screens();

}  // namespace vsdl::screenshots
