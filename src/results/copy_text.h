#pragma once

#include <QString>
#include <vector>

namespace lexivane {

// The clipboard text of a list: one line per copied row, each cell padded with blanks to
// its column's width and followed by a tab; the last tab and the blanks at the end of the
// line go, and CR LF ends it.
class CopyText {
  public:
    // Column widths in characters, from column 1.
    explicit CopyText(std::vector<qsizetype> widths) : widths_(std::move(widths)) {}

    void addCell(int column, const QString& cell);
    void endRow();
    const QString& text() const { return text_; }

  private:
    std::vector<qsizetype> widths_;
    QString text_;
};

} // namespace lexivane
