#pragma once

namespace lexivane {

// When the program owns the clipboard under X and the desktop runs a clipboard manager,
// asks the manager to take the clipboard's content over (the freedesktop SAVE_TARGETS
// conversion of the CLIPBOARD_MANAGER selection) and serves its requests until it says it
// is done, or until the time is up. Does nothing elsewhere.
void handOverClipboard(int timeoutMs);

} // namespace lexivane
