#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// One job shared by several threads, the calling thread among them, in phases of parts: the threads take
// the parts of a phase as they come free, and no part of a phase starts before every part of the one
// before has ended, so a part reads what the earlier phases wrote. The threads are started once for all
// phases: a job of phases of a fraction of a millisecond would otherwise spend much of its time starting
// threads. A phase ends when its parts have, not when every thread has seen it, so a thread that a busy
// machine keeps waiting holds the others up only while it holds a part.
class ThreadPhases
{
public:
    struct Phase
    {
        std::size_t parts = 0;
        // Runs part number part, from 0 to parts - 1, on whichever thread takes it.
        std::function<void(std::size_t part)> work;
    };

    // At least one thread.
    explicit ThreadPhases(std::size_t threads);

    std::size_t Threads() const { return m_threads; }

    // Runs the phases in order and returns once every thread has ended. An error ends the job after the
    // phase it happened in: the later phases are not run, and the error of the lowest failing part is
    // thrown here. A thread that cannot be started leaves its share to the others.
    void Run(const std::vector<Phase>& phases);

private:
    struct Progress
    {
        std::atomic<std::size_t> next{0};
        std::atomic<std::size_t> done{0};
    };

    void RunThread(const std::vector<Phase>& phases);
    void Fail(std::size_t part, std::exception_ptr error);
    void Finished();
    void WaitFor(const Progress& progress, std::size_t parts);

    const std::size_t m_threads;
    std::unique_ptr<Progress[]> m_progress;
    std::atomic<bool> m_failed{false};
    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::size_t m_errorPart = 0;
    std::exception_ptr m_error;
};
