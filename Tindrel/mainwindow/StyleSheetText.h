#pragma once

// Texts for Qt style sheets of the few standard widgets the views keep (menus, fields): a
// colour in style-sheet form, and the one dark look of every pop-up menu. Pure functions.

#include <QColor>
#include <QString>

namespace tindrel {

// "rgba(r,g,b,a)" with a from 0 to 255.
QString styleSheetColor(const QColor& color);
// Dark menus on the dark window whatever the desktop theme; disabled items read as headings.
QString darkMenuStyleSheet();

} // namespace tindrel
