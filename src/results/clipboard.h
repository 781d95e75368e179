#pragma once

namespace lexivane {
class Form;
}

namespace lexivane::Results {

// Copy Results To Clipboard, then tell the user how to paste.
void PushButton5_Click(Form& form);

} // namespace lexivane::Results
