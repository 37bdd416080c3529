#include "gui/app/RunListModel.h"

#include <QApplication>
#include <QColor>
#include <QStyle>
#include <algorithm>

#include "gui/common/Orrin1Ui.h"

namespace ka::ui {

// Every line of a run is summed from this table: filled once, so the sum needs no test.
CharAdvances::CharAdvances(const QFont& font) : metrics_(font) {
    for (std::size_t c = 0; c < ascii_.size(); ++c)
        ascii_[c] = metrics_.horizontalAdvance(QChar(static_cast<char16_t>(c)));
}

int CharAdvances::Advance(char32_t c) {
    if (c < ascii_.size())
        return ascii_[c];
    auto it = other_.find(c);
    if (it == other_.end())
        it = other_.insert(c, metrics_.horizontalAdvance(QString::fromUcs4(&c, 1)));
    return *it;
}

int CharAdvances::Width(std::string_view line) {
    int width = 0;
    std::size_t i = 0;
    for (; i < line.size() && static_cast<unsigned char>(line[i]) < 0x80; ++i)
        width += ascii_[static_cast<unsigned char>(line[i])];
    if (i == line.size())
        return width;
    // Text beyond ASCII is in the system code page: decoded once, then summed per character.
    width = 0;
    const QString text = ToQt(std::string(line));
    for (const char32_t c : text.toUcs4())
        width += Advance(c);
    return width;
}

RunListModel::RunListModel(const QFont& font, QObject* parent)
    : QAbstractListModel(parent),
      advances_(font),
      list_([this](std::string_view line) { return advances_.Width(line); }) {
    QStyle* style = QApplication::style();
    done_ = style->standardIcon(QStyle::SP_DialogApplyButton);
    noOutput_ = style->standardIcon(QStyle::SP_MessageBoxWarning);
    notRun_ = style->standardIcon(QStyle::SP_MessageBoxCritical);
}

void RunListModel::Clear() {
    beginResetModel();
    list_.Clear();
    endResetModel();
}

void RunListModel::Sync() {
    // Done in two steps as the view expects: the rows gone from the front, then the new ones.
    const int viewCount = list_.ViewCount();
    const ka::RunList::Changes changes = list_.Sync();
    if (changes.removed > 0) {
        beginRemoveRows(QModelIndex(), 0, changes.removed - 1);
        endRemoveRows();
    }
    if (changes.appended > 0) {
        const int first = viewCount - changes.removed;
        beginInsertRows(QModelIndex(), first, first + changes.appended - 1);
        endInsertRows();
    }
}

void RunListModel::Mark(long long line, ka::JobResult result, std::string_view reason) {
    if (!list_.Mark(line, result, reason))
        return;  // scrolled out of the kept lines
    const int viewRow = list_.ViewRowOf(static_cast<int>(line - list_.Dropped()));
    if (viewRow >= 0) {
        const QModelIndex changed = index(viewRow);
        emit dataChanged(changed, changed);
    }
}

QModelIndex RunListModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || row >= list_.ViewCount() || column != 0 || parent.isValid())
        return {};
    return createIndex(row, column);
}

int RunListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.ViewCount();
}

QVariant RunListModel::data(const QModelIndex& index, int role) const {
    // Between syncs the view may ask for a row already trimmed: it gets nothing.
    const int row = list_.RowOfViewRow(index.row());
    if (row < 0)
        return {};
    const std::optional<ka::JobResult> mark = list_.MarkOf(row);
    const bool done = mark && ka::JobDone(*mark);
    switch (role) {
        case Qt::DisplayRole:
            return ToQt(list_.Line(row));
        case Qt::DecorationRole:
            if (!mark)
                return {};
            return done ? done_ : *mark == ka::JobResult::NotRun ? notRun_ : noOutput_;
        case Qt::ForegroundRole:
            // Jobs not done stand out in red.
            if (mark && !done)
                return QColor(0xB0, 0x00, 0x00);
            return {};
        case Qt::ToolTipRole: {
            // The whole line, which the row may show shortened, then the job's result.
            QString tip = ToQt(list_.Line(row));
            if (!mark)
                return tip;
            tip += QLatin1Char('\n') + QString::fromLatin1(ka::JobResultText(*mark));
            if (!list_.ReasonOf(row).empty())
                tip += QStringLiteral(": ") + ToQt(list_.ReasonOf(row));
            return tip;
        }
        case kLineMarkRole:
            if (!mark)
                return {};
            return QString::fromLatin1(ka::JobResultText(*mark));
        default:
            return {};
    }
}

}  // namespace ka::ui
