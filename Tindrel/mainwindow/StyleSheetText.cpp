#include "Tindrel/mainwindow/StyleSheetText.h"

namespace tindrel {

QString styleSheetColor(const QColor& color) {
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

QString darkMenuStyleSheet() {
    return QStringLiteral(
        "QMenu { background: rgb(36,39,46); color: white; border: 1px solid "
        "rgba(255,255,255,40); padding: 4px; } QMenu::item { padding: 4px 16px 4px "
        "8px; } QMenu::item:selected { background: rgb(10,132,255); } "
        "QMenu::item:disabled { color: rgba(235,235,245,153); } QMenu::separator { height: 1px; "
        "background: rgba(255,255,255,40); margin: 4px 6px; }");
}

} // namespace tindrel
