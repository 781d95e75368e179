#include "copy_text.h"

namespace lexivane {

void CopyText::addCell(int column, const QString& cell) {
    const size_t k = size_t(column - 1);
    const qsizetype width = k < widths_.size() ? widths_[k] : 0;
    text_ += cell;
    if (width >= cell.size()) text_ += QString(width - cell.size(), u' ');
    text_ += u'\t';
}

void CopyText::endRow() {
    text_.chop(1);
    while (text_.endsWith(u' '))
        text_.chop(1);
    text_ += QStringLiteral("\r\n");
}

} // namespace lexivane
