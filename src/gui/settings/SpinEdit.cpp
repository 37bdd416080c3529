#include "gui/settings/SpinEdit.h"

#include <QRegularExpression>
#include <algorithm>

namespace ka::ui {

int SpinEdit::ClampedValue(const QString& text, int minimum, int maximum) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    const qlonglong value = trimmed.toLongLong(&ok);
    if (!ok) {
        // A number too long for 64 bits is still far out of range on its side.
        static const QRegularExpression kDigits(QStringLiteral("^[+-]?[0-9]+$"));
        if (kDigits.match(trimmed).hasMatch()) {
            return trimmed.startsWith(QLatin1Char('-')) ? minimum : maximum;
        }
        return minimum;
    }
    return static_cast<int>(std::clamp<qlonglong>(value, minimum, maximum));
}

QValidator::State SpinEdit::validate(QString& input, int& pos) const {
    const QValidator::State state = QSpinBox::validate(input, pos);
    if (state == QValidator::Acceptable) {
        return state;
    }
    // Out-of-range and half-typed numbers are left for fixup; letters never get in.
    for (qsizetype i = 0; i < input.size(); ++i) {
        const QChar c = input[i];
        const bool sign = i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'));
        if (!sign && !c.isDigit() && c != QLatin1Char(' ')) {
            return QValidator::Invalid;
        }
    }
    return QValidator::Intermediate;
}

void SpinEdit::fixup(QString& input) const {
    input = QString::number(ClampedValue(input, minimum(), maximum()));
}

}  // namespace ka::ui
