#include "core/ThreadPhases.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace
{
// A thread with no part left yields this many times before it sleeps: phases end within a fraction of a
// millisecond, sooner than a sleeping thread is woken, and on a busy machine yielding lets others run.
constexpr int kYieldsBeforeSleep = 4096;
} // namespace

ThreadPhases::ThreadPhases(std::size_t threads)
    : m_threads(std::max<std::size_t>(1, threads))
{
}

void ThreadPhases::Run(const std::vector<Phase>& phases)
{
    m_progress = std::make_unique<Progress[]>(phases.size());
    m_failed = false;
    m_error = nullptr;
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
        try
        {
            for (std::size_t thread = 1; thread < m_threads; ++thread)
                joined.threads.emplace_back(&ThreadPhases::RunThread, this, std::cref(phases));
        }
        catch (const std::system_error&)
        {
        }
        RunThread(phases);
    }
    if (m_error)
        std::rethrow_exception(m_error);
}

void ThreadPhases::RunThread(const std::vector<Phase>& phases)
{
    for (std::size_t phase = 0; phase < phases.size(); ++phase)
    {
        Progress& progress = m_progress[phase];
        const std::size_t parts = phases[phase].parts;
        for (std::size_t part = progress.next++; part < parts; part = progress.next++)
        {
            try
            {
                phases[phase].work(part);
            }
            catch (...)
            {
                Fail(part, std::current_exception());
            }
            if (progress.done.fetch_add(1, std::memory_order_acq_rel) + 1 == parts)
                Finished();
        }
        // After the last phase there is nothing to hold back: Run joins the threads.
        if (phase + 1 == phases.size())
            return;
        WaitFor(progress, parts);
        if (m_failed)
            return;
    }
}

void ThreadPhases::Fail(std::size_t part, std::exception_ptr error)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_error || part < m_errorPart)
    {
        m_error = std::move(error);
        m_errorPart = part;
    }
    m_failed = true;
}

void ThreadPhases::Finished()
{
    // Taken and let go so that a thread between its last look and its sleep is not missed.
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
    }
    m_finished.notify_all();
}

void ThreadPhases::WaitFor(const Progress& progress, std::size_t parts)
{
    for (int i = 0; i < kYieldsBeforeSleep; ++i)
    {
        if (progress.done.load(std::memory_order_acquire) == parts)
            return;
        std::this_thread::yield();
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_finished.wait(lock, [&] { return progress.done.load(std::memory_order_acquire) == parts; });
}
