#include "shell/apperror.h"
#include "shell/cursor_file.h"
#include "shell/window/artwork.h"

#include <QBitmap>
#include <QtTest>

using namespace lexivane;

class CursorTest : public QObject {
    Q_OBJECT
  private slots:
    void roundTripKeepsPictureAndHotspot() {
        QImage img(32, 32, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        img.setPixel(5, 7, qRgba(255, 0, 0, 255));
        img.setPixel(20, 3, qRgba(0, 0, 0, 255));
        const QCursor c = decodeCursor(encodeCursor(img, 5, 7));
        QCOMPARE(c.hotSpot(), QPoint(5, 7));
        const QImage back = c.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(back.size(), QSize(32, 32));
        QCOMPARE(QColor(back.pixel(5, 7)), QColor(255, 0, 0));
        QCOMPARE(qAlpha(back.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(back.pixel(20, 3)), 255);
    }

    void shippedHandIsAHand() {
        const QImage hand = drawHandPointer();
        const QPoint hot = handPointerHotspot();
        QVERIFY(qAlpha(hand.pixel(hot)) > 0); // the finger tip is drawn under the hotspot
        const QCursor c = decodeCursor(encodeCursor(hand, hot.x(), hot.y()));
        QCOMPARE(c.hotSpot(), hot);
    }

    void junkIsNotAPicture() {
        const QByteArray good = encodeCursor(drawHandPointer(), 12, 1);
        QList<QByteArray> bad = {QByteArray(), QByteArray("GIF89a"), good.left(6), good.left(40),
                                 good.left(good.size() - 1)};
        QByteArray badType = good;
        badType[2] = 5;
        bad << badType;
        QByteArray hugeOffset = good;
        hugeOffset[18] = '\x7f';
        bad << hugeOffset;
        QByteArray noImages = good;
        noImages[4] = 0;
        bad << noImages;
        for (const QByteArray& b : bad)
            QVERIFY_THROWS_EXCEPTION(AppError, decodeCursor(b));
        // flipped bytes anywhere never crash
        for (int i = 0; i < good.size(); i += 7) {
            QByteArray flipped = good;
            flipped[i] = char(flipped[i] ^ 0x5a);
            try {
                decodeCursor(flipped);
            } catch (const AppError&) {
            }
        }
        QVERIFY_THROWS_EXCEPTION(AppError, loadCursorFile("/nonexistent/HAND-M.CUR"));
    }
};

QTEST_MAIN(CursorTest)
#include "tst_cursor.moc"
