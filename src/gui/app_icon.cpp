#include "gui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillet {

QIcon AppIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        // An envelope with a quill across it.
        painter.setPen(QPen(QColor(0x1f, 0x4e, 0x79), s / 24));
        painter.setBrush(QColor(0xe8, 0xf1, 0xfa));
        const QRectF envelope(s * 0.08, s * 0.28, s * 0.84, s * 0.56);
        painter.drawRoundedRect(envelope, s * 0.05, s * 0.05);
        QPainterPath flap;
        flap.moveTo(envelope.topLeft());
        flap.lineTo(envelope.center().x(), envelope.top() + envelope.height() * 0.55);
        flap.lineTo(envelope.topRight());
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(flap);
        QPainterPath quill;
        quill.moveTo(s * 0.30, s * 0.92);
        quill.cubicTo(s * 0.45, s * 0.55, s * 0.70, s * 0.25, s * 0.95, s * 0.05);
        quill.cubicTo(s * 0.80, s * 0.35, s * 0.60, s * 0.60, s * 0.30, s * 0.92);
        painter.setPen(QPen(QColor(0x8a, 0x4b, 0x08), s / 40));
        painter.setBrush(QColor(0xf2, 0xa5, 0x3a));
        painter.drawPath(quill);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace quillet
