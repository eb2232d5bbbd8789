#include "Tindrel/mainwindow/TightRow.h"

#include <QHBoxLayout>

namespace tindrel {

QHBoxLayout* tightRow(QWidget* owner, int spacing) {
    auto* row = new QHBoxLayout(owner);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    return row;
}

QHBoxLayout* tightRow(int spacing) {
    return tightRow(nullptr, spacing);
}

} // namespace tindrel
