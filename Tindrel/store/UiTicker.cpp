#include "Tindrel/store/UiTicker.h"

#include <QTimer>

namespace tindrel {

QtUiTicker::QtUiTicker() = default;
QtUiTicker::~QtUiTicker() = default;

void QtUiTicker::start(std::chrono::milliseconds interval, std::function<void()> tick) {
    if (!timer_) {
        timer_ = std::make_unique<QTimer>();
        timer_->setTimerType(Qt::PreciseTimer);
    }
    QObject::disconnect(timer_.get(), &QTimer::timeout, nullptr, nullptr);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), std::move(tick));
    timer_->start(interval);
}

// Only stops: the tick itself may be what calls stop(), so the timer must outlive it.
void QtUiTicker::stop() {
    if (timer_)
        timer_->stop();
}

void ManualUiTicker::start(std::chrono::milliseconds interval, std::function<void()> tick) {
    interval_ = interval;
    tick_ = std::move(tick);
}

void ManualUiTicker::stop() {
    tick_ = nullptr;
}

void ManualUiTicker::fire() {
    if (tick_)
        tick_();
}

void ManualUiTicker::fire(int count) {
    for (int i = 0; i < count; ++i)
        fire();
}

} // namespace tindrel
