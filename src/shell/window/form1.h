#pragma once

#include "form.h"

#include <QWidget>
#include <optional>

class QComboBox;
class QGroupBox;
class QPushButton;
class QTreeView;
class QCloseEvent;

namespace lexivane {

class ResultsModel;

// The main window: its controls, laid out as the window defines them, and its events,
// passed on to the handlers.
class Form1 : public QWidget, public FormControls {
    Q_OBJECT
  public:
    explicit Form1(AppContext context, QWidget* parent = nullptr);
    ~Form1() override;

    Form& form() { return form_; }

    // Shows the window centred on its screen, frame included once the window manager has
    // framed it.
    void showCentred();

    void PushButton6_Click(); // Help

    // Hover feedback.
    void hoverOverButton();
    void hoverOverSurface();

    // Pixels for a length in twips at the screen's logical DPI.
    int px(int twips) const;
    // A control's place in pixels. Where the screen's pixel ratio is fractional (1.5), an
    // edge that falls inside a device pixel loses its line, so edges go to the nearest
    // logical pixel that starts a device pixel.
    QRect twipsRect(int left, int top, int width, int height) const;
    int snap(int logical) const;

    // Controls, named as the window defines them.
    QGroupBox* Frame1 = nullptr;
    QComboBox* Combo1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QTreeView* ListView1 = nullptr;
    ResultsModel* ListItems = nullptr; // ListView1's items and header
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;

    // FormControls
    QString caption(LoadButton button) const override;
    void setCaption(LoadButton button, const QString& caption) override;
    QString filterText() const override;
    int filterIndex() const override;
    void setFilterIndex(int index) override;
    int filterCount() const override;
    void addFilterEntry(const QString& text) override;
    ResultsModel& results() override { return *ListItems; }
    int selectedResult() const override;
    void setResultsColumnWidth(int twips) override;
    void showProgramIcon() override;
    void paintButtonFace() override;
    void applyStyleSheet(const QString& sheet) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    QPushButton* button(LoadButton which) const;
    void loadButtonClicked(LoadButton which, void (*handler)(Form&));

    Form form_;

    // A load reads its rows without yielding, so a Stop click made meanwhile reaches the
    // button only once the load is over, where it would start another load. Each load
    // button keeps the window-system time of the input behind its latest click and the span
    // of its last load in that time.
    struct LoadSpan {
        quint64 from = 0, to = 0;
    };
    quint64 clickInputTime_[2] = {0, 0};
    bool pressOnCheckBox_ = false; // the last press on the results list hit a check box
    int busySpells_ = 0;           // times the window has turned busy
    std::optional<LoadSpan> lastLoad_[2];
};

} // namespace lexivane
