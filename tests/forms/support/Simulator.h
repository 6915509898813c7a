// Runs `vsdl simulate` as the instrument for a window test: the program folder's ports/com1
// (or another port) becomes a link to the simulator's pseudo-terminal.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace vsdl::testing {

class Simulator {
  public:
    // Starts `vsdl simulate IMAGE --link <programFolder>/ports/com<port> [extraArgs]`.
    Simulator(const QString& programFolder, const QString& image, const QStringList& extraArgs = {},
              int port = 1);
    ~Simulator();  // stops the simulator (SIGTERM, then kill) and waits for it
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Waits until the link exists (true) or the process ended / `timeoutMs` passed (false).
    bool waitReady(int timeoutMs = 10000);
    // Waits for the simulator to exit on its own (it does after one download without --repeat).
    bool waitFinished(int timeoutMs = 30000);
    QString link() const { return link_; }
    // What the simulator printed so far (its "serving" line and session notes).
    QString output();
    int exitCode() const { return process_.exitCode(); }

  private:
    QString link_;
    QProcess process_;
    QString output_;
};

}  // namespace vsdl::testing
