#include "settings/ui/Orrin1Ui.h"

#include <QDialog>
#include <QFont>
#include <QSize>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QListWidget>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>
#include <utility>

namespace ka::ui {

void WarningMessageSink::ShowMsg(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), ToQt(text), QMessageBox::Ok);
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
                      const QSize& size, const char* fontFamily, bool typewriter, int pixelSize,
                      bool minimizeBox) {
    dialog->setObjectName(QString::fromLatin1(objectName));
    dialog->setWindowTitle(title);
    Qt::WindowFlags flags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (minimizeBox) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    dialog->setWindowFlags(flags);
    dialog->setFixedSize(size);
    QFont font(QString::fromLatin1(fontFamily));
    font.setStyleHint(typewriter ? QFont::TypeWriter : QFont::SansSerif);
    font.setPixelSize(pixelSize);
    dialog->setFont(font);
}

}  // namespace ka::ui
