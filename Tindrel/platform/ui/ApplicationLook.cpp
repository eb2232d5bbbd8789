#include "Tindrel/platform/ui/ApplicationLook.h"

#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolTip>

namespace tindrel::platform {

namespace {

// The dark ground of the main window; surfaces are white at low opacity over it.
const QColor ground = QColor::fromRgbF(0.08f, 0.10f, 0.15f);

QColor over(const QColor& top, const QColor& bottom) {
    const qreal a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + bottom.redF() * (1 - a),
                            top.greenF() * a + bottom.greenF() * (1 - a),
                            top.blueF() * a + bottom.blueF() * (1 - a));
}

// Fusion, except that a left click on a slider's track puts the thumb there instead of paging
// it by a step too small to see, and that a tool tip's frame is a faint line rather than one
// in its text's white.
class ApplicationStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton | Qt::MiddleButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element != PE_PanelTipLabel)
            return QProxyStyle::drawPrimitive(element, option, painter, widget);
        painter->fillRect(option->rect, option->palette.toolTipBase());
        painter->setPen(over(SystemColors::white(0.3), option->palette.toolTipBase().color()));
        painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
    }
};

} // namespace

QPalette ApplicationLook::palette() {
    QPalette palette;
    const QColor text = SystemColors::primaryLabel();
    const QColor secondary = over(SystemColors::secondaryLabel(), ground);
    const QColor surface = over(SystemColors::white(0.10), ground);
    palette.setColor(QPalette::Window, ground);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, over(SystemColors::white(0.06), ground));
    palette.setColor(QPalette::AlternateBase, over(SystemColors::white(0.09), ground));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::PlaceholderText, secondary);
    palette.setColor(QPalette::Button, surface);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, SystemColors::red());
    palette.setColor(QPalette::ToolTipBase, over(SystemColors::white(0.16), ground));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Highlight, SystemColors::blue());
    palette.setColor(QPalette::HighlightedText, SystemColors::white());
    palette.setColor(QPalette::Link, SystemColors::cyan());
    palette.setColor(QPalette::LinkVisited, SystemColors::purple());
    palette.setColor(QPalette::Light, over(SystemColors::white(0.22), ground));
    palette.setColor(QPalette::Midlight, over(SystemColors::white(0.16), ground));
    palette.setColor(QPalette::Mid, over(SystemColors::white(0.06), ground));
    palette.setColor(QPalette::Dark, over(SystemColors::black(0.4), ground));
    palette.setColor(QPalette::Shadow, SystemColors::black());
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, over(SystemColors::secondaryLabel(0.6), ground));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, SystemColors::gray(0.5));
    return palette;
}

void ApplicationLook::apply() {
    // Fusion draws every control from the palette; the desktop's own style may not.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(new ApplicationStyle(fusion));
    const QPalette dark = palette();
    QApplication::setPalette(dark);
    QToolTip::setPalette(dark);
    const QFont inter = SystemFont::font(13);
    QApplication::setFont(inter);
    QToolTip::setFont(SystemFont::font(12));
}

} // namespace tindrel::platform
