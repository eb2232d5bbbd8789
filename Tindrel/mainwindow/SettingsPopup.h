#pragma once

// The Settings button's pop-up: a frameless window that opens just below its anchor button
// (moved as little as needed to stay inside the screen's available area),
// holding content made anew by a factory each time it opens (the previous content is
// destroyed), or nothing while no factory is set. A click outside closes it, as for any
// pop-up; it then reports dismissed(). Because that closing click may land on the anchor
// button itself, the owner asks closedMomentsAgo() before reopening. GUI thread only.

#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

namespace tindrel {

class SettingsPopup : public QWidget {
    Q_OBJECT
public:
    using ContentFactory = std::function<QWidget*(QWidget* parent)>;
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // How long after a close a click on the anchor counts as the closing click.
    static constexpr std::chrono::milliseconds sameClickWindow{250};

    explicit SettingsPopup(QWidget* parent = nullptr);

    void setContentFactory(ContentFactory makeContent);
    // Builds fresh content and shows the pop-up below `anchor`, centred on it.
    void openBelow(const QWidget& anchor);
    // Null while closed without content or before the first opening.
    QWidget* content() const { return content_; }
    bool closedMomentsAgo() const;

    // Tests replace the steady clock.
    void setClock(Clock clock) { clock_ = std::move(clock); }

signals:
    void dismissed();

protected:
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    ContentFactory makeContent_;
    QWidget* content_ = nullptr;
    Clock clock_ = [] { return std::chrono::steady_clock::now(); };
    std::optional<std::chrono::steady_clock::time_point> closedAt_;
};

} // namespace tindrel
