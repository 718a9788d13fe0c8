#pragma once
// One running program per user: a lock file named after "SCRVCAM1" in the
// user's runtime folder, held for the life of the process.

#include <QLockFile>
#include <QString>
#include <memory>

class InstanceLock {
public:
    // `folder` empty: the user's runtime folder.
    explicit InstanceLock(const QString& folder = {});
    // False when another running process holds the lock. A lock left by a
    // process that died is taken over.
    bool TryLock();
    bool IsLocked() const { return locked_; }
    QString Path() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool locked_ = false;
};
