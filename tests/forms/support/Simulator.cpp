#include "Simulator.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace vsdl::testing {

Simulator::Simulator(const QString& programFolder, const QString& image,
                     const QStringList& extraArgs, int port)
    : link_(QDir(programFolder).filePath(QStringLiteral("ports/com%1").arg(port))) {
    QDir(programFolder).mkpath(QStringLiteral("ports"));
    process_.setProcessChannelMode(QProcess::MergedChannels);
#ifdef VSDL_EXE
    process_.start(QStringLiteral(VSDL_EXE),
                   QStringList{QStringLiteral("simulate"), image, QStringLiteral("--link"), link_} +
                       extraArgs);
#endif
}

Simulator::~Simulator() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

bool Simulator::waitReady(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    // The link appears only once the pty can be opened; a QFileInfo on the link follows it.
    while (!deadline.hasExpired()) {
        if (QFileInfo(link_).isSymLink() && QFileInfo::exists(link_)) return true;
        if (process_.state() == QProcess::NotRunning) return false;
        QThread::msleep(20);
    }
    return false;
}

bool Simulator::waitFinished(int timeoutMs) {
    if (process_.state() == QProcess::NotRunning) return true;
    return process_.waitForFinished(timeoutMs);
}

QString Simulator::output() {
    output_ += QString::fromLocal8Bit(process_.readAll());
    return output_;
}

}  // namespace vsdl::testing
