#pragma once

// The program's one keyboard table. Installed on the application, it sees every key press
// for every window of the program before the window does, and either acts on the store and
// consumes the press or lets it through unchanged. In order:
//   Ctrl+W / Ctrl+Q (Ctrl alone)  terminate (clean-up, then quit), even while a field is edited
//   Escape (any modifiers)        end a rename without saving; else take the focus from a text
//                                 field; consumed either way
//   a text field has the focus    everything else goes to the field
//   Ctrl+C (Ctrl alone)           copy the current file
//   Space play/pause · Return to start · Left/Right seek -/+2 s (Shift: 10 s) · Up/Down
//   previous/next file · minus/equals pitch -/+1 st · 0 pitch 0 · I/O range In/Out · L loop ·
//   R zoom out · T zoom in (with Ctrl both pass on) · Tab next transient, Shift+Tab previous
//   (Ctrl or Alt extends the range); other modifiers are ignored; other keys pass on.
// Keys are physical places: matched by the native scan code (an XKB key code) where the
// platform gives one, else by Qt::Key. W, Q and C are matched by their character; Caps Lock
// (read from the native modifiers) makes Ctrl no longer alone. While a menu or a modal dialog
// is open every key is theirs. Each press is decided once, where it is first delivered; its
// later deliveries (to the focused widget, then up the parents) follow that decision.
//
// GUI thread only. It acts on the store it is given and never owns it; `terminate` is the
// application's way out.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QKeyEvent;

namespace tindrel {

class TindrelStore;

class KeyShortcutFilter : public QObject {
    Q_OBJECT
public:
    KeyShortcutFilter(TindrelStore& store, std::function<void()> terminate,
                      QObject* parent = nullptr);

    // One key press through the table; true when it was consumed.
    bool handleKeyPress(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The press let through last and where it goes next.
    struct PassedOnPress {
        const QEvent* press = nullptr; // compared, never read: it may be gone
        int key = 0;
        quint64 timestamp = 0;
        bool toAnyWidget = false; // from a window to whichever widget has the focus
        QPointer<QWidget> nextReceiver;
    };

    bool isPassedOnPress(const QObject* receiver, const QEvent* event) const;
    void passOn(QObject* receiver, const QEvent* event);

    TindrelStore& store_;
    std::function<void()> terminate_;
    PassedOnPress passedOn_;
};

} // namespace tindrel
