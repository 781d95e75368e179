#include "scripted_desktop.h"

#include "apperror.h"

#include <QRegularExpression>

namespace lexivane::testing {

int ScriptedDesktop::messageBox(const QString& text, int style, const QString& title) {
    ShownBox box{"message", text, title, style, {}, {}};
    boxes.push_back(box);
    if (onBox) onBox(box);
    if (!messageAnswers.empty()) {
        const int a = messageAnswers.front();
        messageAnswers.pop_front();
        return a;
    }
    return style == MsgYesNo ? AnswerNo : AnswerOk;
}

QString ScriptedDesktop::inputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) {
    ShownBox box{"input", prompt, title, 0, defaultText, {}};
    boxes.push_back(box);
    if (onBox) onBox(box);
    if (inputAnswers.empty()) return QString();
    QString a = inputAnswers.front();
    inputAnswers.pop_front();
    return a;
}

QString ScriptedDesktop::saveDialog(const SaveDialogRequest& request) {
    ShownBox box{"save", {}, request.title, 0, request.fileName, request};
    boxes.push_back(box);
    if (onBox) onBox(box);
    if (saveAnswers.empty()) return QString();
    QString a = saveAnswers.front();
    saveAnswers.pop_front();
    return a;
}

bool ScriptedDesktop::clipboardClear() {
    ++clipboardAttempts;
    if (clipboardFailures > 0) {
        --clipboardFailures;
        return false;
    }
    clipboard.clear();
    clipboardHasText = false;
    return true;
}

bool ScriptedDesktop::clipboardSetText(const QString& text) {
    ++clipboardAttempts;
    if (clipboardFailures > 0) {
        --clipboardFailures;
        return false;
    }
    clipboard = text;
    clipboardHasText = true;
    return true;
}

void ScriptedDesktop::yield() {
    ++yields;
    if (onYield) onYield(yields);
    if (!yieldActions.empty()) {
        auto action = std::move(yieldActions.front());
        yieldActions.pop_front();
        if (action) action();
    }
}

void ScriptedDesktop::showPointer(int pointer, const std::optional<QCursor>&) {
    pointers.push_back(pointer);
}

void ScriptedDesktop::setTopmost(bool on) {
    topmostCalls.push_back(on);
    if (failTopmost) throw AppError("The window has no handle");
    topmost = on;
}

QStringList ScriptedDesktop::reports() const {
    QStringList out;
    for (const auto& b : boxes)
        if (b.kind == "message" && b.title == "Application Error") out << b.text;
    return out;
}

std::vector<int> ScriptedDesktop::reportSteps() const {
    std::vector<int> steps;
    static const QRegularExpression at("at line (\\d+)\r\r");
    for (const QString& r : reports()) {
        const auto m = at.match(r);
        steps.push_back(m.hasMatch() ? m.captured(1).toInt() : -1);
    }
    return steps;
}

QStringList ScriptedDesktop::messages() const {
    QStringList out;
    for (const auto& b : boxes)
        if (b.kind == "message" && b.title != "Application Error") out << b.text;
    return out;
}

} // namespace lexivane::testing
