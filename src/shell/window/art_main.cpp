// Writes the program's pointer picture and icon: lexivane-art CURSOR.cur ICON.png

#include "artwork.h"
#include "cursor_file.h"

#include <QGuiApplication>
#include <QSaveFile>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: lexivane-art CURSOR.cur ICON.png\n");
        return 2;
    }
    // The pointer's own size first, then finer ones for screens of 1.5 and 2 pixels a pixel.
    QList<lexivane::CursorPicture> pictures;
    for (int size : {32, 48, 64})
        pictures.append(
            {lexivane::drawHandPointer(size), lexivane::handPointerHotspot() * size / 32});
    QSaveFile cursor(QString::fromLocal8Bit(argv[1]));
    if (!cursor.open(QIODevice::WriteOnly) || cursor.write(lexivane::encodeCursor(pictures)) < 0 ||
        !cursor.commit()) {
        std::fprintf(stderr, "lexivane-art: cannot write %s\n", argv[1]);
        return 1;
    }
    if (!lexivane::drawProgramIcon(256).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "lexivane-art: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
