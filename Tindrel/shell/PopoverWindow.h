#pragma once

// A popover on Linux: a frameless Qt::Popup window around one content widget, sized to the
// content's fixed size. Clicking anywhere outside closes it (Qt closes a popup on an outside
// press); such a close "by itself" is remembered for a moment, because the same click may
// reach the tray icon right after and must not open the popover again.
//
// GUI thread only. The window owns its content; its owner owns the window.

#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

namespace tindrel {

class PopoverWindow : public QWidget {
    Q_OBJECT
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // How long after closing by itself a click on the opener still counts as the closing one.
    static constexpr std::chrono::milliseconds sameClickWindow{250};

    explicit PopoverWindow(QWidget* content, QWidget* parent = nullptr);

    QWidget& content() const { return *content_; }

    // Shows the popover below `anchor`, or at `cursor` when the anchor is empty, inside the
    // available area of the screen there (see popoverTopLeft), and gives it the focus.
    void showNear(const QRect& anchor, const QPoint& cursor);
    // Closes on the program's request (a toggle, "Open Window"): not a close by itself.
    void closePopover();
    // Whether the popover closed by itself within the last sameClickWindow.
    bool closedItselfJustNow() const;

    // Tests replace the clock to step over sameClickWindow without waiting.
    void setClock(Clock clock) { clock_ = std::move(clock); }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* content_;
    Clock clock_;
    bool closingOnRequest_ = false;
    std::optional<std::chrono::steady_clock::time_point> closedItselfAt_;
};

} // namespace tindrel
