#include "Tindrel/store/AnalysisExecutor.h"

#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <thread>

namespace tindrel {

struct ThreadAnalysisExecutor::Job {
    std::thread thread;
    std::atomic<bool> finished{false};
};

ThreadAnalysisExecutor::ThreadAnalysisExecutor(QObject* context) : context_(context) {}

ThreadAnalysisExecutor::~ThreadAnalysisExecutor() { waitForRunningWork(); }

void ThreadAnalysisExecutor::waitForRunningWork() {
    for (auto& job : jobs_)
        job->thread.join();
    jobs_.clear();
}

void ThreadAnalysisExecutor::run(std::function<void()> work, std::function<void()> deliver) {
    joinFinishedJobs();
    auto job = std::make_unique<Job>();
    Job* raw = job.get();
    QObject* context = context_;
    raw->thread =
        std::thread([raw, context, work = std::move(work), deliver = std::move(deliver)]() mutable {
            work();
            // Queued on the context's thread; Qt drops it if the context is destroyed first.
            QMetaObject::invokeMethod(context, std::move(deliver), Qt::QueuedConnection);
            raw->finished.store(true, std::memory_order_release);
        });
    jobs_.push_back(std::move(job));
}

void ThreadAnalysisExecutor::joinFinishedJobs() {
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if ((*it)->finished.load(std::memory_order_acquire)) {
            (*it)->thread.join();
            it = jobs_.erase(it);
        } else {
            ++it;
        }
    }
}

void ManualAnalysisExecutor::run(std::function<void()> work, std::function<void()> deliver) {
    jobs_.push_back({std::move(work), std::move(deliver)});
}

void ManualAnalysisExecutor::runWork(size_t index) {
    if (index >= jobs_.size() || jobs_[index].worked)
        return;
    jobs_[index].work();
    jobs_[index].worked = true;
}

void ManualAnalysisExecutor::runJob(size_t index) {
    if (index >= jobs_.size())
        return;
    runWork(index);
    Job job = std::move(jobs_[index]);
    jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(index));
    job.deliver();
}

void ManualAnalysisExecutor::runAll() {
    while (!jobs_.empty())
        runJob(0);
}

} // namespace tindrel
