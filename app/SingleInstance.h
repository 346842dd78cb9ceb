#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace app {

// A running instance holds a lock file for as long as it lives; a second start by the same user on
// the same display finds it taken. A lock left behind by a crashed instance is stale (its process is
// gone) and is taken over.
class SingleInstanceGuard
{
public:
    SingleInstanceGuard();

    // True when this process now holds the lock, false when a running instance holds it.
    bool tryAcquire();

    static QString lockPath();

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace app
