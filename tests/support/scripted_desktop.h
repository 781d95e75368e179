#pragma once

// A desktop for tests: answers boxes from a script, records what was shown, and runs
// scripted actions inside yields.

#include "desktop.h"
#include "settings.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

namespace lexivane::testing {

struct ShownBox {
    QString kind; // "message", "input", "save"
    QString text;
    QString title;
    int style = 0;
    QString defaultText;
    SaveDialogRequest save;
};

class MemorySettings : public SettingsStore {
  public:
    QString GetSetting(const QString& app, const QString& section, const QString& key,
                       const QString& def) override {
        ++reads;
        return values.value(app + '/' + section + '/' + key, def);
    }
    void SaveSetting(const QString& app, const QString& section, const QString& key,
                     const QString& value) override {
        writes << app + '/' + section + '/' + key + '=' + value;
        values[app + '/' + section + '/' + key] = value;
    }
    QString combo1() const { return values.value("Tallowick/Lexivane/Combo1"); }
    QMap<QString, QString> values;
    QStringList writes;
    int reads = 0;
};

class ScriptedDesktop : public Desktop {
  public:
    int messageBox(const QString& text, int style, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    QString saveDialog(const SaveDialogRequest& request) override;
    bool clipboardClear() override;
    bool clipboardSetText(const QString& text) override;
    void yield() override;
    void showPointer(int pointer, const std::optional<QCursor>& custom) override;
    void setWindowTitle(const QString& title) override { titles << title; }
    void setTopmost(bool topmost) override;
    void openUrl(const QString& url) override { openedUrls << url; }
    SettingsStore& settings() override { return *settingsStore; }
    [[noreturn]] void endProgram() override {
        ended = true;
        if (onEnd) onEnd(); // what a real end leaves behind: no destructor runs after it
        throw ProgramEnded{};
    }

    // Answers, taken in order; when they run out: OK / No, an empty input, no file.
    std::deque<int> messageAnswers;
    std::deque<QString> inputAnswers;
    std::deque<QString> saveAnswers;
    // Run when a box of that kind is shown, before it is answered.
    std::function<void(const ShownBox&)> onBox;

    // Actions for the coming yields, one per yield; yields beyond them do nothing.
    std::deque<std::function<void()>> yieldActions;
    std::function<void(int yieldNumber)> onYield;
    std::function<void()> onEnd;
    int yields = 0;

    std::vector<ShownBox> boxes;
    QStringList reports() const; // texts of the error reports shown
    std::vector<int> reportSteps() const;
    QStringList messages() const; // texts of the other message boxes

    QString clipboard;
    bool clipboardHasText = false;
    int clipboardFailures = 0; // attempts to refuse before one succeeds
    int clipboardAttempts = 0;

    std::vector<int> pointers;
    QStringList titles;
    std::vector<bool> topmostCalls;
    bool topmost = false;
    bool failTopmost = false;
    QStringList openedUrls;
    bool ended = false;

    MemorySettings memorySettings;
    SettingsStore* settingsStore = &memorySettings;
};

} // namespace lexivane::testing
