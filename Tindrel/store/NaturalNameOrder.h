#pragma once

// The file-manager order of names: letters compared without case, runs of digits compared by
// their value ("Take 2" before "Take 10"). Independent of the user's locale. Names that this
// order finds equal are ordered by their exact text, so the order is total. Any thread.

#include <QString>

namespace tindrel {

// True when `a` goes before `b`.
bool naturalNameLess(const QString& a, const QString& b);

} // namespace tindrel
