#include "accessibility.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTreeView>
#include <functional>

namespace lexivane {

namespace {

// One row of the results list, or its column header (row -1). Child 0 of the list is the
// header and row r is child r + 1, as the view numbers them in its own focus and selection
// events.
class RowAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
  public:
    RowAccessible(QTreeView* view, int row) : view_(view), row_(row) {}

    bool isValid() const override { return view_ && row_ < view_->model()->rowCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(view_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    void setText(QAccessible::Text, const QString&) override {}
    int row() const { return row_; }
    const QTreeView* view() const { return view_; }

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !isValid()) return {};
        if (row_ < 0) return view_->model()->headerData(0, Qt::Horizontal).toString();
        return index().data().toString();
    }

    QRect rect() const override {
        if (!isValid()) return {};
        if (row_ < 0) {
            const QHeaderView* h = view_->header();
            return {h->mapToGlobal(QPoint(h->sectionViewportPosition(0), 0)),
                    QSize(h->sectionSize(0), h->height())};
        }
        const QRect r = view_->visualRect(index());
        return {view_->viewport()->mapToGlobal(r.topLeft()), r.size()};
    }

    QAccessible::Role role() const override {
        return row_ < 0 ? QAccessible::ColumnHeader : QAccessible::ListItem;
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        if (row_ < 0) return s;
        const QModelIndex i = index();
        s.checkable = s.selectable = s.focusable = true;
        s.checked = i.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        s.selected = view_->selectionModel()->isSelected(i);
        s.focused = view_->hasFocus() && view_->currentIndex() == i;
        s.offscreen = !view_->viewport()->rect().intersects(view_->visualRect(i));
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ActionInterface && row_ >= 0)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // Ticks or unticks the row, as Space on it does.
    QStringList actionNames() const override { return {toggleAction()}; }
    void doAction(const QString& name) override {
        if (name != toggleAction() || !isValid()) return;
        const bool checked = state().checked;
        view_->model()->setData(index(), checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

  private:
    QModelIndex index() const { return view_->model()->index(row_, 0); }

    QPointer<QTreeView> view_;
    int row_;
};

class ResultsAccessible : public QAccessibleWidget {
  public:
    explicit ResultsAccessible(QTreeView* view) : QAccessibleWidget(view, QAccessible::List) {}
    ~ResultsAccessible() override { forget(); }

    // Rows have moved: the interfaces handed out for them no longer hold.
    void forget() {
        for (QAccessible::Id id : std::as_const(ids_))
            QAccessible::deleteAccessibleInterface(id);
        ids_.clear();
    }

    int childCount() const override { return 1 + view()->model()->rowCount(); }

    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        const int row = index - 1;
        if (const auto id = ids_.value(row)) return QAccessible::accessibleInterface(id);
        auto* iface = new RowAccessible(view(), row);
        ids_.insert(row, QAccessible::registerAccessibleInterface(iface));
        return iface;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* row = dynamic_cast<const RowAccessible*>(child);
        return row && row->view() == view() && row->isValid() ? row->row() + 1 : -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        const QModelIndex i = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        if (i.isValid()) return child(i.row() + 1);
        const QHeaderView* h = view()->header();
        if (h->isVisible() && h->rect().contains(h->mapFromGlobal(QPoint(x, y)))) return child(0);
        return nullptr;
    }

    QAccessibleInterface* focusChild() const override {
        const QModelIndex i = view()->currentIndex();
        return view()->hasFocus() && i.isValid() ? child(i.row() + 1) : nullptr;
    }

  private:
    QTreeView* view() const { return static_cast<QTreeView*>(widget()); }

    mutable QHash<int, QAccessible::Id> ids_; // row (-1: header) to its interface
};

// The main window, busy while a load or a save shows the busy pointer.
class WindowAccessible : public QAccessibleWidget {
  public:
    explicit WindowAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Client) {}
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.busy = windowBusy(*widget());
        return s;
    }
};

// A message or input box: an alert whose description is the text it shows.
class AlertAccessible : public QAccessibleWidget {
  public:
    AlertAccessible(QWidget* box, std::function<QString()> boxText)
        : QAccessibleWidget(box, QAccessible::AlertMessage), boxText_(std::move(boxText)) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Description) return boxText_();
        return QAccessibleWidget::text(t);
    }

  private:
    std::function<QString()> boxText_;
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* box = qobject_cast<QMessageBox*>(object))
        return new AlertAccessible(box, [box] { return box->text(); });
    if (auto* input = qobject_cast<QInputDialog*>(object))
        return new AlertAccessible(input, [input] { return input->labelText(); });
    auto* w = qobject_cast<QWidget*>(object);
    if (!w) return nullptr;
    if (w->isWindow() && w->objectName() == QLatin1String("Form1")) return new WindowAccessible(w);
    if (auto* view = qobject_cast<QTreeView*>(w);
        view && w->objectName() == QLatin1String("ListView1"))
        return new ResultsAccessible(view);
    return nullptr;
}

} // namespace

void installAccessibility() {
    QAccessible::installFactory(factory);
}

void announceResults(QTreeView& list) {
    QTreeView* view = &list;
    QAbstractItemModel* model = view->model();
    // A load or a clear is one reset, however many rows it brings: never one event a row.
    auto changed = [view](QAccessibleTableModelChangeEvent::ModelChangeType type, int first,
                          int last) {
        if (!QAccessible::isActive()) return;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(view);
        if (auto* results = dynamic_cast<ResultsAccessible*>(iface)) results->forget();
        QAccessibleTableModelChangeEvent event(view, type);
        event.setFirstRow(first);
        event.setLastRow(last);
        QAccessible::updateAccessibility(&event);
    };
    using Change = QAccessibleTableModelChangeEvent;
    QObject::connect(model, &QAbstractItemModel::modelReset, view,
                     [changed] { changed(Change::ModelReset, -1, -1); });
    QObject::connect(model, &QAbstractItemModel::rowsInserted, view,
                     [changed](const QModelIndex&, int first, int last) {
                         // Rows into an empty list are a load: a new list, told as such.
                         if (first == 0)
                             changed(Change::ModelReset, -1, -1);
                         else
                             changed(Change::RowsInserted, first, last);
                     });
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, view,
                     [changed](const QModelIndex&, int first, int last) {
                         changed(Change::RowsRemoved, first, last);
                     });
    QObject::connect(
        model, &QAbstractItemModel::dataChanged, view,
        [view](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
            if (!QAccessible::isActive() || !roles.contains(Qt::CheckStateRole)) return;
            QAccessibleInterface* listIface = QAccessible::queryAccessibleInterface(view);
            for (int row = from.row(); listIface && row <= to.row(); ++row) {
                QAccessibleInterface* item = listIface->child(row + 1);
                if (!item) continue;
                QAccessible::State checked;
                checked.checked = true;
                QAccessibleStateChangeEvent event(item, checked);
                QAccessible::updateAccessibility(&event);
            }
        });
    // The header text, with its count, is the list's description.
    auto describe = [view, model] {
        view->setAccessibleDescription(model->headerData(0, Qt::Horizontal).toString());
    };
    QObject::connect(model, &QAbstractItemModel::headerDataChanged, view, describe);
    describe();
}

bool windowBusy(const QWidget& window) {
    return window.testAttribute(Qt::WA_SetCursor) && window.cursor().shape() == Qt::WaitCursor;
}

void announceBusy(QWidget& window) {
    if (!QAccessible::isActive()) return;
    QAccessible::State busy;
    busy.busy = true;
    QAccessibleStateChangeEvent event(&window, busy);
    QAccessible::updateAccessibility(&event);
}

} // namespace lexivane
