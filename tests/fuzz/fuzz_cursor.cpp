// Any bytes in HAND-M.CUR give a pointer picture of at most 256 by 256 with its hotspot on it,
// or the one "Invalid picture" failure that leaves the arrow; never a crash and never a picture
// sized by a field the reader did not check.

#include "apperror.h"
#include "cursor_file.h"

#include <QByteArray>
#include <QCursor>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace lexivane;

namespace {

// QPixmap and QCursor need a GUI application; the tests' platform does without a display.
void needApplication() {
    static int argc = 1;
    static char name[] = "fuzz_cursor";
    static char* argv[] = {name, nullptr};
    if (QGuiApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
}

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fuzz_cursor: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    needApplication();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // As a plain screen reads it, and as one of two pixels a pixel, which may pick another
    // picture of the file.
    for (const qreal ratio : {1.0, 2.0}) {
        QCursor cursor;
        try {
            cursor = decodeCursor(bytes, ratio);
        } catch (const AppError& e) {
            if (e.description() != QStringLiteral("Invalid picture"))
                fault("a failure other than Invalid picture");
            return 0;
        }
        const QPixmap picture = cursor.pixmap();
        if (picture.isNull()) fault("a cursor without a picture");
        if (picture.width() > 256 || picture.height() > 256) fault("a picture over 256 pixels");
        const QSizeF logical = picture.deviceIndependentSize();
        const QPoint hot = cursor.hotSpot();
        if (hot.x() < 0 || hot.y() < 0 || hot.x() >= logical.width() + 0.5 ||
            hot.y() >= logical.height() + 0.5)
            fault("the hotspot is off the picture");
    }
    return 0;
}
