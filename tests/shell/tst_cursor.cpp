#include "apperror.h"
#include "artwork.h"
#include "cursor_file.h"

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

    // The file holds the hand at 32, 48 and 64 pixels: a screen of a higher pixel ratio gets
    // the finer picture at the same size, with the same hotspot.
    void finerPicturesForFinerScreens() {
        QList<CursorPicture> pictures;
        for (int size : {32, 48, 64})
            pictures.append({drawHandPointer(size), handPointerHotspot() * size / 32});
        const QByteArray file = encodeCursor(pictures);
        const struct {
            qreal ratio;
            int width;
        } cases[] = {{1, 32}, {1.25, 48}, {1.5, 48}, {2, 64}, {3, 64}};
        for (const auto& c : cases) {
            const QCursor cursor = decodeCursor(file, c.ratio);
            QCOMPARE(cursor.pixmap().width(), c.width);
            QCOMPARE(cursor.pixmap().deviceIndependentSize(), QSizeF(32, 32));
            QCOMPARE(cursor.hotSpot(), handPointerHotspot());
        }
        // a damaged finer picture: the pointer keeps the plain one
        QByteArray damaged = file;
        damaged[6 + 16 * 2 + 12] = '\x7f'; // the 64-pixel picture's offset, past the end
        QCOMPARE(decodeCursor(damaged, 2).pixmap().width(), 48);
        QCOMPARE(decodeCursor(damaged, 1).pixmap().width(), 32);
        // the shipped pointer has them
        QCOMPARE(loadCursorFile(QStringLiteral(LEXIVANE_BIN_DIR "/HAND-M.CUR"), 2).pixmap().width(),
                 64);
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
