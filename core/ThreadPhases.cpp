#include "core/ThreadPhases.h"

#include <algorithm>
#include <thread>

namespace
{
// A thread that arrives early yields this many times before it sleeps: phases end within a fraction of a
// millisecond of each other, sooner than a sleeping thread is woken, and on a busy machine yielding lets
// others run meanwhile.
constexpr int kYieldsBeforeSleep = 4096;
} // namespace

ThreadPhases::ThreadPhases(std::size_t threads)
    : m_threads(std::max<std::size_t>(1, threads))
{
}

void ThreadPhases::Run(const std::vector<Phase>& phases)
{
    m_errors.assign(m_threads, nullptr);
    m_failed = false;
    m_members = m_threads;
    m_arrived = 0;
    {
        struct Joined
        {
            std::vector<std::thread> threads;
            ~Joined()
            {
                for (std::thread& thread : threads)
                    thread.join();
            }
        } joined;
        joined.threads.reserve(m_threads - 1);
        for (std::size_t thread = 1; thread < m_threads; ++thread)
        {
            try
            {
                joined.threads.emplace_back(&ThreadPhases::RunThread, this, thread, std::cref(phases));
            }
            catch (...)
            {
                m_errors[thread] = std::current_exception();
                m_failed = true;
                Leave(m_threads - thread);
                break;
            }
        }
        RunThread(0, phases);
    }
    for (const std::exception_ptr& error : m_errors)
    {
        if (error)
            std::rethrow_exception(error);
    }
}

void ThreadPhases::RunThread(std::size_t thread, const std::vector<Phase>& phases)
{
    for (std::size_t phase = 0; phase < phases.size(); ++phase)
    {
        if (!m_failed)
        {
            try
            {
                phases[phase](thread);
            }
            catch (...)
            {
                m_errors[thread] = std::current_exception();
                m_failed = true;
            }
        }
        if (phase + 1 < phases.size())
            Meet();
    }
}

void ThreadPhases::Meet()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::uint64_t round = m_round.load(std::memory_order_relaxed);
    if (++m_arrived == m_members)
    {
        Release(lock);
        return;
    }
    lock.unlock();
    for (int i = 0; i < kYieldsBeforeSleep; ++i)
    {
        if (m_round.load(std::memory_order_acquire) != round)
            return;
        std::this_thread::yield();
    }
    lock.lock();
    m_released.wait(lock, [&] { return m_round.load(std::memory_order_relaxed) != round; });
}

void ThreadPhases::Leave(std::size_t threads)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_members -= threads;
    if (m_arrived != 0 && m_arrived == m_members)
        Release(lock);
}

void ThreadPhases::Release(std::unique_lock<std::mutex>& lock)
{
    m_arrived = 0;
    m_round.fetch_add(1, std::memory_order_release);
    lock.unlock();
    m_released.notify_all();
}
