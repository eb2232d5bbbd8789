#pragma once

// Runs the store's background measurement. run() is called on the main thread; `work` runs on
// a worker thread (it must touch only what it captured); afterwards `deliver` runs on the main
// thread, in order with the other main-thread work.
//
// ThreadAnalysisExecutor is the production one: one worker thread per job; the result is
// posted to `context`'s thread with a queued call, so it is dropped when `context` is gone.
// Its destructor waits for running jobs (which end early once their cancel flag is set).
//
// ManualAnalysisExecutor holds the jobs until a test runs them, so tests can finish
// measurements in any order and deliver them at any point.

#include <deque>
#include <functional>
#include <list>
#include <memory>

class QObject;

namespace tindrel {

class AnalysisExecutor {
public:
    virtual ~AnalysisExecutor() = default;
    virtual void run(std::function<void()> work, std::function<void()> deliver) = 0;
    // Blocks until no work is running; deliveries already posted still arrive. Called at quit,
    // after the cancel flag is set, so no worker outlives the program's teardown.
    virtual void waitForRunningWork() = 0;
};

class ThreadAnalysisExecutor final : public AnalysisExecutor {
public:
    explicit ThreadAnalysisExecutor(QObject* context);
    ~ThreadAnalysisExecutor() override;
    void run(std::function<void()> work, std::function<void()> deliver) override;
    void waitForRunningWork() override;

private:
    struct Job;
    void joinFinishedJobs();

    QObject* context_;
    std::list<std::unique_ptr<Job>> jobs_;
};

class ManualAnalysisExecutor final : public AnalysisExecutor {
public:
    void run(std::function<void()> work, std::function<void()> deliver) override;
    // Held jobs are not running: nothing to wait for.
    void waitForRunningWork() override {}

    // Jobs submitted and not yet run, oldest first.
    size_t pendingCount() const { return jobs_.size(); }
    // Runs the work of job `index` (0 = oldest) and keeps the job for its delivery.
    void runWork(size_t index = 0);
    // Runs the work of job `index` unless it ran already, then its delivery, and forgets it.
    void runJob(size_t index = 0);
    // Runs every pending job, oldest first.
    void runAll();

private:
    struct Job {
        std::function<void()> work;
        std::function<void()> deliver;
        bool worked = false;
    };
    std::deque<Job> jobs_;
};

} // namespace tindrel
