#include "loads.h"

#include "form.h"
#include "globals.h"
#include "late_bound.h"
#include "length_filter.h"
#include "main_module.h"
#include "numeric.h"
#include "results_model.h"
#include "settings.h"

namespace lexivane::Lookup {

using ado::as;
using ado::Connection;
using ado::Recordset;

namespace {
constexpr int kStatic = 3;
constexpr int kReadOnly = 1;

void openQuery(ado::Object* recordset, const QString& sql) {
    as<Recordset>(recordset).Open(sql, &as<Connection>(Globals::dbConnection), kStatic, kReadOnly);
}

void buildAndOpenQuery(Form& form, Steps& s, ado::Object* rs) {
    Desktop& desktop = form.desktop();
    auto chosen = [&](int entry) {
        return form.controls().filterText() == filterEntries[size_t(entry)];
    };

    for (int entry = 0; entry < 5; ++entry) {
        const int step = 112 + entry * 6;
        if (s.test(step, [&] { return chosen(entry); })) {
            s.run(step + 2, [&] { form.setMousePointer(PointerBusy); });
            s.run(step + 4, [&] { openQuery(rs, sqlForLength(QString::number(entry + 1))); });
            return;
        }
    }

    // The number and list entries ask until they get an entry their test accepts.
    auto ask = [&](int firstStep, const QString& prompt, const QString& defaultText,
                   auto accepted) {
        QString entry;
        for (;;) {
            s.run(firstStep, [&] {
                entry =
                    desktop.inputBox(prompt, QStringLiteral("Input Number Of Letter"), defaultText);
            });
            if (s.test(firstStep + 2, [&] { return !accepted(entry); }))
                s.run(firstStep + 4,
                      [&] { desktop.messageBox(Text::mustBeNumeric, MsgOk, Globals::appTitle); });
            if (!s.test(
                    firstStep + 6, [&] { return !accepted(entry); }, false))
                return entry;
        }
    };

    if (s.test(142, [&] { return chosen(5); })) {
        const NumberFormat format = NumberFormat::system();
        const QString entry =
            ask(144, QStringLiteral("Enter Number of Letter(s)"), QStringLiteral("1"),
                [&](const QString& e) { return IsNumeric(e, format); });
        s.run(152, [&] { form.setMousePointer(PointerBusy); });
        s.run(154, [&] {
            const qint16 n = CInt(entry, format);
            openQuery(rs, sqlForLength(QString::number(n)));
        });
        return;
    }
    if (s.test(156, [&] { return chosen(6); })) {
        const QString entry = ask(
            158, QStringLiteral("Enter Number of Letter(s) separated by comma"),
            QStringLiteral("1,3,4"), [](const QString& e) { return lengthListSql(e).has_value(); });
        s.run(166, [&] { form.setMousePointer(PointerBusy); });
        s.run(168, [&] {
            const std::optional<QString> lengths = lengthListSql(entry);
            if (!lengths) throw AppError(QStringLiteral("Type mismatch"));
            openQuery(rs, sqlForLengthList(*lengths));
        });
    }
}

void showTotal(Form& form) {
    form.ListItems().setHeaderText(Text::totalWords + QString::number(form.ListItems().Count()));
}

// Test, append, advance, stop check, end check: steps first .. first + 8.
void loadRows(Form& form, Steps& s, ado::Object* rs, int first) {
    ResultsModel& items = form.ListItems();
    // The recordset is looked up once it can be, not on every row; until then each step
    // that needs it fails as the look-up does.
    Recordset* typed = nullptr;
    auto recordset = [&]() -> Recordset& {
        if (!typed) typed = &as<Recordset>(rs);
        return *typed;
    };
    if (s.test(
            first, [&] { return recordset().Eof(); }, false))
        return;
    for (;;) {
        s.run(first + 2, [&] { items.addUtf8(recordset().Fields(0).Value().utf8()); });
        s.run(first + 4, [&] { recordset().MoveNext(); });
        if (s.test(
                first + 6, [&] { return form.stopFlag; }, false))
            return;
        if (!s.test(
                first + 8, [&] { return !recordset().Eof(); }, false))
            return;
    }
}
// Step 100 of both Display buttons.
std::unique_ptr<ado::Object> newRecordset(Form& form, Steps& s) {
    std::unique_ptr<ado::Object> rs;
    s.run(100, [&] {
        rs = ado::CreateObject(QStringLiteral("ADODB.RecordSet"), form.context().dataObjects);
    });
    return rs;
}

} // namespace

void Combo1_Click(Form& form) {
    form.desktop().settings().SaveSetting(QStringLiteral("Tallowick"), QStringLiteral("Lexivane"),
                                          QStringLiteral("Combo1"),
                                          QString::number(form.controls().filterIndex()));
}

void setComboListIndex(Form& form, int index) {
    FormControls& controls = form.controls();
    if (index < -1 || index >= controls.filterCount())
        throw AppError(QStringLiteral("Invalid property value"));
    if (controls.filterIndex() == index) return;
    controls.setFilterIndex(index);
    Combo1_Click(form);
}

void PushButton1_Click(Form& form) {
    Steps s = form.steps(Handler::PushButton1_Click);
    FormControls& controls = form.controls();
    std::unique_ptr<ado::Object> rs = newRecordset(form, s);

    if (s.test(102, [&] { return controls.caption(LoadButton::PushButton1) != Text::stop; })) {
        s.run(104, [&] { form.stopFlag = false; });
        s.run(106, [&] { Globals::savedCaption = controls.caption(LoadButton::PushButton1); });
        s.run(108, [&] { controls.setCaption(LoadButton::PushButton1, Text::stop); });
        s.run(110, [&] { form.desktop().yield(); });
        buildAndOpenQuery(form, s, rs.get());
        s.run(170, [&] { form.ListItems().Clear(); });
        loadRows(form, s, rs.get(), 172);
        if (s.test(182, [&] { return as<Recordset>(rs).State() != 0; }))
            s.run(182, [&] { as<Recordset>(rs).Close(); });
        s.run(184, [&] { controls.setCaption(LoadButton::PushButton1, Globals::savedCaption); });
        s.run(186, [&] { showTotal(form); });
        s.run(188, [&] { form.setMousePointer(PointerDefault); });
    } else {
        s.run(190, [&] { controls.setCaption(LoadButton::PushButton1, Globals::savedCaption); });
        s.run(192, [&] { form.stopFlag = true; });
    }
}

void PushButton3_Click(Form& form) {
    Steps s = form.steps(Handler::PushButton3_Click);
    FormControls& controls = form.controls();
    std::unique_ptr<ado::Object> rs = newRecordset(form, s);

    if (s.test(
            102, [&] { return controls.caption(LoadButton::PushButton3) == Text::stop; }, false)) {
        s.run(142, [&] { controls.setCaption(LoadButton::PushButton3, Globals::savedCaption); });
        s.run(144, [&] { form.stopFlag = true; });
        return;
    }
    s.run(104, [&] { form.stopFlag = false; });
    s.run(106, [&] { Globals::savedCaption = controls.caption(LoadButton::PushButton3); });
    s.run(108, [&] { controls.setCaption(LoadButton::PushButton3, Text::stop); });
    s.run(110, [&] { Main::MakeTopmost(form.desktop()); });
    s.run(112, [&] { form.desktop().yield(); });
    s.run(114, [&] { form.setMousePointer(PointerBusy); });
    s.run(116, [&] { openQuery(rs.get(), sqlEntireList); });
    s.run(118, [&] { form.ListItems().Clear(); });
    s.run(120, [&] { Main::MakeNotTopmost(form.desktop()); });
    s.run(122, [&] { form.desktop().yield(); });
    loadRows(form, s, rs.get(), 124);
    if (s.test(134, [&] { return as<Recordset>(rs).State() != 0; }))
        s.run(134, [&] { as<Recordset>(rs).Close(); });
    s.run(136, [&] { showTotal(form); });
    s.run(138, [&] { form.setMousePointer(PointerDefault); });
    s.run(140, [&] { controls.setCaption(LoadButton::PushButton3, Globals::savedCaption); });
}

} // namespace lexivane::Lookup
