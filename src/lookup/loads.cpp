// The two list loads and the length filter behind them.

#include "lookup/late_bound.h"
#include "lookup/numeric.h"
#include "lookup/query.h"
#include "shell/globals.h"
#include "shell/main_module.h"
#include "shell/settings.h"
#include "shell/steps.h"
#include "shell/window/form1.h"

#include <QComboBox>
#include <QPushButton>

namespace lexivane {

using ado::as;
using ado::Connection;
using ado::Recordset;

namespace {
constexpr int kStatic = 3;
constexpr int kReadOnly = 1;
constexpr int kBusy = 11;

void openQuery(ado::Object* recordset, const QString& sql) {
    as<Recordset>(recordset).Open(sql, &as<Connection>(Globals::dbConnection), kStatic, kReadOnly);
}
} // namespace

void Form1::Combo1_Click() {
    desktop().settings().SaveSetting(QStringLiteral("Tallowick"), QStringLiteral("Lexivane"),
                                     QStringLiteral("Combo1"),
                                     QString::number(Combo1->currentIndex()));
}

void Form1::Combo1_Change() {
    Combo1_Click();
}

void Form1::buildAndOpenQuery(Steps& s, ado::Object* rs) {
    auto chosen = [&](int entry) { return Combo1->currentText() == filterEntries[size_t(entry)]; };

    for (int entry = 0; entry < 5; ++entry) {
        const int step = 112 + entry * 6;
        if (s.test(step, [&] { return chosen(entry); })) {
            s.run(step + 2, [&] { setMousePointer(kBusy); });
            s.run(step + 4, [&] { openQuery(rs, sqlForLength(QString::number(entry + 1))); });
            return;
        }
    }

    // The number and list entries ask until they get something that reads as a number.
    auto ask = [&](int firstStep, const QString& prompt, const QString& defaultText) {
        const NumberFormat format = NumberFormat::system();
        QString entry;
        for (;;) {
            s.run(firstStep, [&] {
                entry = desktop().inputBox(prompt, QStringLiteral("Input Number Of Letter"),
                                           defaultText);
            });
            if (s.test(firstStep + 2, [&] { return !IsNumeric(entry, format); }))
                s.run(firstStep + 4,
                      [&] { desktop().messageBox(Text::mustBeNumeric, MsgOk, Globals::appTitle); });
            if (!s.test(
                    firstStep + 6, [&] { return !IsNumeric(entry, format); }, false))
                return entry;
        }
    };

    if (s.test(142, [&] { return chosen(5); })) {
        const QString entry =
            ask(144, QStringLiteral("Enter Number of Letter(s)"), QStringLiteral("1"));
        s.run(152, [&] { setMousePointer(kBusy); });
        s.run(154, [&] {
            const qint16 n = CInt(entry, NumberFormat::system());
            openQuery(rs, sqlForLength(QString::number(n)));
        });
        return;
    }
    if (s.test(156, [&] { return chosen(6); })) {
        const QString entry =
            ask(158, QStringLiteral("Enter Number of Letter(s) separated by comma"),
                QStringLiteral("1,3,4"));
        s.run(166, [&] { setMousePointer(kBusy); });
        s.run(168, [&] { openQuery(rs, sqlForLengthList(entry)); });
    }
}

void Form1::showTotal() {
    ListItems->setHeaderText(Text::totalWords + QString::number(ListItems->Count()));
}

// Test, append, advance, stop check, end check: steps first .. first + 8.
void Form1::loadRows(Steps& s, ado::Object* rs, int first) {
    if (s.test(
            first, [&] { return as<Recordset>(rs).Eof(); }, false))
        return;
    for (;;) {
        s.run(first + 2, [&] { ListItems->Add(as<Recordset>(rs).Fields(0).Value()); });
        s.run(first + 4, [&] { as<Recordset>(rs).MoveNext(); });
        if (s.test(
                first + 6, [&] { return stopFlag; }, false))
            return;
        if (!s.test(
                first + 8, [&] { return !as<Recordset>(rs).Eof(); }, false))
            return;
    }
}

void Form1::PushButton1_Click() {
    Steps s(desktop(), QStringLiteral("in Vandrel2021/08/31.Form1.PushButton1_Click "));
    std::unique_ptr<ado::Object> rs;
    s.run(100, [&] { rs = ado::CreateObject(QStringLiteral("ADODB.RecordSet")); });

    if (s.test(102, [&] { return PushButton1->text() != Text::stop; })) {
        s.run(104, [&] { stopFlag = false; });
        s.run(106, [&] { Globals::savedCaption = PushButton1->text(); });
        s.run(108, [&] { PushButton1->setText(Text::stop); });
        s.run(110, [&] { desktop().yield(); });
        buildAndOpenQuery(s, rs.get());
        s.run(170, [&] { ListItems->Clear(); });
        loadRows(s, rs.get(), 172);
        if (s.test(182, [&] { return as<Recordset>(rs).State() != 0; }))
            s.run(182, [&] { as<Recordset>(rs).Close(); });
        s.run(184, [&] { PushButton1->setText(Globals::savedCaption); });
        s.run(186, [&] { showTotal(); });
        s.run(188, [&] { setMousePointer(0); });
    } else {
        s.run(190, [&] { PushButton1->setText(Globals::savedCaption); });
        s.run(192, [&] { stopFlag = true; });
    }
}

void Form1::PushButton3_Click() {
    Steps s(desktop(), QStringLiteral("in Vandrel2021/08/31.Form1.PushButton3_Click "));
    std::unique_ptr<ado::Object> rs;
    s.run(100, [&] { rs = ado::CreateObject(QStringLiteral("ADODB.RecordSet")); });

    if (s.test(
            102, [&] { return PushButton3->text() == Text::stop; }, false)) {
        s.run(142, [&] { PushButton3->setText(Globals::savedCaption); });
        s.run(144, [&] { stopFlag = true; });
        return;
    }
    s.run(104, [&] { stopFlag = false; });
    s.run(106, [&] { Globals::savedCaption = PushButton3->text(); });
    s.run(108, [&] { PushButton3->setText(Text::stop); });
    s.run(110, [&] { Main::MakeTopmost(desktop(), this); });
    s.run(112, [&] { desktop().yield(); });
    s.run(114, [&] { setMousePointer(kBusy); });
    s.run(116, [&] { openQuery(rs.get(), sqlEntireList); });
    s.run(118, [&] { ListItems->Clear(); });
    s.run(120, [&] { Main::MakeNotTopmost(desktop(), this); });
    s.run(122, [&] { desktop().yield(); });
    loadRows(s, rs.get(), 124);
    if (s.test(134, [&] { return as<Recordset>(rs).State() != 0; }))
        s.run(134, [&] { as<Recordset>(rs).Close(); });
    s.run(136, [&] { showTotal(); });
    s.run(138, [&] { setMousePointer(0); });
    s.run(140, [&] { PushButton3->setText(Globals::savedCaption); });
}

} // namespace lexivane
