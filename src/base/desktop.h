#pragma once

// Everything the handlers need from the desktop goes through this seam, so that
// every modal box can be answered and checked in a test without a display.

#include <QCursor>
#include <QString>
#include <QStringList>
#include <optional>

namespace lexivane {

class SettingsStore;

// Message box style values and answers, as the handlers use them.
enum MsgStyle { MsgOk = 0, MsgYesNo = 4, MsgExclamation = 48 };
enum MsgAnswer { AnswerOk = 1, AnswerYes = 6, AnswerNo = 7 };

// The main window's pointer setting.
enum Pointer { PointerDefault = 0, PointerArrow = 1, PointerBusy = 11, PointerCustom = 99 };

struct SaveDialogRequest {
    QString title;
    QStringList filters; // "description|pattern" pairs, first one selected
    QString fileName;    // offered again from the last save
};

// Thrown by a desktop whose program end cannot stop the process (the test double):
// no handler may catch it.
struct ProgramEnded {};

class Desktop {
  public:
    virtual ~Desktop() = default;

    virtual int messageBox(const QString& text, int style, const QString& title) = 0;
    // Cancel and the close box give an empty text.
    virtual QString inputBox(const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;
    // The chosen full path, or empty when nothing was chosen.
    virtual QString saveDialog(const SaveDialogRequest& request) = 0;

    // One attempt each; false when the clipboard could not be had.
    virtual bool clipboardClear() = 0;
    virtual bool clipboardSetText(const QString& text) = 0;

    // Let the window system process all pending events once.
    virtual void yield() = 0;
    // The same, once per row or cell of a long loop (the save, the copy): may do nothing when
    // the last yield was a moment ago.
    virtual void yieldBetweenRows() { yield(); }

    // The main window's pointer (a Pointer value; the custom picture for PointerCustom),
    // its title and its place in the stacking order.
    virtual void showPointer(int pointer, const std::optional<QCursor>& custom) = 0;
    virtual void setWindowTitle(const QString& title) = 0;
    // Throws AppError when the window has no native handle.
    virtual void setTopmost(bool topmost) = 0;
    // Starts the opener without waiting for it; throws AppError when it cannot start.
    virtual void openUrl(const QString& url) = 0;

    virtual SettingsStore& settings() = 0;

    // Ends the program at once; does not return.
    [[noreturn]] virtual void endProgram() = 0;
};

} // namespace lexivane
