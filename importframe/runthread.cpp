#include "runthread.h"

RunThread::~RunThread()
{
    join();
}

void RunThread::start(std::function<void()> work, std::function<void()> ended)
{
    m_finished = std::make_shared<std::atomic<bool>>(false);
    m_system = std::make_shared<std::shared_ptr<SystemThread>>();
    m_thread.reset(QThread::create([work = std::move(work), ended = std::move(ended), finished = m_finished,
                                    system = m_system] {
        *system = takeCurrent();
        work();
        *finished = true;
        ended();
    }));
    m_thread->start();
}

void RunThread::join()
{
    if (!m_thread)
        return;
    m_thread->wait();
    if (*m_system)
        waitForExit(**m_system);
    m_thread.reset();
    m_system.reset();
}
