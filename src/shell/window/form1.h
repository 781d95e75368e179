#pragma once

#include "shell/desktop.h"
#include "shell/window/results_model.h"

#include <QCursor>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QComboBox;
class QGroupBox;
class QPushButton;
class QTreeView;
class QCloseEvent;

namespace lexivane {

class Steps;
namespace ado {
class Object;
}

// What the window needs from outside; tests replace every part of it.
struct AppContext {
    Desktop* desktop = nullptr;
    QString programFolder; // no trailing separator
    // Uniform draw from [0, 1); empty: seeded from the time of day.
    std::function<double()> random;
};

// The save dialog's settings; the chosen name stays between showings.
struct CommonDialog {
    int Flags = 0;
    QString DialogTitle;
    QString Filter;   // "description|pattern|description|pattern|"
    QString FileName; // full path after ShowSave, empty when nothing was chosen
    void ShowSave(Desktop& desktop);
};

// The skin engine: a skin file is a Qt style sheet applied to the window.
class SkinEngine {
  public:
    // Throws when the file cannot be read or is not text.
    void LoadSkin(const QString& path, const QString& iniFileName);
    int Options = 0;
    bool ApplyOptions = false;
    bool ApplyDialogs = false;
    void ApplyWindow(QWidget* window);
    bool loaded() const { return loaded_; }

  private:
    QString sheet_;
    bool loaded_ = false;
};

class Form1 : public QWidget {
    Q_OBJECT
  public:
    explicit Form1(AppContext context, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up and shut-down.
    void Form_Load();
    void Form_QueryUnload(bool& cancel, int unloadMode);
    void Form_Unload(bool& cancel);

    // Commands.
    void Combo1_Click();
    void Combo1_Change();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void ListView1_KeyDown(int& keyCode, int shift);
    void ListView1_DblClick();

    // Hover feedback.
    void hoverOverButton();
    void hoverOverSurface();

    // Window-wide pointer: 0 default, 1 arrow, 11 busy, 99 custom picture.
    int MousePointer() const { return mousePointer_; }
    void setMousePointer(int value);
    std::optional<QCursor> MouseIcon;

    // Sets Combo1's selected index, raising the click notification when it changes.
    void setComboListIndex(int index);

    // Title bar text, through the desktop (cheap even when set for every row).
    void setCaption(const QString& caption);
    QString caption() const { return caption_; }

    // Pixels for a length in twips at the screen's logical DPI.
    int px(int twips) const;

    Desktop& desktop() const { return *context_.desktop; }
    const QString& programFolder() const { return context_.programFolder; }

    // Controls, named as the window defines them.
    QGroupBox* Frame1 = nullptr;
    QComboBox* Combo1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    CommonDialog CommonDialog1;
    QTreeView* ListView1 = nullptr;
    ResultsModel* ListItems = nullptr; // ListView1's items and header
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
    SkinEngine SkinFramework1;

    bool stopFlag = false;

    // A save in progress registers its file here so that an end of the program inside
    // one of its yields can drop the unfinished copy.
    std::function<void()> abandonSave;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    void OpenHomePageAtRandom();
    void buildAndOpenQuery(Steps& steps, ado::Object* recordset);
    void loadRows(Steps& steps, ado::Object* recordset, int eofStep);
    void showTotal(); // "Result(s) - Total Words: " and the count

    AppContext context_;
    int mousePointer_ = 0;
    QString caption_;
};

// Message texts the window shows, kept together so tests can name them.
namespace Text {
inline const QString mustBeNumeric = QStringLiteral("Must be a numeric entry.");
inline const QString resultsHeader = QStringLiteral("Result(s)");
inline const QString totalWords = QStringLiteral("Result(s) - Total Words: ");
inline const QString stop = QStringLiteral("Stop");
} // namespace Text

} // namespace lexivane
