#include "gui/shell/URLLink.h"

#include <QCursor>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QToolTip>
#include <utility>

#include "gui/common/Orrin1Ui.h"
#include "platform/platform.h"

// The hover hint: a borderless window that stays on top, never takes the focus and draws the
// link text at (2, 2).
class TURLLink::HintForm : public QWidget {
  public:
    HintForm()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus) {
        setObjectName(QStringLiteral("URLLinkHint"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFocusPolicy(Qt::NoFocus);
    }

    void SetContent(const QString& text, const QColor& color, const QFont& font) {
        text_ = text;
        color_ = color;
        setFont(font);
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), color_);
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::ToolTipText));
        const QFontMetrics metrics(font());
        painter.drawText(QPoint(2, 2 + metrics.ascent()), text_);
    }

  private:
    QString text_;
    QColor color_;
};

TURLLink::TURLLink(QWidget* parent)
    : QLabel(parent),
      hintFont_(font()),
      hintColor_(QToolTip::palette().color(QPalette::ToolTipBase)),
      hint_(std::make_unique<HintForm>()),
      opener_([](const std::string& target) { return ka::platform::OpenUrl(target); }) {
    SetFontColor(Qt::blue);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
}

TURLLink::~TURLLink() = default;

void TURLLink::Repaint() {
    update();
}

void TURLLink::SetURLType(TURLtype type) {
    if (urlType_ == type)
        return;
    urlType_ = type;
    Repaint();
}

void TURLLink::SetLink(const QString& link) {
    if (link_ == link)
        return;
    link_ = link;
    Repaint();
}

void TURLLink::SetHintFormFont(const QFont& font) {
    if (hintFont_ == font)
        return;
    hintFont_ = font;
    Repaint();
}

void TURLLink::SetEnableShowHint(bool enable) {
    if (enableShowHint_ == enable)
        return;
    enableShowHint_ = enable;
    if (!enable)
        HideHint();
    Repaint();
}

void TURLLink::SetHintFormColor(const QColor& color) {
    if (hintColor_ == color)
        return;
    hintColor_ = color;
    Repaint();
}

void TURLLink::SetHintOffsetX(int offset) {
    if (hintOffsetX_ == offset)
        return;
    hintOffsetX_ = offset;
    Repaint();
}

void TURLLink::SetHintOffsetY(int offset) {
    if (hintOffsetY_ == offset)
        return;
    hintOffsetY_ = offset;
    Repaint();
}

void TURLLink::SetLinkColor(const QColor& color) {
    if (linkColor_ == color)
        return;
    linkColor_ = color;
    Repaint();
}

QString TURLLink::Target() const {
    return urlType_ == tpMAIL ? QStringLiteral("mailto:") + link_ : link_;
}

void TURLLink::SetUrlOpener(UrlOpener opener) {
    opener_ = std::move(opener);
}

QWidget* TURLLink::HintWindow() const {
    return hint_.get();
}

QColor TURLLink::FontColor() const {
    return palette().color(QPalette::WindowText);
}

void TURLLink::SetFontColor(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
}

void TURLLink::enterEvent(QEnterEvent* event) {
    savedColor_ = FontColor();
    SetFontColor(linkColor_);
    update();
    QLabel::enterEvent(event);
}

void TURLLink::leaveEvent(QEvent* event) {
    if (savedColor_.isValid())
        SetFontColor(savedColor_);
    update();
    HideHint();
    QLabel::leaveEvent(event);
}

void TURLLink::mouseMoveEvent(QMouseEvent* event) {
    if (enableShowHint_ && !hintShown_)
        ShowHint(event->globalPosition().toPoint());
    QLabel::mouseMoveEvent(event);
}

void TURLLink::ShowHint(const QPoint& globalPos) {
    hint_->SetContent(link_, hintColor_, hintFont_);
    const QFontMetrics metrics(hintFont_);
    hint_->setFixedSize(metrics.horizontalAdvance(link_) + 6, metrics.height() + 3);
    hint_->move(globalPos + QPoint(hintOffsetX_, hintOffsetY_));
    hint_->show();
    hintShown_ = true;
}

void TURLLink::HideHint() {
    if (!hintShown_)
        return;
    hint_->hide();
    hintShown_ = false;
}

void TURLLink::mousePressEvent(QMouseEvent* event) {
    update();
    QLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        if (opener_)
            opener_(ka::ui::FromQt(Target()));
        HideHint();
    }
}
