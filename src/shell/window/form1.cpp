#include "form1.h"

#include "accessibility.h"
#include "artwork.h"
#include "centring.h"
#include "clipboard.h"
#include "editing.h"
#include "loads.h"
#include "results_model.h"
#include "save.h"
#include "startup.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleFactory>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <cmath>
#include <utility>

namespace lexivane {

namespace {
QFont arial(double points) {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(points);
    f.setWeight(QFont::Bold);
    return f;
}

// The results list, able to tell where its check boxes are: where the item delegate toggles
// a box on a click.
class ResultsView : public QTreeView {
  public:
    using QTreeView::QTreeView;

    bool onCheckIndicator(const QPoint& pos) const {
        const QModelIndex index = indexAt(pos);
        if (!index.isValid()) return false;
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = visualRect(index);
        return delegate_.checkRect(option, index).contains(pos);
    }

  protected:
    // The focus shows as a frame in the text colour round the current row or, with none,
    // round the whole list: the style's own mark is too faint to see against the list.
    void paintEvent(QPaintEvent* event) override {
        QTreeView::paintEvent(event);
        if (!hasFocus()) return;
        const QModelIndex current = currentIndex();
        const QRect area = viewport()->rect();
        const QRect frame = current.isValid() ? visualRect(current) & area : area;
        if (frame.isEmpty()) return;
        QPainter p(viewport());
        QPen pen(palette().color(QPalette::Text), 2);
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.drawRect(QRectF(frame).adjusted(1, 1, -1, -1));
    }
    void focusInEvent(QFocusEvent* event) override {
        QTreeView::focusInEvent(event);
        viewport()->update();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QTreeView::focusOutEvent(event);
        viewport()->update();
    }

  private:
    struct Delegate : QStyledItemDelegate {
        QRect checkRect(QStyleOptionViewItem option, const QModelIndex& index) const {
            initStyleOption(&option, index);
            if (!(option.features & QStyleOptionViewItem::HasCheckIndicator)) return {};
            const QWidget* view = option.widget;
            QStyle* style = view ? view->style() : QApplication::style();
            return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
        }
    } delegate_;
};

// At a fractional pixel ratio (1.5) a frame one logical pixel wide puts the list's rows and
// scroll bars between device pixels, and they paint over the frame's right and bottom
// lines. A frame as wide as the grid of whole device pixels (two logical pixels at 1.5)
// keeps them on whole pixels; the style draws its one line as it would.
class WholePixelFrame : public QProxyStyle {
  public:
    WholePixelFrame(QStyle* base, int grid) : QProxyStyle(base), grid_(grid) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        if (metric != PM_DefaultFrameWidth || value <= 0) return value;
        return (value + grid_ - 1) / grid_ * grid_;
    }

  private:
    int grid_;
};

// What a screen reader says once a command has filled or emptied the list.
QString wordCount(int n) {
    if (n == 0) return QStringLiteral("The list is empty");
    return n == 1 ? QStringLiteral("1 word in the list")
                  : QStringLiteral("%1 words in the list").arg(n);
}

void fillBackground(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}
} // namespace

Form1::Form1(AppContext context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      form_(std::move(context), *this) {
    installAccessibility();
    setObjectName(QStringLiteral("Form1"));
    createControls();
}

Form1::~Form1() = default;

void Form1::showCentred() {
    centreOnScreen(*this);
    show();
}

int Form1::px(int twips) const {
    const QScreen* s = screen();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return qRound(twips * dpi / 1440.0);
}

int Form1::snap(int logical) const {
    // The smallest run of logical pixels that spans whole device pixels (2 at a ratio of 1.5).
    const double ratio = devicePixelRatioF();
    for (int grid = 1; grid <= 4; ++grid)
        if (std::abs(grid * ratio - std::round(grid * ratio)) < 1e-6)
            return int(std::lround(double(logical) / grid)) * grid;
    return logical;
}

QRect Form1::twipsRect(int left, int top, int width, int height) const {
    const int x = px(left), y = px(top);
    return QRect(QPoint(snap(x), snap(y)),
                 QPoint(snap(x + px(width)) - 1, snap(y + px(height)) - 1));
}

void Form1::createControls() {
    setFont(arial(9));
    fillBackground(this, Qt::white);
    setFixedSize(snap(px(8040)), snap(px(6510)));

    const QFont buttonFont = arial(11.25);
    auto button = [&](QWidget* parent, const char* name, const QString& text, int l, int t, int w,
                      int h) {
        auto* b = new QPushButton(text, parent);
        b->setObjectName(QLatin1String(name));
        b->setFont(buttonFont);
        QPalette p = b->palette();
        p.setColor(QPalette::Button, Qt::white);
        b->setPalette(p);
        b->setGeometry(twipsRect(l, t, w, h));
        b->setAutoDefault(false);
        return b;
    };

    Frame1 = new QGroupBox(QStringLiteral("Filter By Length Of Word"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipsRect(120, 120, 7800, 1275));
    fillBackground(Frame1, Qt::white);

    Combo1 = new QComboBox(Frame1);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false);
    Combo1->setGeometry(twipsRect(240, 300, 7320, 345));

    PushButton1 = button(Frame1, "PushButton1", Text::displayFilteredList, 240, 720, 7320, 405);

    ListView1 = new ResultsView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListItems = new ResultsModel(ListView1);
    ListView1->setModel(ListItems);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setSectionResizeMode(QHeaderView::Interactive);
    ListView1->setGeometry(twipsRect(120, 2020, 7800, 3375));
    if (const int grid = snap(1); grid > 1) {
        auto* wholePixels = new WholePixelFrame(QStyleFactory::create(style()->name()), grid);
        wholePixels->setParent(ListView1);
        ListView1->setStyle(wholePixels);
    }
    ListView1->setAccessibleName(QStringLiteral("Results"));
    announceResults(*ListView1);
    ListView1->setToolTip(QStringLiteral("Double-click item to remove it. Move | line to right and "
                                         "out of window to reveal full names."));

    PushButton3 = button(this, "PushButton3", Text::displayEntireList, 120, 1520, 7800, 405);
    PushButton4 = button(this, "PushButton4", QStringLiteral("Save Results As Text File"), 120,
                         5490, 3840, 405);
    PushButton2 =
        button(this, "PushButton2", QStringLiteral("Clear Results"), 120, 6000, 3840, 405);
    PushButton5 = button(this, "PushButton5", QStringLiteral("Copy Results To Clipboard"), 4080,
                         5490, 3840, 405);
    PushButton6 = button(this, "PushButton6", QStringLiteral("Help"), 4080, 6000, 3840, 405);

    setTabOrder(ListView1, PushButton3);
    setTabOrder(PushButton3, PushButton4);
    setTabOrder(PushButton4, PushButton2);
    setTabOrder(PushButton2, PushButton5);
    setTabOrder(PushButton5, Combo1);
    setTabOrder(Combo1, PushButton1);
    setTabOrder(PushButton1, PushButton6);
    setTabOrder(PushButton6, ListView1);
    Frame1->setFocusPolicy(Qt::NoFocus);
    ListView1->setFocus();

    connect(Combo1, &QComboBox::activated, this, [this] { Lookup::Combo1_Click(form_); });
    connect(PushButton1, &QPushButton::clicked, this,
            [this] { loadButtonClicked(LoadButton::PushButton1, Lookup::PushButton1_Click); });
    connect(PushButton2, &QPushButton::clicked, this, [this] {
        Results::PushButton2_Click(form_);
        if (ListItems->rowCount() == 0) announce(*this, wordCount(0));
    });
    connect(PushButton3, &QPushButton::clicked, this,
            [this] { loadButtonClicked(LoadButton::PushButton3, Lookup::PushButton3_Click); });
    connect(PushButton4, &QPushButton::clicked, this, [this] {
        // The save writes only once it has its file and the answer to overwrite it: it
        // shows the busy pointer from then on.
        const int busyBefore = busySpells_;
        Results::PushButton4_Click(form_);
        const QFileInfo file(form_.CommonDialog1.FileName);
        if (busySpells_ != busyBefore && file.exists())
            announce(*this, QStringLiteral("Saved as %1").arg(file.fileName()));
    });
    connect(PushButton5, &QPushButton::clicked, this,
            [this] { Results::PushButton5_Click(form_); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });

    // Every surface reports mouse moves, pressed button or not.
    setMouseTracking(true);
    for (QWidget* w : findChildren<QWidget*>()) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    installEventFilter(this);
}

void Form1::loadButtonClicked(LoadButton which, void (*handler)(Form&)) {
    const auto b = size_t(which);
    // Programmatic clicks have no input behind them and are taken as they come.
    const quint64 clickedAt = std::exchange(clickInputTime_[b], 0);
    // Within this long after a load no one can have seen it end and clicked again.
    constexpr quint64 kReaction = 100;
    if (clickedAt != 0 && lastLoad_[b] &&
        clickedAt - lastLoad_[b]->from <= lastLoad_[b]->to - lastLoad_[b]->from + kReaction)
        return; // made while that load ran: a Stop click the load could not see
    const bool startsLoad = caption(which) != Text::stop;
    QElapsedTimer took;
    took.start();
    handler(form_);
    if (startsLoad && clickedAt != 0)
        lastLoad_[b] = LoadSpan{clickedAt, clickedAt + quint64(took.elapsed())};
    if (startsLoad) announce(*this, wordCount(ListItems->rowCount()));
}

QPushButton* Form1::button(LoadButton which) const {
    return which == LoadButton::PushButton1 ? PushButton1 : PushButton3;
}

QString Form1::caption(LoadButton which) const {
    return button(which)->text();
}

void Form1::setCaption(LoadButton which, const QString& caption) {
    button(which)->setText(caption);
}

QString Form1::filterText() const {
    return Combo1->currentText();
}

int Form1::filterIndex() const {
    return Combo1->currentIndex();
}

void Form1::setFilterIndex(int index) {
    Combo1->setCurrentIndex(index);
}

int Form1::filterCount() const {
    return Combo1->count();
}

void Form1::addFilterEntry(const QString& text) {
    // Qt selects the first entry added to an empty list; the selection is the program's.
    const int selected = Combo1->currentIndex();
    Combo1->addItem(text);
    Combo1->setCurrentIndex(selected);
}

int Form1::selectedResult() const {
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    return selected.isEmpty() ? 0 : selected.first().row() + 1;
}

void Form1::setResultsColumnWidth(int twips) {
    ListView1->setColumnWidth(0, px(twips));
}

void Form1::showProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(drawProgramIcon(size)));
    setWindowIcon(icon);
}

void Form1::paintButtonFace() {
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    fillBackground(this, buttonFace);
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w))
            fillBackground(w, buttonFace);
    }
}

void Form1::applyStyleSheet(const QString& sheet) {
    setStyleSheet(sheet);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w) return false;
    if (w == PushButton1 || w == PushButton3) {
        // A button clicks on the release: keep the time of that input.
        quint64& time = clickInputTime_[size_t(w == PushButton1 ? LoadButton::PushButton1
                                                                : LoadButton::PushButton3)];
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonRelease || type == QEvent::KeyRelease)
            time = static_cast<QInputEvent*>(event)->timestamp();
        else if (type == QEvent::MouseButtonPress || type == QEvent::KeyPress)
            time = 0;
    }
    if (auto* b = qobject_cast<QPushButton*>(w);
        b && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        // Enter and the keypad's Enter press a focused button as Space does: down on the
        // press, a click on the release.
        const auto* ke = static_cast<QKeyEvent*>(event);
        if ((ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) &&
            (ke->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            QKeyEvent space(ke->type(), Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "),
                            ke->isAutoRepeat());
            space.setTimestamp(ke->timestamp());
            QCoreApplication::sendEvent(b, &space);
            return true;
        }
    }
    switch (event->type()) {
    case QEvent::CursorChange:
        if (w == this && windowBusy(*this)) ++busySpells_;
        break;
    case QEvent::MouseMove: {
        // Act only where the move happened, not where it propagates to.
        const auto* me = static_cast<QMouseEvent*>(event);
        if (w->childAt(me->position().toPoint())) break;
        if (qobject_cast<QPushButton*>(w))
            hoverOverButton();
        else if (w == this || w == Frame1 || w == ListView1 || ListView1->isAncestorOf(w))
            hoverOverSurface();
        break;
    }
    case QEvent::KeyPress:
        if (w == ListView1) {
            const auto* ke = static_cast<QKeyEvent*>(event);
            int keyCode = ke->key();
            const int shift = (ke->modifiers() & Qt::ShiftModifier ? 1 : 0) |
                              (ke->modifiers() & Qt::ControlModifier ? 2 : 0) |
                              (ke->modifiers() & Qt::AltModifier ? 4 : 0);
            Results::ListView1_KeyDown(form_, keyCode, shift);
        }
        break;
    case QEvent::MouseButtonPress:
        if (w == ListView1->viewport())
            pressOnCheckBox_ = static_cast<const ResultsView*>(ListView1)->onCheckIndicator(
                static_cast<QMouseEvent*>(event)->position().toPoint());
        break;
    case QEvent::MouseButtonDblClick:
        if (w == ListView1->viewport()) {
            // Two quick clicks on a row's box tick and untick it (the view does that); they
            // are not a request to remove a word.
            const bool onCheckBox = static_cast<const ResultsView*>(ListView1)->onCheckIndicator(
                static_cast<QMouseEvent*>(event)->position().toPoint());
            if (!onCheckBox && !std::exchange(pressOnCheckBox_, false))
                Results::ListView1_DblClick(form_);
        }
        break;
    default:
        break;
    }
    return false;
}

void Form1::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    Startup::Form_QueryUnload(form_, cancel, 0);
    if (cancel) {
        event->ignore();
        return;
    }
    event->accept();
    Startup::Form_Unload(form_, cancel);
}

} // namespace lexivane
