#include "gui/common/Orrin1Ui.h"

#include <QDialog>
#include <QFont>
#include <QMargins>
#include <QSize>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QVBoxLayout>
#include <QVariant>
#include <algorithm>
#include <utility>
#include <vector>

namespace ka::ui {

namespace {

constexpr const char* kScrollAreaName = "DialogScrollArea";
constexpr const char* kPreferredSizeProperty = "kaPreferredSize";
constexpr const char* kShownOnceProperty = "kaShownOnce";

// Keeps the focused control of the page in view while the user tabs through it.
void FollowFocus(QScrollArea* scroll) {
    QObject::connect(qApp, &QApplication::focusChanged, scroll, [scroll](QWidget*, QWidget* now) {
        if (now && scroll->widget() && scroll->widget()->isAncestorOf(now)) {
            scroll->ensureWidgetVisible(now);
        }
    });
}

// The frame a window manager adds around a dialog, on both sides together.
QSize FrameMargins(const QWidget& window) {
    const QMargins margins = EstimatedFrameMargins(window);
    return {margins.left() + margins.right(), margins.top() + margins.bottom()};
}

}  // namespace

QMargins EstimatedFrameMargins(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect inner = window.geometry();
    if (frame != inner) {
        return {inner.left() - frame.left(), inner.top() - frame.top(),
                frame.right() - inner.right(), frame.bottom() - inner.bottom()};
    }
    const int border = window.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return {border, window.style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border,
            border};
}

void WarningMessageSink::ShowMsg(const std::string& text) {
    // Some texts break their lines with a lone carriage return, which a label does not break at.
    QString shown = ToQt(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), shown, QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    // Centred on the screen, not on whichever window happens to be active.
    box.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = box.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        box.move(frame.topLeft());
    }
    box.exec();
}

namespace {
std::function<bool(const QString&)>& QuestionHook() {
    static std::function<bool(const QString&)> hook;
    return hook;
}
}  // namespace

bool AskYesNo(QWidget* parent, const QString& text) {
    if (QuestionHook())
        return QuestionHook()(text);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void SetQuestionHook(std::function<bool(const QString& text)> hook) {
    QuestionHook() = std::move(hook);
}

namespace {
std::function<int(const QString&, const QStringList&)>& ChoiceHook() {
    static std::function<int(const QString&, const QStringList&)> hook;
    return hook;
}
}  // namespace

int AskChoice(QWidget* parent, const QString& text, const QStringList& answers, int defaultAnswer,
              int escapeAnswer) {
    if (ChoiceHook())
        return ChoiceHook()(text, answers);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton,
                    parent);
    std::vector<QPushButton*> buttons;
    for (const QString& answer : answers)
        buttons.push_back(box.addButton(answer, QMessageBox::ActionRole));
    box.setDefaultButton(buttons.at(static_cast<std::size_t>(defaultAnswer)));
    box.setEscapeButton(buttons.at(static_cast<std::size_t>(escapeAnswer)));
    box.exec();
    const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    return chosen == buttons.end() ? escapeAnswer : static_cast<int>(chosen - buttons.begin());
}

void SetChoiceHook(std::function<int(const QString& text, const QStringList& answers)> hook) {
    ChoiceHook() = std::move(hook);
}

void PumpMessages() {
    // Bounded, so a stream of reposted events (a timer at 0 ms, a window that keeps repainting)
    // can never keep a long run from going on.
    constexpr int kMaxRounds = 1000;
    constexpr qint64 kMaxMilliseconds = 500;
    QElapsedTimer elapsed;
    elapsed.start();
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    for (int round = 0; round < kMaxRounds && elapsed.elapsed() < kMaxMilliseconds; ++round) {
        QCoreApplication::sendPostedEvents();
        // True while there was something to deliver; stop once the queue is empty.
        if (!dispatcher->processEvents(QEventLoop::AllEvents))
            break;
    }
}

namespace {

class MiddleElidingDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // A list widens every row to its own width; no row asks for more.
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setWidth(1);
        return size;
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() == QEvent::ToolTip && index.isValid() &&
            !index.data(Qt::ToolTipRole).isValid()) {
            const QString text = index.data(Qt::DisplayRole).toString();
            if (!text.isEmpty()) {
                QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
                return true;
            }
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
};

}  // namespace

void ElideRowsInTheMiddle(QAbstractItemView* view) {
    view->setTextElideMode(Qt::ElideMiddle);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (qobject_cast<QListView*>(view)) {
        view->setItemDelegate(new MiddleElidingDelegate(view));
    }
}

int SetListBoxExtent(QListWidget* list) {
    if (!list)
        return 0;
    const QFontMetrics metrics(list->font());
    int widest = 0;
    for (int row = 0; row < list->count(); ++row) {
        if (const QListWidgetItem* item = list->item(row)) {
            widest = std::max(widest, metrics.horizontalAdvance(item->text()));
        }
    }
    // The view sizes its scroll range from its items; make sure it never truncates a line
    // and that an empty list has nothing to scroll.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setUniformItemSizes(false);
    QScrollBar* bar = list->horizontalScrollBar();
    const int visible = list->viewport()->width();
    const int needed = std::max(0, widest - visible);
    if (bar->maximum() < needed)
        bar->setRange(0, needed);
    return widest;
}

void SetupDialogFrame(QDialog* dialog, const char* objectName, const QString& title,
                      const char* fontFamily, bool typewriter, int pixelSize, bool minimizeBox) {
    dialog->setObjectName(QString::fromLatin1(objectName));
    dialog->setWindowTitle(title);
    Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint;
    if (minimizeBox) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    dialog->setWindowFlags(flags);
    QFont font(QString::fromLatin1(fontFamily));
    font.setStyleHint(typewriter ? QFont::TypeWriter : QFont::SansSerif);
    font.setPixelSize(pixelSize);
    dialog->setFont(font);
}

void LayOutResizable(QDialog& dialog, QWidget* page, QLayout* bottomRow, const QSize& preferred) {
    dialog.setProperty(kPreferredSizeProperty, preferred);
    auto* scroll = new QScrollArea(&dialog);
    scroll->setObjectName(QLatin1String(kScrollAreaName));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    page->setObjectName(QStringLiteral("DialogPage"));
    scroll->setWidget(page);
    FollowFocus(scroll);
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroll, 1);
    // The buttons stay children of the dialog itself: only the row's layout sits between.
    bottomRow->setContentsMargins(12, 6, 12, 10);
    layout->addLayout(bottomRow);
}

namespace {

// A dialog of LayOutResizable: its least and first size within the screen's room.
void FitLaidOut(QDialog& dialog, const QSize& room) {
    auto* scroll =
        dialog.findChild<QScrollArea*>(QLatin1String(kScrollAreaName), Qt::FindDirectChildrenOnly);
    QLayout* layout = dialog.layout();
    QLayout* bottomRow = layout && layout->count() > 1 ? layout->itemAt(1)->layout() : nullptr;
    if (!scroll || !scroll->widget() || !bottomRow) {
        return;
    }
    // The page without scrolling, the bottom row below it.
    const QSize page = scroll->widget()->minimumSizeHint();
    const QSize row = bottomRow->minimumSize();
    QSize wanted(std::max(page.width(), row.width()), page.height() + row.height());
    QSize whole(std::max(scroll->widget()->sizeHint().width(), row.width()),
                scroll->widget()->sizeHint().height() + row.height());
    // Where the page must scroll, its scroll bar takes width of its own.
    if (wanted.height() > room.height()) {
        const int bar = dialog.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        wanted.rwidth() += bar;
        whole.rwidth() += bar;
    }
    dialog.setMinimumSize(wanted.boundedTo(room));
    QSize size = dialog.size();
    if (!dialog.property(kShownOnceProperty).toBool()) {
        dialog.setProperty(kShownOnceProperty, true);
        const QSize preferred = dialog.property(kPreferredSizeProperty).toSize();
        size = preferred.isValid() ? preferred.expandedTo(wanted) : whole;
    }
    dialog.resize(size.boundedTo(room).expandedTo(dialog.minimumSize()));
}

}  // namespace

void FitToScreen(QDialog& dialog) {
    const QScreen* screen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen();
    if (screen && dialog.property(kPreferredSizeProperty).isValid()) {
        FitLaidOut(dialog, screen->availableGeometry().size() - FrameMargins(dialog));
    }
}

}  // namespace ka::ui
