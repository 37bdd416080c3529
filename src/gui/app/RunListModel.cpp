#include "gui/app/RunListModel.h"

#include <QColor>
#include <algorithm>

#include "gui/app/ResultMarks.h"
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
      list_([this](std::string_view line) { return advances_.Width(line); }) {}

void RunListModel::Clear() {
    beginResetModel();
    list_.Clear();
    aside_.clear();
    asideTrimmedAt_ = 0;
    endResetModel();
}

void RunListModel::Sync() {
    // Done in two steps as the view expects: the rows gone from the front, then the new ones.
    const int viewCount = list_.ViewCount();
    const ka::RunList::Changes changes = list_.Sync();
    if (!aside_.empty() && list_.Dropped() != asideTrimmedAt_) {
        std::erase_if(aside_, [this](const auto& entry) { return entry.first < list_.Dropped(); });
        asideTrimmedAt_ = list_.Dropped();
    }
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
    if (list_.Mark(line, result, reason))
        RowChanged(line);
}

void RunListModel::MarkAside(long long line, std::string_view reason) {
    if (line < list_.Dropped() || line >= list_.Dropped() + list_.Count())
        return;  // scrolled out of the kept lines
    aside_[line].assign(reason);
    RowChanged(line);
}

void RunListModel::RowChanged(long long line) {
    const int viewRow = list_.ViewRowOf(static_cast<int>(line - list_.Dropped()));
    if (viewRow >= 0) {
        const QModelIndex changed = index(viewRow);
        emit dataChanged(changed, changed);
    }
}

const std::string* RunListModel::AsideOf(int row) const {
    if (aside_.empty())
        return nullptr;
    const auto found = aside_.find(list_.Dropped() + row);
    return found == aside_.end() ? nullptr : &found->second;
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
    const std::string* aside = mark ? nullptr : AsideOf(row);
    switch (role) {
        case Qt::DisplayRole:
            return ToQt(list_.Line(row));
        case Qt::DecorationRole:
            if (mark)
                return ResultMarkIcon(*mark);
            return aside ? AsideMarkIcon() : QVariant();
        case Qt::ForegroundRole:
            // Jobs not done stand out; what nothing was asked of steps back.
            if (mark && !ka::JobDone(*mark))
                return NotDoneColor();
            if (aside || mark == ka::JobResult::Skipped)
                return PassedOverColor();
            return {};
        case Qt::ToolTipRole: {
            // The whole line, which the row may show shortened, then what became of it.
            QString tip = ToQt(list_.Line(row));
            if (aside)
                return tip + QStringLiteral("\nleft alone: ") + ToQt(*aside);
            if (!mark)
                return tip;
            tip += QLatin1Char('\n') + QString::fromLatin1(ka::JobResultText(*mark));
            if (!list_.ReasonOf(row).empty())
                tip += QStringLiteral(": ") + ToQt(list_.ReasonOf(row));
            return tip;
        }
        case kLineMarkRole:
            if (aside)
                return QStringLiteral("left alone");
            if (!mark)
                return {};
            return QString::fromLatin1(ka::JobResultText(*mark));
        default:
            return {};
    }
}

}  // namespace ka::ui
