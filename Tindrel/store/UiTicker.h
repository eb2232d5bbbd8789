#pragma once

// The repeating timer that drives the store's UI tick. The tick callback always runs on the
// main thread; one that comes while long work holds it is held at the store's gate.
//
// QtUiTicker is the production one (a QTimer on the thread that starts it); ManualUiTicker
// fires only when a test calls fire().

#include <chrono>
#include <functional>
#include <memory>

class QTimer;

namespace tindrel {

class UiTicker {
public:
    virtual ~UiTicker() = default;
    // Starts firing `tick` every `interval`; replaces an earlier tick.
    virtual void start(std::chrono::milliseconds interval, std::function<void()> tick) = 0;
    // After stop() returns no tick runs again until the next start().
    virtual void stop() = 0;
};

class QtUiTicker final : public UiTicker {
public:
    QtUiTicker();
    ~QtUiTicker() override;
    void start(std::chrono::milliseconds interval, std::function<void()> tick) override;
    void stop() override;

private:
    std::unique_ptr<QTimer> timer_;
};

class ManualUiTicker final : public UiTicker {
public:
    void start(std::chrono::milliseconds interval, std::function<void()> tick) override;
    void stop() override;

    // Runs the tick once, as if the interval had passed; nothing while stopped.
    void fire();
    // Runs the tick `count` times.
    void fire(int count);
    bool isRunning() const { return static_cast<bool>(tick_); }
    std::chrono::milliseconds interval() const { return interval_; }

private:
    std::function<void()> tick_;
    std::chrono::milliseconds interval_{0};
};

} // namespace tindrel
