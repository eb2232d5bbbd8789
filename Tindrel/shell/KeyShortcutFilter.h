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
// platform gives one, else by Qt::Key. W, Q and C are matched by their character. While a
// menu or a modal dialog is open every key is theirs.
//
// GUI thread only. It acts on the store it is given and never owns it; `terminate` is the
// application's way out.

#include <QObject>

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
    TindrelStore& store_;
    std::function<void()> terminate_;
};

} // namespace tindrel
