#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

// One job run by several threads at once, the calling thread among them, in phases: every thread runs each
// phase, and no thread starts a phase before all have ended the one before, so a phase reads what any
// thread wrote in the earlier ones. The threads are started once for all phases: a job of phases of a
// fraction of a millisecond would otherwise spend much of its time starting threads.
class ThreadPhases
{
public:
    // A phase's work on one thread, numbered from 0 (the calling thread) to Threads() - 1.
    using Phase = std::function<void(std::size_t thread)>;

    // At least one thread.
    explicit ThreadPhases(std::size_t threads);

    std::size_t Threads() const { return m_threads; }

    // Runs the phases in order on all threads and returns when every thread has ended. An error ends the
    // job: the phases after the one that failed are skipped on every thread, and the error of the lowest
    // numbered thread is thrown here once all threads have ended. So is an error starting a thread.
    void Run(const std::vector<Phase>& phases);

private:
    void RunThread(std::size_t thread, const std::vector<Phase>& phases);
    // Waits until every thread still in the job has arrived.
    void Meet();
    // Threads that never started leave the job, so that the others do not wait for them.
    void Leave(std::size_t threads);
    void Release(std::unique_lock<std::mutex>& lock);

    const std::size_t m_threads;
    std::vector<std::exception_ptr> m_errors;
    std::atomic<bool> m_failed{false};
    std::mutex m_mutex;
    std::condition_variable m_released;
    std::size_t m_members = 0;
    std::size_t m_arrived = 0;
    std::atomic<std::uint64_t> m_round{0};
};
