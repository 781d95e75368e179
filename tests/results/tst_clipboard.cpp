#include "clipboard.h"
#include "harness.h"

#include <QtTest>

using namespace lexivane;
using namespace lexivane::testing;

namespace {
struct TableList : ReportList {
    QList<QStringList> rows;
    QList<bool> ticks;
    int rowCount() const override { return int(rows.size()); }
    int columnCount() const override { return rows.isEmpty() ? 1 : int(rows[0].size()); }
    QString cellText(int r, int k) const override {
        if (r < 1 || r > rows.size()) throw AppError("Index out of bounds");
        return rows[r - 1][k - 1];
    }
    bool isChecked(int r) const override {
        if (r < 1 || r > rows.size()) throw AppError("Index out of bounds");
        return ticks[r - 1];
    }
};

void fill(Harness& h, const QStringList& words, const QList<int>& ticked) {
    for (const QString& w : words)
        h.controls.ListItems.Add(w);
    for (int r : ticked)
        h.controls.ListItems.setChecked(r, true);
}
} // namespace

class ClipboardTest : public QObject {
    Q_OBJECT
  private slots:
    void tickedRowsOnly() {
        Harness h;
        QVERIFY(h.load());
        fill(h, {"apple", "banana", "fig"}, {1, 3});
        Results::PushButton5_Click(h.form);
        QCOMPARE(h.desktop.clipboard, QString("apple\r\nfig\r\n"));
        QCOMPARE(h.form.caption(), QString("Copying 3 of 3"));
        QCOMPARE(
            h.desktop.messages(),
            QStringList{"Results have been copied to the clipboard.\r\rClick a text area where "
                        "you normally type and press Ctrl+V to paste the clipboard."});
        QCOMPARE(h.desktop.boxes.back().style, 0);
        QCOMPARE(h.desktop.boxes.back().title, QString("Lexivane"));
        // per cell in the width pass, per row, per cell of a copied row
        QCOMPARE(h.desktop.yields, 3 + 3 + 2);
    }

    void nothingTickedCopiesEveryRow() {
        Harness h;
        QVERIFY(h.load());
        fill(h, {"a", "bb", "c", "d", "e", "f", "g"}, {});
        Results::PushButton5_Click(h.form);
        QCOMPARE(h.desktop.clipboard, QString("a\r\nbb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n"));
        QCOMPARE(h.form.caption(), QString("Copying 7 of 7"));
    }

    void twoColumnsAreAligned() {
        Harness h;
        QVERIFY(h.load());
        TableList list;
        list.rows = {{"ab", "x"}, {"abcd", "yy"}};
        list.ticks = {true, true};
        Main::CopyListToClipboard(h.form, list);
        QCOMPARE(h.desktop.clipboard, QString("ab  \tx\r\nabcd\tyy\r\n"));
        list.rows = {{"a ", "  "}, {"abc", ""}};
        Main::CopyListToClipboard(h.form, list);
        // blanks go from the end of a line, the tab before them stays
        QCOMPARE(h.desktop.clipboard, QString("a  \t\r\nabc\t\r\n"));
    }

    void emptyListLeavesEverythingAlone() {
        Harness h;
        QVERIFY(h.load());
        h.desktop.clipboard = "before";
        h.desktop.clipboardHasText = true;
        const QString title = h.form.caption();
        Results::PushButton5_Click(h.form);
        QCOMPARE(h.desktop.clipboard, QString("before"));
        QCOMPARE(h.form.caption(), title);
        QCOMPARE(h.desktop.messages().size(), 1); // the confirmation all the same
    }

    void busyClipboardIsRetriedThenGivenUp() {
        Harness h;
        QVERIFY(h.load());
        fill(h, {"w"}, {});
        // clear gives up after 1000 refusals; set succeeds at its 1000th attempt
        h.desktop.clipboardFailures = 1000 + 999;
        Results::PushButton5_Click(h.form);
        QCOMPARE(h.desktop.clipboard, QString("w\r\n"));
        QCOMPARE(h.desktop.clipboardAttempts, 2000);

        h.desktop.clipboardAttempts = 0;
        h.desktop.clipboardFailures = 5000;
        h.desktop.clipboard = "old";
        Results::PushButton5_Click(h.form);
        QCOMPARE(h.desktop.clipboardAttempts, 2000);
        QCOMPARE(h.desktop.clipboard, QString("old"));
        QVERIFY(h.desktop.reports().isEmpty());
    }

    void editingInsideTheYieldsShortensTheList() {
        Harness h;
        QVERIFY(h.load());
        fill(h, {"a", "b", "c", "d"}, {});
        h.desktop.clipboard = "old";
        // a removal while the widths are measured: a later row is gone
        h.desktop.yieldActions = {[&] { h.controls.ListItems.Remove(4); }};
        Results::PushButton5_Click(h.form);
        QCOMPARE(h.desktop.reportSteps(), std::vector<int>{118});
        QVERIFY(h.desktop.reports()[0].startsWith("Index out of bounds\r\n"));
        QCOMPARE(h.desktop.clipboard, QString("old")); // not touched before the failure
        QCOMPARE(h.desktop.messages().size(), 1);      // the confirmation still shows
    }
};

QTEST_MAIN(ClipboardTest)
#include "tst_clipboard.moc"
