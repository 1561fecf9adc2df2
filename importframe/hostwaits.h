#pragma once

#include "orbewaits.h"
#include "runhost.h"

// Tells a run's host what the waits of its database connection tell: the
// window's bar or tarvel-batch's standard error says that the run waits.
class HostWaits final : public WaitObserver
{
public:
    explicit HostWaits(RunHost &host)
        : m_host(host)
    {
    }
    void waiting(bool forLock, std::chrono::milliseconds waited) override
    {
        m_host.showWait(DatabaseWait{forLock, int(waited.count() / 1000)});
    }
    void waitEnded() override { m_host.endWait(); }

private:
    RunHost &m_host;
};
