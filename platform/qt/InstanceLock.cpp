#include "platform/qt/InstanceLock.h"

#include <QDir>
#include <QStandardPaths>

InstanceLock::InstanceLock(const QString& folder)
{
    QString dir = folder;
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    path_ = QDir(dir).filePath(QStringLiteral("SCRVCAM1.lock"));
    lock_ = std::make_unique<QLockFile>(path_);
    // Never treat a live holder as stale; a dead one is found by its process id.
    lock_->setStaleLockTime(0);
}

bool InstanceLock::TryLock()
{
    if (!locked_)
        locked_ = lock_->tryLock(0);
    return locked_;
}
