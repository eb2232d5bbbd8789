#pragma once

// Takes the keyboard focus from whatever widget of this widget's window holds it, so the
// window's keys reach the key table again (a text field stops taking them). GUI thread only.

class QWidget;

namespace tindrel {

void releaseKeyboardFocus(QWidget& anyWidgetOfWindow);

} // namespace tindrel
