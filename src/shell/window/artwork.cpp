#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace lexivane {
namespace {

// A transparent square of `size` pixels, drawn on a grid of `units` by `units`.
template <typename Draw>
QImage drawScaled(int size, QImage::Format format, double units, Draw draw) {
    QImage img(size, size, format);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / units, size / units);
    draw(p);
    return img;
}

} // namespace

QImage drawProgramIcon(int size) {
    return drawScaled(size, QImage::Format_ARGB32_Premultiplied, 64, [](QPainter& p) {
        // A page of a word list with a magnifier over it.
        QLinearGradient page(0, 4, 0, 60);
        page.setColorAt(0, QColor(0xff, 0xff, 0xff));
        page.setColorAt(1, QColor(0xe4, 0xea, 0xf4));
        p.setPen(QPen(QColor(0x2f, 0x4f, 0x8f), 2));
        p.setBrush(page);
        p.drawRoundedRect(QRectF(8, 4, 40, 54), 4, 4);
        p.setPen(QPen(QColor(0x6b, 0x7f, 0xa8), 3, Qt::SolidLine, Qt::RoundCap));
        const int lengths[] = {22, 28, 16, 24, 12};
        for (int i = 0; i < 5; ++i)
            p.drawLine(QPointF(15, 14 + i * 8), QPointF(15 + lengths[i], 14 + i * 8));

        p.setPen(QPen(QColor(0x8a, 0x4b, 0x0f), 6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(46, 46), QPointF(58, 58));
        p.setPen(QPen(QColor(0xd9, 0x7a, 0x1c), 4));
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawEllipse(QPointF(38, 38), 12, 12);
    });
}

QPoint handPointerHotspot() {
    return {12, 1};
}

QImage drawHandPointer(int size) {
    return drawScaled(size, QImage::Format_ARGB32, 32, [](QPainter& p) {
        // Index finger pointing up, three bent fingers, thumb on the left, palm below.
        QPainterPath hand;
        hand.addRoundedRect(QRectF(9.5, 0.5, 5, 18), 2.5, 2.5);
        hand.addRoundedRect(QRectF(14, 9.5, 4.5, 10), 2.2, 2.2);
        hand.addRoundedRect(QRectF(18, 10.5, 4.5, 10), 2.2, 2.2);
        hand.addRoundedRect(QRectF(22, 12, 4.5, 9), 2.2, 2.2);
        QPainterPath thumb;
        thumb.moveTo(10, 17);
        thumb.lineTo(6, 13.5);
        thumb.quadTo(3, 12.5, 3.5, 16);
        thumb.lineTo(8.5, 24);
        thumb.lineTo(10, 24);
        thumb.closeSubpath();
        hand.addPath(thumb);
        hand.addRoundedRect(QRectF(8.5, 15, 18, 13.5), 4, 4);
        hand = hand.simplified();

        p.setPen(QPen(Qt::black, 1.2));
        p.setBrush(Qt::white);
        p.drawPath(hand);
        p.setPen(QPen(QColor(0x60, 0x60, 0x60), 0.8));
        p.drawLine(QPointF(14.2, 16), QPointF(14.2, 19));
        p.drawLine(QPointF(18.2, 17), QPointF(18.2, 20));
        p.drawLine(QPointF(22.2, 18), QPointF(22.2, 21));
    });
}

} // namespace lexivane
