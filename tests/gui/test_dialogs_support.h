// Helpers for the dialog tests: waiting on the event loop, finding controls, a scoped current
// directory and a modal runner that drives a dialog without a nested event loop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTest>
#include <functional>
#include <string>

#include "TestSupport.h"
#include "gui/common/Orrin1Ui.h"
#include "gui/shell/FileDialogs.h"
#include "platform/platform.h"
#include "shell/Paths.h"
#include "test_keys.h"

namespace ka::test {

// Runs the event loop until the condition holds or the time is up.
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    return QTest::qWaitFor(condition, milliseconds);
}

template <typename T>
T* Child(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << "no control " << name;
    return child;
}

// Shows a dialog the way a user meets it: visible, active, with the focus inside.
inline void ShowActive(QWidget& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::processEvents();
}

// A user's double-click: press and release, then the double-click event and its release (the
// test library's double-click alone sends no first press).
inline void DoubleClick(QWidget* widget, const QPoint& pos) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
}

// The current directory for the life of the object.
class ScopedCurrentDir {
  public:
    explicit ScopedCurrentDir(const std::string& folder) : previous_(platform::CurrentDirectory()) {
        EXPECT_TRUE(platform::ChangeDirectory(folder)) << folder;
    }
    ~ScopedCurrentDir() { platform::ChangeDirectory(previous_); }
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

  private:
    std::string previous_;
};

// A modal runner that shows the dialog, lets the test act on it and returns its result. A
// dialog the action leaves open is cancelled, as closing it from its title bar would.
inline ui::ModalRunner ScriptedRunner(std::function<void(QDialog&)> act, int* runs = nullptr) {
    return [act = std::move(act), runs](QDialog& dialog) {
        if (runs)
            ++*runs;
        dialog.setResult(0);
        ShowActive(dialog);
        if (act)
            act(dialog);
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    };
}

inline std::string Native(const std::string& path) {
    return ui::FromQt(QDir::toNativeSeparators(ui::ToQt(path)));
}

}  // namespace ka::test
