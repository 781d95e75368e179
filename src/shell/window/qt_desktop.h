#pragma once

#include "desktop.h"
#include "settings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace lexivane {

// The desktop as Qt offers it.
class QtDesktop : public Desktop {
  public:
    // The settings in this platform's per-user store, or in a file under `settingsFolder`.
    QtDesktop();
    explicit QtDesktop(QString settingsFolder);

    int messageBox(const QString& text, int style, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    QString saveDialog(const SaveDialogRequest& request) override;
    bool clipboardClear() override;
    bool clipboardSetText(const QString& text) override;
    void yield() override;
    void yieldBetweenRows() override;
    void showPointer(int pointer, const std::optional<QCursor>& custom) override;
    void setWindowTitle(const QString& title) override;
    void setTopmost(bool topmost) override;
    void openUrl(const QString& url) override;
    SettingsStore& settings() override { return *settings_; }
    [[noreturn]] void endProgram() override;

    // The window that pointer, title and stacking apply to, and that boxes are centred on.
    void setMainWindow(QWidget* window) { mainWindow_ = window; }

  private:
    void flushTitle();
    QWidget* boxParent() const;
    void placeBox(QWidget& box) const;

    std::unique_ptr<SettingsStore> settings_;
    QPointer<QWidget> mainWindow_;
    QString pendingTitle_;
    bool titlePending_ = false;
    QElapsedTimer titleClock_;
    QElapsedTimer yieldClock_;
    QObject timers_; // a late title flush dies with the desktop
};

// The pointer picture as this platform takes it.
QCursor forThisPlatform(const QCursor& cursor);

// Box text as the box shows it: CR, LF and CR LF each break the line once.
QString displayText(const QString& text);

} // namespace lexivane
