#include "RoadSupport.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace vsdl::testing {

SimulatorProcess::SimulatorProcess(const QString& image, const QString& link) : link_(link) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
#ifdef VSDL_EXE
    process_.start(QStringLiteral(VSDL_EXE),
                   {QStringLiteral("simulate"), image, QStringLiteral("--link"), link,
                    QStringLiteral("--repeat")});
#endif
}

SimulatorProcess::~SimulatorProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

bool SimulatorProcess::waitReady() {
    if (!process_.waitForStarted(10000)) return false;
    return QTest::qWaitFor([this] { return QFileInfo(link_).isSymLink(); }, 10000);
}

QString SimulatorProcess::output() {
    return QString::fromLocal8Bit(process_.readAll());
}

SilentPty::SilentPty(const QString& link) {
#ifndef _WIN32
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return;
    const char* name =
        (grantpt(master_) == 0 && unlockpt(master_) == 0) ? ptsname(master_) : nullptr;
    if (name == nullptr || !QFile::link(QString::fromLocal8Bit(name), link)) {
        close(master_);
        master_ = -1;
    }
#else
    (void)link;
#endif
}

SilentPty::~SilentPty() {
#ifndef _WIN32
    if (master_ >= 0) close(master_);
#endif
}

DialogWatcher::DialogWatcher() {
    qApp->installEventFilter(this);
}

DialogWatcher::~DialogWatcher() {
    qApp->removeEventFilter(this);
}

void DialogWatcher::on(const char* className, std::function<void(QDialog*)> action) {
    actions_.insert(QString::fromLatin1(className), std::move(action));
}

bool DialogWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog != nullptr && dialog->isWindow() &&
            qobject_cast<QMessageBox*>(dialog) == nullptr) {
            const QString name = QString::fromLatin1(dialog->metaObject()->className());
            shown << name;
            if (const auto it = actions_.constFind(name); it != actions_.constEnd()) {
                auto action = *it;
                QPointer<QDialog> target(dialog);
                QTimer::singleShot(0, dialog, [action, target] {
                    if (target) action(target);
                });
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void WhenReady(std::function<bool()> ready, std::function<void()> action, int timeoutMs) {
    auto* timer = new QTimer(qApp);
    auto remaining = std::make_shared<int>(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, remaining, ready, action] {
        *remaining -= timer->interval();
        if (ready()) {
            timer->stop();
            timer->deleteLater();
            action();
        } else if (*remaining <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

Watchdog::Watchdog(int timeoutMs) : timer_(std::make_unique<QTimer>()) {
    timer_->setSingleShot(false);
    QObject::connect(timer_.get(), &QTimer::timeout, [this, fired = fired_] {
        *fired = true;
        timer_->setInterval(200);
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        if (auto* cancel = modal->findChild<QPushButton*>(QStringLiteral("cmdCancel"));
            cancel != nullptr && cancel->isVisible() && cancel->isEnabled()) {
            cancel->click();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    });
    timer_->start(timeoutMs);
}

Watchdog::~Watchdog() = default;

}  // namespace vsdl::testing
