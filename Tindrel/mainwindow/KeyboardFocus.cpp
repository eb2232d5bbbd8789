#include "Tindrel/mainwindow/KeyboardFocus.h"

#include <QWidget>

namespace tindrel {

void releaseKeyboardFocus(QWidget& anyWidgetOfWindow) {
    if (QWidget* focused = anyWidgetOfWindow.window()->focusWidget())
        focused->clearFocus();
}

} // namespace tindrel
