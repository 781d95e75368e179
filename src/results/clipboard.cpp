// Copying the results list to the clipboard as column-aligned text.

#include "clipboard.h"

#include "copy_text.h"
#include "form.h"
#include "globals.h"
#include "report_list.h"
#include "results_model.h"

#include <vector>

namespace lexivane {

namespace Main {

void CopyListToClipboard(Form& form, ReportList& list) {
    Desktop& desktop = form.desktop();
    if (list.rowCount() == 0) return;

    std::vector<qsizetype> widths;
    const int columns = list.columnCount();
    for (int k = 1; k <= columns; ++k) {
        qsizetype width = 0;
        const int rows = list.rowCount();
        for (int r = 1; r <= rows; ++r) {
            desktop.yieldBetweenRows();
            width = std::max(width, list.cellText(r, k).size());
        }
        widths.push_back(width);
    }

    const int rows = list.rowCount();
    // A user who ticked nothing wants the whole list, not an emptied clipboard.
    bool anyTicked = false;
    for (int r = 1; r <= rows && !anyTicked; ++r)
        anyTicked = list.isChecked(r);

    CopyText text(std::move(widths));
    for (int r = 1; r <= rows; ++r) {
        form.setCaption(QStringLiteral("Copying ") + QString::number(r) + QStringLiteral(" of ") +
                        QString::number(list.rowCount()));
        desktop.yieldBetweenRows();
        if (anyTicked && !list.isChecked(r)) continue;
        const int cols = list.columnCount();
        for (int k = 1; k <= cols; ++k) {
            desktop.yieldBetweenRows();
            text.addCell(k, list.cellText(r, k));
        }
        text.endRow();
    }

    ClearClipboard(desktop);
    SetClipboardText(desktop, text.text());
}

void ClearClipboard(Desktop& desktop) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        try {
            if (desktop.clipboardClear()) return;
        } catch (const std::exception&) {
            // another attempt
        }
    }
}

bool SetClipboardText(Desktop& desktop, const QString& text) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        try {
            if (desktop.clipboardSetText(text)) return true;
        } catch (const std::exception&) {
            // another attempt
        }
    }
    return false;
}

} // namespace Main

namespace Results {

void PushButton5_Click(Form& form) {
    Steps s = form.steps(Handler::PushButton5_Click);
    s.run(118, [&] { Main::CopyListToClipboard(form, form.ListItems()); });
    s.run(134, [&] {
        form.desktop().messageBox(
            QStringLiteral("Results have been copied to the clipboard.\r\rClick a text area where "
                           "you normally type and press Ctrl+V to paste the clipboard."),
            MsgOk, Globals::appTitle);
    });
}

} // namespace Results

} // namespace lexivane
