#include "Tindrel/shell/KeyShortcutFilter.h"

#include "Tindrel/store/TindrelStore.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace tindrel {

namespace {

enum class TableKey {
    none,
    space,
    returnKey,
    left,
    right,
    up,
    down,
    minus,
    equals,
    digitZero,
    setIn,
    setOut,
    loop,
    zoomOut,
    zoomIn,
    tab,
    escape
};

// Where each key of the table sits: its XKB key code (the same on X11 and Wayland) and, for
// platforms that give no scan code, the key as Qt names it on a US layout.
struct KeyPlace {
    quint32 scanCode;
    int qtKey;
    TableKey key;
};

constexpr KeyPlace keyPlaces[] = {
    {65, Qt::Key_Space, TableKey::space}, {36, Qt::Key_Return, TableKey::returnKey},
    {113, Qt::Key_Left, TableKey::left},  {114, Qt::Key_Right, TableKey::right},
    {111, Qt::Key_Up, TableKey::up},      {116, Qt::Key_Down, TableKey::down},
    {20, Qt::Key_Minus, TableKey::minus}, {21, Qt::Key_Equal, TableKey::equals},
    {19, Qt::Key_0, TableKey::digitZero}, {31, Qt::Key_I, TableKey::setIn},
    {32, Qt::Key_O, TableKey::setOut},    {46, Qt::Key_L, TableKey::loop},
    {27, Qt::Key_R, TableKey::zoomOut},   {28, Qt::Key_T, TableKey::zoomIn},
    {23, Qt::Key_Tab, TableKey::tab},     {9, Qt::Key_Escape, TableKey::escape},
};

TableKey tableKey(const QKeyEvent& event) {
    const quint32 scanCode = event.nativeScanCode();
    for (const KeyPlace& place : keyPlaces)
        if (scanCode != 0 ? place.scanCode == scanCode : place.qtKey == event.key())
            return place.key;
    if (scanCode == 0 && event.key() == Qt::Key_Backtab)
        return TableKey::tab;
    return TableKey::none;
}

// The Lock bit of the native modifier state: X11's state mask and xkb's (Wayland) both keep
// it there, and Qt::KeyboardModifiers has no Caps Lock. Platforms that give no native state
// give 0.
constexpr quint32 nativeLockMask = 0x2;

// Ctrl with no Shift, Alt, Meta or Caps Lock beside it.
bool isCtrlAlone(const QKeyEvent& event) {
    const Qt::KeyboardModifiers held =
        event.modifiers() &
        (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    return held == Qt::ControlModifier && !(event.nativeModifiers() & nativeLockMask);
}

bool isTextField(const QWidget* widget) {
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget);
}

// An open menu or a modal dialog (the open panels) is navigated with the same keys.
bool keysBelongElsewhere() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget()) ||
           QApplication::activeModalWidget();
}

} // namespace

KeyShortcutFilter::KeyShortcutFilter(TindrelStore& store, std::function<void()> terminate,
                                     QObject* parent)
    : QObject(parent), store_(store), terminate_(std::move(terminate)) {}

bool KeyShortcutFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease)
        passedOn_ = {};
    if (event->type() != QEvent::KeyPress)
        return false;
    // One press comes by several times: to the window, to the focused widget, then to each
    // parent while none accepts it. The table decides at its first sight only: a Return that
    // a field used (and gave its focus away on) is not read again on its way up.
    if (isPassedOnPress(watched, event)) {
        passOn(watched, event);
        return false;
    }
    passedOn_ = {};
    if (handleKeyPress(*static_cast<QKeyEvent*>(event)))
        return true;
    passOn(watched, event);
    return false;
}

bool KeyShortcutFilter::isPassedOnPress(const QObject* receiver, const QEvent* event) const {
    const auto* press = static_cast<const QKeyEvent*>(event);
    if (press != passedOn_.press || press->key() != passedOn_.key ||
        press->timestamp() != passedOn_.timestamp || !receiver->isWidgetType())
        return false;
    return passedOn_.toAnyWidget || receiver == passedOn_.nextReceiver;
}

void KeyShortcutFilter::passOn(QObject* receiver, const QEvent* event) {
    // A window hands the press to its focused widget; a widget that ignores it, to its parent.
    const auto* press = static_cast<const QKeyEvent*>(event);
    const auto* widget = qobject_cast<const QWidget*>(receiver);
    passedOn_.press = press;
    passedOn_.key = press->key();
    passedOn_.timestamp = press->timestamp();
    passedOn_.toAnyWidget = receiver->isWindowType();
    passedOn_.nextReceiver = widget && !widget->isWindow() ? widget->parentWidget() : nullptr;
}

bool KeyShortcutFilter::handleKeyPress(const QKeyEvent& event) {
    if (keysBelongElsewhere())
        return false;

    if (isCtrlAlone(event) && (event.key() == Qt::Key_W || event.key() == Qt::Key_Q)) {
        terminate_();
        return true;
    }

    const TableKey key = tableKey(event);
    QWidget* focused = QApplication::focusWidget();
    const bool editingText = isTextField(focused);
    if (key == TableKey::escape) {
        if (store_.isRenamingCurrentFile.get())
            store_.isRenamingCurrentFile = false;
        else if (editingText)
            focused->clearFocus();
        return true;
    }
    if (editingText)
        return false;

    if (isCtrlAlone(event) && event.key() == Qt::Key_C) {
        store_.copyFileToPasteboard();
        return true;
    }

    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    switch (key) {
    case TableKey::space:
        store_.togglePlayPause();
        return true;
    case TableKey::returnKey:
        store_.jumpToStart();
        return true;
    case TableKey::left:
        store_.seekRelative(shift ? -10.0 : -2.0);
        return true;
    case TableKey::right:
        store_.seekRelative(shift ? 10.0 : 2.0);
        return true;
    case TableKey::up:
        store_.stepSibling(-1);
        return true;
    case TableKey::down:
        store_.stepSibling(+1);
        return true;
    case TableKey::minus:
        store_.stepPitchSemitones(-1.0f);
        return true;
    case TableKey::equals:
        store_.stepPitchSemitones(+1.0f);
        return true;
    case TableKey::digitZero:
        store_.setPitchSemitones(0.0f);
        return true;
    case TableKey::setIn:
        store_.setLoopInAtPlayhead();
        return true;
    case TableKey::setOut:
        store_.setLoopOutAtPlayhead();
        return true;
    case TableKey::loop:
        store_.isLoopEnabled = !store_.isLoopEnabled.get();
        return true;
    case TableKey::zoomOut:
        if (ctrl)
            return false;
        store_.zoomOutWaveform();
        return true;
    case TableKey::zoomIn:
        if (ctrl)
            return false;
        store_.zoomInWaveform();
        return true;
    case TableKey::tab: {
        // Desktops keep Alt+Tab for themselves, so Ctrl extends the range; Alt still does
        // where it arrives.
        const bool extend = ctrl || modifiers.testFlag(Qt::AltModifier);
        if (shift || event.key() == Qt::Key_Backtab)
            store_.jumpToPreviousTransient(extend);
        else
            store_.jumpToNextTransient(extend);
        return true;
    }
    case TableKey::escape:
    case TableKey::none:
        break;
    }
    return false;
}

} // namespace tindrel
