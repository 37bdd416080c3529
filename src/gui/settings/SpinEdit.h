// A whole-number spin box as the dialogs want it: while the user types, any sign-and-digits text
// is allowed; on leaving (or Enter) a value outside the range becomes the nearer bound and a
// text that is no number becomes the lower bound.
#pragma once

#include <QSpinBox>

namespace ka::ui {

class SpinEdit : public QSpinBox {
    Q_OBJECT
  public:
    using QSpinBox::QSpinBox;

    // The value the text stands for, put in range as leaving the box would.
    static int ClampedValue(const QString& text, int minimum, int maximum);

  protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
};

}  // namespace ka::ui
