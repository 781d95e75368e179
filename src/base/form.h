#pragma once

// Form1 as its handlers see it: the window's own state, what the handlers share, and a
// narrow view of the controls they touch. The window implements the controls with its
// widgets; tests implement them with plain values, so every handler runs without a
// display.

#include "ado.h"
#include "desktop.h"
#include "steps.h"

#include <QCursor>
#include <QString>
#include <functional>
#include <optional>

namespace lexivane {

class ResultsModel;

// What start-up and the handlers take from outside; tests replace every part of it.
struct AppContext {
    Desktop* desktop = nullptr;
    QString programFolder; // no trailing separator
    // Uniform draw from [0, 1); empty: seeded from the time of day.
    std::function<double()> random;
    // Tests: make any step of any handler fail.
    StepFaultHook stepFault;
    // What the data objects the handlers create run with.
    ado::Options dataObjects;
};

// The two load buttons, whose captions the loads read and write.
enum class LoadButton { PushButton1, PushButton3 };

// The controls of Form1 as the handlers use them.
class FormControls {
  public:
    virtual ~FormControls() = default;

    virtual QString caption(LoadButton button) const = 0;
    virtual void setCaption(LoadButton button, const QString& caption) = 0;

    // Combo1, the length filter: its text, its selected index (-1: none) and its entries.
    virtual QString filterText() const = 0;
    virtual int filterIndex() const = 0;
    // Raises no click notification.
    virtual void setFilterIndex(int index) = 0;
    virtual int filterCount() const = 0;
    // Adding an entry leaves the selection as it was.
    virtual void addFilterEntry(const QString& text) = 0;

    // ListView1: its items and header, its selected item (1-based, 0: none), its column.
    virtual ResultsModel& results() = 0;
    virtual int selectedResult() const = 0;
    virtual void setResultsColumnWidth(int twips) = 0;

    // Form1 itself: the program icon, and the skin (button-face backgrounds on the
    // window and its frames, then the style sheet).
    virtual void showProgramIcon() = 0;
    virtual void paintButtonFace() = 0;
    virtual void applyStyleSheet(const QString& sheet) = 0;
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
    void loadSkin(const QString& path);
    void applyWindow(FormControls& window);
    bool loaded() const { return loaded_; }

  private:
    QString sheet_;
    bool loaded_ = false;
};

class Form {
  public:
    Form(AppContext context, FormControls& controls);

    Desktop& desktop() const { return *context_.desktop; }
    FormControls& controls() const { return controls_; }
    ResultsModel& ListItems() const { return controls_.results(); }
    const AppContext& context() const { return context_; }
    const QString& programFolder() const { return context_.programFolder; }

    // The steps of one run of a handler, reported under its path (a Handler constant).
    Steps steps(const QString& handler) const;

    // The window-wide pointer setting (a Pointer value) and its custom picture.
    int MousePointer() const { return mousePointer_; }
    void setMousePointer(int value);
    std::optional<QCursor> MouseIcon;

    // The title bar text.
    void setCaption(const QString& caption);
    const QString& caption() const { return caption_; }

    bool stopFlag = false;
    CommonDialog CommonDialog1;
    SkinEngine SkinFramework1;

    // A save in progress registers its file here so that an end of the program inside
    // one of its yields can drop the unfinished copy.
    std::function<void()> abandonSave;

  private:
    AppContext context_;
    FormControls& controls_;
    int mousePointer_ = PointerDefault;
    QString caption_;
};

// Texts the window shows, kept together so tests can name them.
namespace Text {
inline const QString mustBeNumeric = QStringLiteral("Must be a numeric entry.");
inline const QString resultsHeader = QStringLiteral("Result(s)");
inline const QString totalWords = QStringLiteral("Result(s) - Total Words: ");
inline const QString stop = QStringLiteral("Stop");
inline const QString displayFilteredList = QStringLiteral("Display Filtered List");
inline const QString displayEntireList = QStringLiteral("Display Entire List");
} // namespace Text

} // namespace lexivane
