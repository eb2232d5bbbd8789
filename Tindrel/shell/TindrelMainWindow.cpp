#include "Tindrel/shell/TindrelMainWindow.h"

#include "Tindrel/mainwindow/TindrelMainView.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

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

void TindrelMainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!painted_ && windowHandle())
        windowHandle()->installEventFilter(this);
}

bool TindrelMainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Widgets paint while the expose is handled: what is posted now runs after the paint.
    if (!painted_ && watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        painted_ = true;
        windowHandle()->removeEventFilter(this);
        QMetaObject::invokeMethod(this, &TindrelMainWindow::firstPainted, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void TindrelMainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closing();
}

} // namespace tindrel
