#include "Tindrel/platform/ui/SymbolImages.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace tindrel::platform {

namespace {

QString resourcePath(const QString& name) {
    return QStringLiteral(":/symbols/") + name + QStringLiteral(".svg");
}

QHash<QString, QPixmap>& cache() {
    static QHash<QString, QPixmap> pixmaps;
    return pixmaps;
}

} // namespace

bool SymbolImages::contains(const QString& name) {
    return !name.isEmpty() && QFile::exists(resourcePath(name));
}

QStringList SymbolImages::names() {
    QStringList result;
    const QStringList files =
        QDir(QStringLiteral(":/symbols")).entryList({QStringLiteral("*.svg")}, QDir::Files);
    for (const QString& file : files)
        result << file.chopped(4);
    result.sort();
    return result;
}

QPixmap SymbolImages::pixmap(const QString& name, const QSize& size, const QColor& tint,
                             qreal devicePixelRatio) {
    if (size.isEmpty() || !contains(name))
        return {};
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QString key = name + QLatin1Char('|') + QString::number(size.width()) + QLatin1Char('x') +
                        QString::number(size.height()) + QLatin1Char('|') +
                        QString::number(tint.rgba(), 16) + QLatin1Char('|') +
                        QString::number(qRound(ratio * 100));
    if (const auto found = cache().constFind(key); found != cache().constEnd())
        return *found;

    QSvgRenderer renderer(resourcePath(name));
    const QSize pixels(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QSizeF drawn =
            renderer.defaultSize().isEmpty() ? QSizeF(pixels) : QSizeF(renderer.defaultSize());
        drawn.scale(QSizeF(pixels), Qt::KeepAspectRatio);
        renderer.render(&painter, QRectF(QPointF((pixels.width() - drawn.width()) / 2,
                                                 (pixels.height() - drawn.height()) / 2),
                                         drawn));
        // Whatever colour the file uses, only its coverage is kept: the tint fills it.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), tint);
    }
    QPixmap result = QPixmap::fromImage(image);
    result.setDevicePixelRatio(ratio);
    cache().insert(key, result);
    return result;
}

void SymbolImages::draw(QPainter& painter, const QRectF& target, const QString& name,
                        const QColor& tint) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize size(int(std::ceil(target.width())), int(std::ceil(target.height())));
    const QPixmap image = pixmap(name, size, tint, ratio);
    if (!image.isNull())
        painter.drawPixmap(QPointF(target.x(), target.y()), image);
}

} // namespace tindrel::platform
