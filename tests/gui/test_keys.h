// Keys as a user's keyboard sends them: to the focus widget, through every event filter and
// handler on the way. A key sent straight to an inner widget (a combo box's edit field, a spin
// box's editor) skips them and can pass where a user's key fails.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace ka::test {

// The focus widget, when it is the control the test means or lies inside it (a dialog).
inline QWidget* FocusIn(QWidget* meant) {
    QWidget* focus = QApplication::focusWidget();
    const bool inside = focus && meant && (focus == meant || meant->isAncestorOf(focus));
    EXPECT_TRUE(inside) << "focus on " << (focus ? focus->objectName().toStdString() : "nothing")
                        << ", not in " << (meant ? meant->objectName().toStdString() : "nothing");
    return inside ? focus : nullptr;
}

inline void KeyToFocus(QWidget* meant, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    if (QWidget* focus = FocusIn(meant))
        QTest::keyClick(focus, key, modifiers);
}

inline void TypeToFocus(QWidget* meant, const QString& text) {
    if (QWidget* focus = FocusIn(meant))
        QTest::keyClicks(focus, text);
}

}  // namespace ka::test
