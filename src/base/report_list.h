#pragma once

#include <QString>

namespace lexivane {

// A report-style list as the clipboard copy reads it: rows with a text, sub-items
// and a ticked state. Rows and columns count from 1; reading a row that does not
// exist throws AppError.
class ReportList {
  public:
    virtual ~ReportList() = default;
    virtual int rowCount() const = 0;
    virtual int columnCount() const = 0;
    // Column 1 is the row's own text, column k > 1 its sub-item k - 1.
    virtual QString cellText(int row, int column) const = 0;
    virtual bool isChecked(int row) const = 0;
};

} // namespace lexivane
