#include "Tindrel/shell/TindrelMainWindow.h"

#include "Tindrel/mainwindow/TindrelMainView.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace tindrel {

TindrelMainWindow::TindrelMainWindow(TindrelStore& store)
    : QWidget(nullptr), view_(new TindrelMainView(store, this)) {
    setWindowTitle(QStringLiteral("Tindrel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    setMinimumSize(TindrelMainView::minimumContentSize);
    resize(TindrelMainView::idealSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), TindrelMainView::idealSize);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TindrelMainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closing();
}

} // namespace tindrel
