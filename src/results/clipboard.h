#pragma once

#include <QString>

namespace lexivane {
class Desktop;
class Form;
class ReportList;
} // namespace lexivane

// Kept in Main, where the handlers look for the small routines they share.
namespace lexivane::Main {

void CopyListToClipboard(Form& form, ReportList& list);
void ClearClipboard(Desktop& desktop);
bool SetClipboardText(Desktop& desktop, const QString& text);

} // namespace lexivane::Main

namespace lexivane::Results {

// Copy Results To Clipboard, then tell the user how to paste.
void PushButton5_Click(Form& form);

} // namespace lexivane::Results
