// A label that shows a link: blue, hand cursor, LinkColor while the mouse is over it, an optional
// hover hint window showing the target, and a left click that opens the target through the
// desktop.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <functional>
#include <memory>
#include <string>

enum TURLtype { tpURL = 0, tpMAIL = 1 };

class TURLLink : public QLabel {
    Q_OBJECT
    Q_PROPERTY(int URLType READ URLTypeValue WRITE SetURLTypeValue)
    Q_PROPERTY(QString Link READ Link WRITE SetLink)
    Q_PROPERTY(QFont HintFormFont READ HintFormFont WRITE SetHintFormFont)
    Q_PROPERTY(bool EnableShowHint READ EnableShowHint WRITE SetEnableShowHint)
    Q_PROPERTY(QColor HintFormColor READ HintFormColor WRITE SetHintFormColor)
    Q_PROPERTY(int HintOffsetX READ HintOffsetX WRITE SetHintOffsetX)
    Q_PROPERTY(int HintOffsetY READ HintOffsetY WRITE SetHintOffsetY)
    Q_PROPERTY(QColor LinkColor READ LinkColor WRITE SetLinkColor)

  public:
    // Opens a target ("http://...", "mailto:..."); the result is not examined.
    using UrlOpener = std::function<bool(const std::string& target)>;

    explicit TURLLink(QWidget* parent = nullptr);
    ~TURLLink() override;

    TURLtype URLType() const { return urlType_; }
    void SetURLType(TURLtype type);
    const QString& Link() const { return link_; }
    void SetLink(const QString& link);
    const QFont& HintFormFont() const { return hintFont_; }
    void SetHintFormFont(const QFont& font);
    bool EnableShowHint() const { return enableShowHint_; }
    void SetEnableShowHint(bool enable);
    const QColor& HintFormColor() const { return hintColor_; }
    void SetHintFormColor(const QColor& color);
    int HintOffsetX() const { return hintOffsetX_; }
    void SetHintOffsetX(int offset);
    int HintOffsetY() const { return hintOffsetY_; }
    void SetHintOffsetY(int offset);
    const QColor& LinkColor() const { return linkColor_; }
    void SetLinkColor(const QColor& color);

    // What a left click opens: "mailto:" + Link for tpMAIL, Link for tpURL.
    QString Target() const;
    // Replaces the desktop opener (tests).
    void SetUrlOpener(UrlOpener opener);

    bool IsHintShown() const { return hintShown_; }
    QWidget* HintWindow() const;
    QColor FontColor() const;

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    int URLTypeValue() const { return urlType_; }
    void SetURLTypeValue(int value) { SetURLType(value == tpMAIL ? tpMAIL : tpURL); }
    void SetFontColor(const QColor& color);
    void Repaint();
    void ShowHint(const QPoint& globalPos);
    void HideHint();

    class HintForm;

    TURLtype urlType_ = tpURL;
    QString link_ = QStringLiteral("http://");
    QFont hintFont_;
    bool enableShowHint_ = true;
    QColor hintColor_;
    int hintOffsetX_ = 15;
    int hintOffsetY_ = 15;
    QColor linkColor_ = Qt::red;

    std::unique_ptr<HintForm> hint_;
    bool hintShown_ = false;
    QColor savedColor_;
    UrlOpener opener_;
};
