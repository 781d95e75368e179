#pragma once

// What the window tells assistive technology beyond what Qt's own interfaces say: the ticking
// of a row of the results list and the list's count, the window's busy state, message and
// input boxes as alerts, and what a command has done. The list keeps Qt's own interface.

class QAbstractItemView;
class QString;
class QWidget;

namespace lexivane {

// Installs the interfaces for the main window and the boxes. Once, before any of them is
// shown.
void installAccessibility();

// Passes on what Qt's interface of the list leaves out: a row ticked or unticked, and the
// header text, with its count, as the list's description.
void announceResults(QAbstractItemView& list);

// The main window's busy state changed (a load or a save began or ended).
void announceBusy(QWidget& window);

// True while the window shows the busy pointer.
bool windowBusy(const QWidget& window);

// Tells a screen reader what a command has done ("11464 words", "The list is empty"), as a
// notification of the window: nothing shows on screen.
void announce(QWidget& window, const QString& message);

} // namespace lexivane
