#pragma once

class QWidget;

namespace lexivane {

// Places a top-level widget in the middle of its screen's available area, frame included:
// now with the frame it has (none before it is shown), and again once the window manager
// has put its frame round it. Where no frame ever comes, the watch ends after a while.
void centreOnScreen(QWidget& window);

} // namespace lexivane
