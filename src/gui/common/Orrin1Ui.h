// The Qt side of the shared operations: the warning box, the message pump, the list extent, and
// the conversion between the core's 8-bit strings and Qt's text.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <string_view>

#include "settings/Orrin1.h"

class QAbstractItemView;
class QDialog;
class QLayout;
class QListWidget;
class QMargins;
class QWidget;

namespace ka::ui {

// System code page <-> Qt text, at the GUI edge only.
inline QString ToQt(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQt(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// ShowMsg as the program shows it: a modal warning box with one OK button, centred.
class WarningMessageSink : public MessageSink {
  public:
    void ShowMsg(const std::string& text) override;
};

// A question box with Yes and No, No the default; true for Yes. Tests answer through the hook
// instead (null restores the box).
bool AskYesNo(QWidget* parent, const QString& text);
void SetQuestionHook(std::function<bool(const QString& text)> hook);

// A question with several answers, one button each (mnemonics in the captions); Escape gives
// escapeAnswer and Enter defaultAnswer. Returns the answer's index. Tests may answer it in
// advance with the hook.
int AskChoice(QWidget* parent, const QString& text, const QStringList& answers, int defaultAnswer,
              int escapeAnswer);
void SetChoiceHook(std::function<int(const QString& text, const QStringList& answers)> hook);

// The frame every dialog of the program shares: title, system menu, close and maximise boxes
// (and a minimise box where asked), and its font family at a pixel size.
void SetupDialogFrame(QDialog* dialog, const char* objectName, const QString& title,
                      const char* fontFamily, bool typewriter, int pixelSize, bool minimizeBox);

// Lays out a dialog set up by SetupDialogFrame: its controls on page, which
// scrolls (following the focus) when the dialog is smaller than the page wants, and bottomRow
// (OK, Cancel, Help ...) below it, always in sight. The dialog first opens at preferred, or at
// what the page wants when preferred is not given, within the screen.
void LayOutResizable(QDialog& dialog, QWidget* page, QLayout* bottomRow,
                     const QSize& preferred = QSize());

// Fits a dialog laid out by LayOutResizable into the screen's available area: it keeps the size
// the user gave it, within the screen, and can never be made smaller than its page and bottom
// row want (or the screen, when that is smaller). Called on every showing, before centring.
void FitToScreen(QDialog& dialog);

// The frame the window manager puts around a window (title bar, borders); estimated from the
// style until the window has been framed.
QMargins EstimatedFrameMargins(const QWidget& window);

// Processes every pending event, then returns.
void PumpMessages();

// Shows every row of the view within its width: a text too long for it loses its middle, so a
// path keeps its file name in sight, and the whole text is the row's tool tip. Nothing scrolls
// sideways.
void ElideRowsInTheMiddle(QAbstractItemView* view);

// Makes the list's horizontal scroll reach the end of its widest line; returns that width in
// pixels (0 for an empty list).
int SetListBoxExtent(QListWidget* list);

}  // namespace ka::ui
