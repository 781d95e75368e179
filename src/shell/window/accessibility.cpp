#include "accessibility.h"

#include "form1.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <functional>

namespace lexivane {

namespace {

// Not on screen: what a command has done, for a screen reader to say when it shows.
class NoticeAccessible : public QAccessibleInterface {
  public:
    explicit NoticeAccessible(QWidget* window) : window_(window) {}

    bool isValid() const override { return window_; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return window_ ? window_->windowHandle() : nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(window_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? message_ : QString();
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (t == QAccessible::Name) message_ = text;
    }
    QRect rect() const override { return {}; }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override { return {}; }

  private:
    QPointer<QWidget> window_;
    QString message_;
};

// The main window, busy while a load or a save shows the busy pointer; its last child is
// the notice of what a command has done.
class WindowAccessible : public QAccessibleWidget {
  public:
    explicit WindowAccessible(QWidget* w)
        : QAccessibleWidget(w, QAccessible::Client), notice_(new NoticeAccessible(w)),
          noticeId_(QAccessible::registerAccessibleInterface(notice_)) {}
    // The cache owns the notice once registered.
    ~WindowAccessible() override { QAccessible::deleteAccessibleInterface(noticeId_); }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.busy = windowBusy(*widget());
        return s;
    }
    int childCount() const override { return QAccessibleWidget::childCount() + 1; }
    QAccessibleInterface* child(int index) const override {
        return index == QAccessibleWidget::childCount() ? notice()
                                                        : QAccessibleWidget::child(index);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child == notice() ? QAccessibleWidget::childCount()
                                 : QAccessibleWidget::indexOfChild(child);
    }
    QAccessibleInterface* notice() const { return notice_; }

  private:
    QAccessibleInterface* notice_;
    QAccessible::Id noticeId_;
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

// Called for each class of an object from its own up to QObject.
QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className == QLatin1String(Form1::staticMetaObject.className()))
        return new WindowAccessible(static_cast<QWidget*>(object));
    if (className == QLatin1String(QMessageBox::staticMetaObject.className())) {
        auto* box = static_cast<QMessageBox*>(object);
        return new AlertAccessible(box, [box] { return box->text(); });
    }
    if (className == QLatin1String(QInputDialog::staticMetaObject.className())) {
        auto* input = static_cast<QInputDialog*>(object);
        return new AlertAccessible(input, [input] { return input->labelText(); });
    }
    return nullptr;
}

} // namespace

void installAccessibility() {
    QAccessible::installFactory(factory);
}

void announceResults(QAbstractItemView& list) {
    QAbstractItemView* view = &list;
    QAbstractItemModel* model = view->model();
    QObject::connect(
        model, &QAbstractItemModel::dataChanged, view,
        [view](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
            if (!roles.contains(Qt::CheckStateRole)) return;
            QAccessibleInterface* listIface =
                QAccessible::isActive() ? QAccessible::queryAccessibleInterface(view) : nullptr;
            QAccessibleTableInterface* table = listIface ? listIface->tableInterface() : nullptr;
            for (int row = from.row(); table && row <= to.row(); ++row) {
                if (QAccessibleInterface* cell = table->cellAt(row, 0)) {
                    QAccessible::State checked;
                    checked.checked = true;
                    QAccessibleStateChangeEvent event(cell, checked);
                    QAccessible::updateAccessibility(&event);
                }
            }
            // Orca says a cell's state only for an action named "toggle", and Qt names it
            // "Toggle": the row the user ticks is told as a notice.
            const QModelIndex current = view->currentIndex();
            if (view->hasFocus() && current.isValid() && current.row() >= from.row() &&
                current.row() <= to.row())
                announce(*view->window(),
                         current.data().toString() +
                             (current.data(Qt::CheckStateRole).toInt() == Qt::Checked
                                  ? QStringLiteral(" checked")
                                  : QStringLiteral(" not checked")));
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

void announce(QWidget& window, const QString& message) {
    auto* iface = dynamic_cast<WindowAccessible*>(QAccessible::queryAccessibleInterface(&window));
    QAccessibleInterface* notice = iface ? iface->notice() : nullptr;
    if (!notice) return;
    notice->setText(QAccessible::Name, message);
    if (!QAccessible::isActive()) return;
    QAccessibleEvent named(notice, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    QAccessibleEvent shown(notice, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

} // namespace lexivane
