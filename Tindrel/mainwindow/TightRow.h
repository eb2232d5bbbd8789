#pragma once

// A horizontal layout on `owner` with no margins and the given spacing: the rows that the
// views' own fills and paddings surround. GUI thread only; the layout belongs to `owner`.

class QHBoxLayout;
class QWidget;

namespace tindrel {

QHBoxLayout* tightRow(QWidget* owner, int spacing);
// The same, for a parent layout to take.
QHBoxLayout* tightRow(int spacing);

} // namespace tindrel
