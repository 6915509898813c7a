// Driving the whole road in process: the instrument simulator on a pseudo-terminal linked as a
// COM port of a temporary program folder, a silent pseudo-terminal for a download that never
// starts, and a watcher that sees every dialog as it is shown and answers it.
#pragma once

#include <QDialog>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

namespace vsdl::testing {

// `vsdl simulate IMAGE --link LINK --repeat`, stopped when this object goes.
class SimulatorProcess {
  public:
    SimulatorProcess(const QString& image, const QString& link);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
    // True once the link exists (waits at most 10 s).
    bool waitReady();
    QString output();  // what the simulator printed so far

  private:
    QString link_;
    QProcess process_;
};

// A pseudo-terminal whose other end never sends anything, linked at `link`.
class SilentPty {
  public:
    explicit SilentPty(const QString& link);
    ~SilentPty();
    SilentPty(const SilentPty&) = delete;
    SilentPty& operator=(const SilentPty&) = delete;
    bool ok() const { return master_ >= 0; }

  private:
    int master_ = -1;
};

// Sees every dialog (message boxes aside) when it is shown, remembers its class, and runs the
// action registered for that class once the dialog's own event loop is running.
class DialogWatcher final : public QObject {
  public:
    DialogWatcher();
    ~DialogWatcher() override;
    void on(const char* className, std::function<void(QDialog*)> action);
    QStringList shown;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QHash<QString, std::function<void(QDialog*)>> actions_;
};

// Polls every 10 ms until `ready` holds, then runs `action` once; gives up after `timeoutMs`.
void WhenReady(std::function<bool()> ready, std::function<void()> action, int timeoutMs = 30000);

// Ends a road that hangs: after `timeoutMs` it cancels or closes every modal dialog in turn,
// so that the test fails instead of waiting for ever.
class Watchdog {
  public:
    explicit Watchdog(int timeoutMs = 60000);
    ~Watchdog();
    bool fired() const { return *fired_; }

  private:
    std::shared_ptr<bool> fired_ = std::make_shared<bool>(false);
    std::unique_ptr<QTimer> timer_;
};

}  // namespace vsdl::testing
