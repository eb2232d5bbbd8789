#include "Tindrel/platform/ui/ApplicationLook.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>

#include <gtest/gtest.h>

using tindrel::platform::ApplicationLook;

TEST(ApplicationLook, QtDrawnSurfacesAreDarkAndSetInInter) {
    ApplicationLook::apply();
    const auto* style = qobject_cast<const QProxyStyle*>(QApplication::style());
    ASSERT_NE(style, nullptr);
    EXPECT_EQ(style->baseStyle()->name(), QStringLiteral("fusion"));

    QMenu menu;
    QScrollBar scrollBar;
    QLineEdit field;
    QFileDialog dialog;
    for (QWidget* widget : std::initializer_list<QWidget*>{&menu, &scrollBar, &field, &dialog}) {
        const QPalette palette = widget->palette();
        const char* name = widget->metaObject()->className();
        EXPECT_LT(palette.color(QPalette::Window).lightness(), 60) << name;
        EXPECT_LT(palette.color(QPalette::Base).lightness(), 60) << name;
        EXPECT_EQ(palette.color(QPalette::WindowText), QColor(Qt::white)) << name;
        EXPECT_EQ(palette.color(QPalette::Text), QColor(Qt::white)) << name;
        EXPECT_EQ(widget->font().family(), QStringLiteral("Inter")) << name;
    }
    EXPECT_LT(QToolTip::palette().color(QPalette::ToolTipBase).lightness(), 80);
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipText), QColor(Qt::white));
    EXPECT_EQ(QToolTip::font().family(), QStringLiteral("Inter"));
}
