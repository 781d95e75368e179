#pragma once

// Form1's controls as plain values, for handlers run without a window.

#include "form.h"
#include "results_model.h"

#include <QStringList>

namespace lexivane::testing {

struct FakeControls : FormControls {
    QString PushButton1 = Text::displayFilteredList;
    QString PushButton3 = Text::displayEntireList;
    QStringList Combo1; // the filter's entries
    int Combo1Index = -1;
    ResultsModel ListItems;
    int selected = 0; // 1-based, 0: none
    int columnWidthTwips = 0;
    bool iconShown = false;
    bool buttonFace = false;
    QString styleSheet;

    QString caption(LoadButton b) const override {
        return b == LoadButton::PushButton1 ? PushButton1 : PushButton3;
    }
    void setCaption(LoadButton b, const QString& c) override {
        (b == LoadButton::PushButton1 ? PushButton1 : PushButton3) = c;
    }
    QString filterText() const override {
        return Combo1Index >= 0 && Combo1Index < Combo1.size() ? Combo1[Combo1Index] : QString();
    }
    int filterIndex() const override { return Combo1Index; }
    void setFilterIndex(int index) override { Combo1Index = index; }
    int filterCount() const override { return int(Combo1.size()); }
    void addFilterEntry(const QString& text) override { Combo1 << text; }
    ResultsModel& results() override { return ListItems; }
    int selectedResult() const override { return selected; }
    void setResultsColumnWidth(int twips) override { columnWidthTwips = twips; }
    void showProgramIcon() override { iconShown = true; }
    void paintButtonFace() override { buttonFace = true; }
    void applyStyleSheet(const QString& sheet) override { styleSheet = sheet; }
};

} // namespace lexivane::testing
