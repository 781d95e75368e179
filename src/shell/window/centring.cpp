#include "centring.h"

#include <QElapsedTimer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace lexivane {

namespace {
void centreNow(QWidget& w) {
    const QScreen* s = w.screen();
    if (!s) return;
    const QRect area = s->availableGeometry();
    const QSize frame = w.frameGeometry().size();
    w.move(area.x() + (area.width() - frame.width()) / 2,
           area.y() + (area.height() - frame.height()) / 2);
}
} // namespace

void centreOnScreen(QWidget& window) {
    centreNow(window);
    auto* wait = new QTimer(&window);
    wait->setInterval(10);
    QElapsedTimer since;
    since.start();
    QObject::connect(wait, &QTimer::timeout, &window, [&window, wait, since] {
        const bool framed = window.isVisible() && window.frameGeometry().size() != window.size();
        if (framed) centreNow(window);
        if (framed || since.elapsed() > 2000) wait->deleteLater();
    });
    wait->start();
}

} // namespace lexivane
