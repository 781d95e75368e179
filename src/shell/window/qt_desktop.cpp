#include "qt_desktop.h"

#include "accessibility.h"
#include "apperror.h"
#include "centring.h"
#include "clipboard_handover.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <cstdio>
#include <cstdlib>

namespace lexivane {

QString displayText(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(u'\r', u'\n');
    return t;
}

QtDesktop::QtDesktop() : settings_(userSettingsStore()) {}

QtDesktop::QtDesktop(QString settingsFolder)
    : settings_(std::make_unique<FileSettingsStore>(std::move(settingsFolder))) {}

QWidget* QtDesktop::boxParent() const {
    // A box shown before the window is (at start-up) belongs to no window.
    return mainWindow_ && mainWindow_->isVisible() ? mainWindow_.data() : nullptr;
}

void QtDesktop::placeBox(QWidget& box) const {
    // Qt centres a box on its window; one without a window goes in the middle of the screen.
    if (box.parentWidget()) return;
    box.adjustSize();
    centreOnScreen(box);
}

int QtDesktop::messageBox(const QString& text, int style, const QString& title) {
    QMessageBox box(boxParent());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(title);
    box.setText(displayText(text));
    box.setTextFormat(Qt::PlainText);
    // The text, a web address included, can be selected and copied from the keyboard.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // QMessageBox leaves its text to click focus only: Tab must reach it too.
    for (QLabel* label : box.findChildren<QLabel*>())
        if (label->textInteractionFlags() & Qt::TextSelectableByKeyboard)
            label->setFocusPolicy(Qt::StrongFocus);
    const bool yesNo = (style & 0x7) == MsgYesNo;
    if ((style & 0x70) == MsgExclamation) box.setIcon(QMessageBox::Warning);
    if (yesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    placeBox(box);
    const int result = box.exec();
    if (yesNo) return result == QMessageBox::Yes ? AnswerYes : AnswerNo;
    return AnswerOk;
}

QString QtDesktop::inputBox(const QString& prompt, const QString& title,
                            const QString& defaultText) {
    QInputDialog dialog(boxParent());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    // Wide enough that the window manager shows the whole title (the dialog sizes itself to
    // its field).
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setMinimumWidth(dialog.fontMetrics().horizontalAdvance(title) * 2 + 80);
    placeBox(dialog);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

QString QtDesktop::saveDialog(const SaveDialogRequest& request) {
    QFileDialog dialog(boxParent(), request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The command asks about overwriting itself; the desktop's own dialog may not behave
    // alike, so the portable one is used.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    QStringList filters;
    for (const QString& pair : request.filters) {
        QString description = pair.section(u'|', 0, 0);
        QString pattern = pair.section(u'|', 1);
        // "*.*" is every file where it comes from; here it would skip names without a dot.
        if (pattern == QLatin1String("*.*"))
            description.replace(QLatin1String("(*.*)"), QLatin1String("(*)"));
        filters << description;
    }
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.first());
    if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
    placeBox(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

bool QtDesktop::clipboardClear() {
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    return true;
}

bool QtDesktop::clipboardSetText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(text, QClipboard::Clipboard);
    return clipboard->ownsClipboard() || !QGuiApplication::platformName().startsWith(u"xcb");
}

void QtDesktop::yield() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    yieldClock_.start();
}

void QtDesktop::yieldBetweenRows() {
    // A copy yields three times per row: a quarter of a million rows would spend seconds
    // asking an idle window system for events. Events that arrive are still handled
    // within a millisecond, which no one can tell from every call.
    if (yieldClock_.isValid() && yieldClock_.nsecsElapsed() < 1'000'000) return;
    yield();
}

QCursor forThisPlatform(const QCursor& cursor) {
    // The X platform hands a picture to the server as it is, hotspot and all: for a finer
    // picture (pixel ratio 2) the hotspot must count its pixels, not the pointer's.
    const qreal ratio = cursor.pixmap().devicePixelRatio();
    if (ratio == 1 || !QGuiApplication::platformName().startsWith(u"xcb")) return cursor;
    return QCursor(cursor.pixmap(), qRound(cursor.hotSpot().x() * ratio),
                   qRound(cursor.hotSpot().y() * ratio));
}

void QtDesktop::showPointer(int pointer, const std::optional<QCursor>& custom) {
    if (!mainWindow_) return;
    const bool wasBusy = windowBusy(*mainWindow_);
    switch (pointer) {
    case PointerDefault:
        mainWindow_->unsetCursor();
        break;
    case PointerBusy:
        mainWindow_->setCursor(Qt::WaitCursor);
        break;
    case PointerCustom:
        mainWindow_->setCursor(custom ? forThisPlatform(*custom) : QCursor(Qt::ArrowCursor));
        break;
    default:
        mainWindow_->setCursor(Qt::ArrowCursor);
        break;
    }
    if (windowBusy(*mainWindow_) != wasBusy) announceBusy(*mainWindow_);
}

void QtDesktop::setWindowTitle(const QString& title) {
    // A copy sets the title for every row; the window system hears the latest one at
    // most every few milliseconds, and always the last one.
    pendingTitle_ = title;
    if (!titleClock_.isValid() || titleClock_.elapsed() >= 40) {
        flushTitle();
        return;
    }
    if (!titlePending_) {
        titlePending_ = true;
        QTimer::singleShot(40, &timers_, [this] { flushTitle(); });
    }
}

void QtDesktop::flushTitle() {
    titlePending_ = false;
    titleClock_.start();
    if (mainWindow_ && mainWindow_->windowTitle() != pendingTitle_)
        mainWindow_->setWindowTitle(pendingTitle_);
}

void QtDesktop::setTopmost(bool topmost) {
    QWindow* handle = mainWindow_ ? mainWindow_->windowHandle() : nullptr;
    if (!handle) throw AppError(QStringLiteral("The window has no handle"));
    // The QWindow flag changes the stacking only; the widget flag would hide and
    // re-create the window.
    handle->setFlag(Qt::WindowStaysOnTopHint, topmost);
    if (topmost) handle->raise();
}

void QtDesktop::openUrl(const QString& url) {
    if (!QDesktopServices::openUrl(QUrl(url)))
        throw AppError(QStringLiteral("Cannot open %1").arg(url));
}

void QtDesktop::endProgram() {
    // The program ends at once, and shows that it does; but words copied to the clipboard
    // stay pasteable, so the desktop's clipboard manager may take them over first.
    for (QWidget* w : QApplication::topLevelWidgets())
        w->hide();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    handOverClipboard(1000);
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace lexivane
