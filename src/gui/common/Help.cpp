#include "gui/common/Help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMessageBox>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <utility>

namespace ka::ui {

namespace {

HelpRequestHook& RequestHook() {
    static HelpRequestHook hook;
    return hook;
}

// One help window per top-level window; it lives as long as that window.
class HelpWindow : public QWidget {
  public:
    explicit HelpWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
        setObjectName(QStringLiteral("HelpWindow"));
        setWindowTitle(QGuiApplication::applicationDisplayName() + QStringLiteral(" Help"));
        browser_ = new QTextBrowser(this);
        browser_->setObjectName(QStringLiteral("HelpBrowser"));
        browser_->setOpenExternalLinks(true);
        browser_->setSearchPaths({HelpFolder()});
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser_);
        // Esc closes the page, also where no window manager draws a close box.
        auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        QObject::connect(close, &QShortcut::activated, this, &QWidget::close);
        resize(680, 560);
    }

    void ShowPage(const QString& path) {
        browser_->setSource(QUrl::fromLocalFile(path));
        show();
        raise();
        activateWindow();
    }

  private:
    QTextBrowser* browser_ = nullptr;
};

}  // namespace

QString HelpFolder() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help"));
}

QString HelpPageName(int topic) {
    switch (topic) {
        case kHelpContents:
            return QStringLiteral("index.html");
        case kHelpSettingsDialog:
        case kHelpBatchFileDialog:
        case kHelpResultsView:
        case kHelpBatchFileHelpButton:
            return QStringLiteral("topic%1.html").arg(topic);
        default:
            return {};
    }
}

void ShowHelp(QWidget* parent, int topic) {
    const QString name = HelpPageName(topic);
    const QString path = name.isEmpty() ? QString() : QDir(HelpFolder()).filePath(name);
    const bool found = !path.isEmpty() && QFileInfo(path).isFile();

    if (RequestHook()) {
        RequestHook()(topic, path, found);
        return;
    }

    QWidget* owner = parent ? parent->window() : nullptr;
    if (!found) {
        const QString what = path.isEmpty()
                                 ? QStringLiteral("Help topic %1 does not exist.").arg(topic)
                                 : QStringLiteral("Cannot open help page\n%1").arg(path);
        QMessageBox::critical(owner, QGuiApplication::applicationDisplayName(), what);
        return;
    }

    // Found by name: the class has no meta-object of its own for findChild to cast with.
    HelpWindow* window = owner ? dynamic_cast<HelpWindow*>(owner->findChild<QWidget*>(
                                     QStringLiteral("HelpWindow"), Qt::FindDirectChildrenOnly))
                               : nullptr;
    if (!window) {
        window = new HelpWindow(owner);
        if (!owner)
            window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->ShowPage(path);
}

void SetHelpRequestHook(HelpRequestHook hook) {
    RequestHook() = std::move(hook);
}

}  // namespace ka::ui
