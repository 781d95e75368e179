#include "shell/window/form1.h"

#include "shell/apperror.h"
#include "shell/skin_file.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>

namespace lexivane {

namespace {
QFont arial(double points) {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(points);
    f.setWeight(QFont::Bold);
    return f;
}

void whiteBackground(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, Qt::white);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}
} // namespace

Form1::Form1(AppContext context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      context_(std::move(context)) {
    setObjectName(QStringLiteral("Form1"));
    createControls();
}

Form1::~Form1() = default;

int Form1::px(int twips) const {
    const QScreen* s = screen();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return qRound(twips * dpi / 1440.0);
}

void Form1::createControls() {
    setFont(arial(9));
    whiteBackground(this);
    setFixedSize(px(8040), px(6510));

    const QFont buttonFont = arial(11.25);
    auto button = [&](QWidget* parent, const char* name, const QString& text, int l, int t, int w,
                      int h) {
        auto* b = new QPushButton(text, parent);
        b->setObjectName(QLatin1String(name));
        b->setFont(buttonFont);
        QPalette p = b->palette();
        p.setColor(QPalette::Button, Qt::white);
        b->setPalette(p);
        b->setGeometry(px(l), px(t), px(w), px(h));
        b->setAutoDefault(false);
        return b;
    };

    Frame1 = new QGroupBox(QStringLiteral("Filter By Length Of Word"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(px(120), px(120), px(7800), px(1275));
    whiteBackground(Frame1);

    Combo1 = new QComboBox(Frame1);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false);
    Combo1->setGeometry(px(240), px(300), px(7320), px(345));

    PushButton1 =
        button(Frame1, "PushButton1", QStringLiteral("Display Filtered List"), 240, 720, 7320, 405);

    ListView1 = new QTreeView(this);
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
    ListView1->setGeometry(px(120), px(2020), px(7800), px(3375));
    ListView1->setToolTip(QStringLiteral("Double-click item to remove it. Move | line to right and "
                                         "out of window to reveal full names."));

    PushButton3 =
        button(this, "PushButton3", QStringLiteral("Display Entire List"), 120, 1520, 7800, 405);
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

    connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Click(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });

    // Every surface reports mouse moves, pressed button or not.
    setMouseTracking(true);
    for (QWidget* w : findChildren<QWidget*>()) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    installEventFilter(this);
}

void Form1::setMousePointer(int value) {
    mousePointer_ = value;
    desktop().showPointer(this, value, MouseIcon);
}

void Form1::setCaption(const QString& caption) {
    caption_ = caption;
    desktop().setWindowTitle(this, caption);
}

void Form1::setComboListIndex(int index) {
    if (index < -1 || index >= Combo1->count())
        throw AppError(QStringLiteral("Invalid property value"));
    if (Combo1->currentIndex() == index) return;
    Combo1->setCurrentIndex(index);
    Combo1_Click();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w) return false;
    switch (event->type()) {
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
            int keyCode = ke->key() == Qt::Key_Delete ? 46 : 0;
            const int shift = (ke->modifiers() & Qt::ShiftModifier ? 1 : 0) |
                              (ke->modifiers() & Qt::ControlModifier ? 2 : 0) |
                              (ke->modifiers() & Qt::AltModifier ? 4 : 0);
            ListView1_KeyDown(keyCode, shift);
        }
        break;
    case QEvent::MouseButtonDblClick:
        if (w == ListView1->viewport()) ListView1_DblClick();
        break;
    default:
        break;
    }
    return false;
}

void Form1::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    Form_QueryUnload(cancel, 0);
    if (cancel) {
        event->ignore();
        return;
    }
    event->accept();
    Form_Unload(cancel);
}

void CommonDialog::ShowSave(Desktop& desktop) {
    SaveDialogRequest request;
    request.title = DialogTitle;
    request.flags = Flags;
    request.fileName = FileName;
    const QStringList parts = Filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2)
        request.filters << parts[i] + QLatin1Char('|') + parts[i + 1];
    FileName = desktop.saveDialog(request);
}

void SkinEngine::LoadSkin(const QString& path, const QString& /*iniFileName*/) {
    sheet_ = readSkinFile(path);
    loaded_ = true;
}

void SkinEngine::ApplyWindow(QWidget* window) {
    if (!loaded_) throw AppError(QStringLiteral("No skin loaded"));
    window->setStyleSheet(sheet_);
}

} // namespace lexivane
