#include "gui/shell/FileDialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>

#include "gui/common/Orrin1Ui.h"

namespace ka::ui {

QStringList ToQtNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString pattern = i + 1 < parts.size() ? parts[i + 1] : QString();
        if (description.isEmpty() && pattern.isEmpty()) {
            continue;
        }
        QStringList patterns;
        for (const QString& piece : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = piece.trimmed();
            patterns << (trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
        }
        if (patterns.isEmpty()) {
            patterns << QStringLiteral("*");
        }
        result << description + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) +
                      QLatin1Char(')');
    }
    return result;
}

bool FileDialog::Execute(QWidget* parent) {
    runs_.push_back({filter_, initialDir_, fileName_});
    if (!answers_.empty()) {
        const std::optional<QString> answer = answers_.front();
        answers_.pop_front();
        if (!answer) {
            return false;
        }
        fileName_ = *answer;
        return true;
    }
    if (!interactive_) {
        return false;
    }

    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode_ == Mode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Both pickers may name a file that does not exist yet: the callers create it.
    dialog.setFileMode(QFileDialog::AnyFile);
    // The save picker also chooses a file to read after a failed open; no overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    const QStringList nameFilters = ToQtNameFilters(filter_);
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
    }
    if (!initialDir_.isEmpty()) {
        dialog.setDirectory(initialDir_);
    }
    if (!fileName_.isEmpty()) {
        dialog.selectFile(fileName_);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return false;
    }
    fileName_ = QDir::toNativeSeparators(chosen.front());
    return true;
}

int ExecModal(QDialog& dialog) {
    return dialog.exec();
}

void CentreOnScreen(QWidget& window) {
    if (auto* dialog = qobject_cast<QDialog*>(&window)) {
        FitToScreen(*dialog);
    }
    const QScreen* screen = window.screen();
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return;
    }
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

}  // namespace ka::ui
