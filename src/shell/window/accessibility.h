#pragma once

// What the window tells assistive technology beyond what Qt's own widgets say: the results
// list with its words as checkable rows, the window's busy state, and message and input
// boxes as alerts.

class QTreeView;
class QWidget;

namespace lexivane {

// Installs the interfaces for the results list, the main window and the boxes. Once, before
// any of them is shown.
void installAccessibility();

// Passes the results model's changes on as the list's accessibility events: a reset for a
// load or a clear, row changes for a removal, the checked state of a row, and the header
// text as the list's description.
void announceResults(QTreeView& list);

// The main window's busy state changed (a load or a save began or ended).
void announceBusy(QWidget& window);

// True while the window shows the busy pointer.
bool windowBusy(const QWidget& window);

} // namespace lexivane
