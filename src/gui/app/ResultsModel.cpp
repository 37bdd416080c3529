#include "gui/app/ResultsModel.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QStyle>

#include "gui/app/ResultMarks.h"
#include "gui/common/Orrin1Ui.h"

namespace ka::ui {

namespace {
constexpr qsizetype kCachedRows = 1024;
const QColor kNotDoneColor(0xB0, 0x00, 0x00);  // as the run list marks a job not done
}  // namespace

ResultsModel::ResultsModel(const std::string& reportPath, QObject* parent)
    : QAbstractTableModel(parent), index_(reportPath), rows_(index_) {
    QStyle* style = QApplication::style();
    done_ = style->standardIcon(QStyle::SP_DialogApplyButton);
    warning_ = style->standardIcon(QStyle::SP_MessageBoxWarning);
    notRun_ = style->standardIcon(QStyle::SP_MessageBoxCritical);
    note_ = style->standardIcon(QStyle::SP_MessageBoxInformation);
}

void ResultsModel::Rebuild(const ka::ReportRows::Query& query) {
    beginResetModel();
    cache_.clear();
    rows_.Apply(query);
    endResetModel();
}

void ResultsModel::Refresh() {
    const std::size_t before = index_.Count();
    const ka::ReportIndex::Change change = index_.Refresh();
    if (change.reset) {
        Rebuild(rows_.CurrentQuery());
        return;
    }
    if (change.added == 0) {
        return;
    }
    const bool placed = rows_.Grow(
        before,
        [this](std::size_t row, std::size_t count) {
            beginInsertRows(QModelIndex(), static_cast<int>(row),
                            static_cast<int>(row + count) - 1);
        },
        [this] { endInsertRows(); });
    if (!placed) {
        Rebuild(rows_.CurrentQuery());
    }
}

void ResultsModel::SetReportPath(const std::string& reportPath) {
    if (reportPath == index_.Path()) {
        return;
    }
    beginResetModel();
    cache_.clear();
    index_.SetPath(reportPath);
    index_.Refresh();
    rows_.Apply(rows_.CurrentQuery());
    endResetModel();
}

void ResultsModel::SetFilter(bool needsLookOnly, const QString& text) {
    ka::ReportRows::Query query = rows_.CurrentQuery();
    query.needsLookOnly = needsLookOnly;
    query.text = FromQt(text);
    Rebuild(query);
}

void ResultsModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= static_cast<int>(ka::kReportColumnCount)) {
        return;
    }
    ka::ReportRows::Query query = rows_.CurrentQuery();
    query.sortColumn = static_cast<ka::ReportColumn>(column);
    query.ascending = order == Qt::AscendingOrder;
    Rebuild(query);
}

bool ResultsModel::ReadRow(int row, std::string& text, ka::ReportFields& fields) const {
    if (row < 0 || row >= rowCount()) {
        return false;
    }
    const bool read = index_.ReadLine(LineOfRow(row), text);
    ka::ParseReportLine(text, fields);
    return read;
}

const ResultsModel::Row* ResultsModel::RowAt(int row) const {
    if (row < 0 || row >= rowCount()) {
        return nullptr;
    }
    const auto line = static_cast<qsizetype>(LineOfRow(row));
    if (const auto found = cache_.constFind(line); found != cache_.constEnd()) {
        return &*found;
    }
    std::string text;
    ka::ReportFields fields;
    if (!ReadRow(row, text, fields)) {
        return nullptr;  // moved aside meanwhile: the next look starts over
    }
    if (cache_.size() >= kCachedRows) {
        cache_.clear();
    }
    Row shown;
    for (std::size_t c = 0; c < ka::kReportColumnCount; ++c) {
        shown.columns[c] = ToQt(ka::ReportColumnText(fields, static_cast<ka::ReportColumn>(c)));
    }
    const QString& result = shown.columns[static_cast<std::size_t>(ka::ReportColumn::Result)];
    const QString& reason = shown.columns[static_cast<std::size_t>(ka::ReportColumn::Reason)];
    shown.tip = reason.isEmpty() ? result : result + QStringLiteral(": ") + reason;
    return &*cache_.insert(line, std::move(shown));
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.Count());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(ka::kReportColumnCount);
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const std::size_t line = LineOfRow(index.row());
    const ka::ReportKind kind = index_.KindOf(line);
    const auto column = static_cast<ka::ReportColumn>(index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: {
            const Row* row = RowAt(index.row());
            if (!row) {
                return {};
            }
            const QString& text = row->columns[static_cast<std::size_t>(index.column())];
            if (role == Qt::DisplayRole) {
                return text;
            }
            if (column == ka::ReportColumn::Result || column == ka::ReportColumn::Reason) {
                return row->tip;
            }
            return text.isEmpty() ? QVariant() : QVariant(text);
        }
        case Qt::DecorationRole:
            if (column != ka::ReportColumn::Result) {
                return {};
            }
            switch (kind) {
                case ka::ReportKind::Job: {
                    // The run list's mark for the result, so both windows say it alike.
                    if (const Row* row = RowAt(index.row())) {
                        const QString& result =
                            row->columns[static_cast<std::size_t>(ka::ReportColumn::Result)];
                        for (std::size_t r = 0; r < ka::kJobResultCount; ++r) {
                            const auto known = static_cast<ka::JobResult>(r);
                            if (result == QLatin1String(ka::JobResultText(known))) {
                                return ResultMarkIcon(known);
                            }
                        }
                    }
                    const std::uint8_t flags = index_.Flags(line);
                    if (!(flags & ka::report_flag::kNotDone)) {
                        return done_;
                    }
                    return (flags & ka::report_flag::kNotRun) ? notRun_ : warning_;
                }
                case ka::ReportKind::LeftAlone:
                    return AsideMarkIcon();
                case ka::ReportKind::Message:
                    return note_;
                default:
                    return {};
            }
        case Qt::ForegroundRole:
            if (index_.NeedsLook(line)) {
                return kNotDoneColor;
            }
            return {};
        case Qt::FontRole:
            // A run's line closes its jobs: it stands out as their heading does.
            if (kind == ka::ReportKind::Run) {
                QFont bold = QApplication::font();
                bold.setBold(true);
                return bold;
            }
            return {};
        case Qt::BackgroundRole:
            if (kind == ka::ReportKind::Run) {
                return QApplication::palette().alternateBase();
            }
            return {};
        default:
            return {};
    }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::InitialSortOrderRole) {
        // Times newest first, texts from A.
        return section == static_cast<int>(ka::ReportColumn::Time) ? Qt::DescendingOrder
                                                                   : Qt::AscendingOrder;
    }
    if (orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(ka::kReportColumnCount)) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::ToolTipRole && section == static_cast<int>(ka::ReportColumn::Fate)) {
        return QStringLiteral("What became of the inputs (standby only)");
    }
    if (role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const kNames[ka::kReportColumnCount] = {
        "Time", "Mode", "Result", "Reason", "Output", "Inputs", "Inputs afterwards"};
    return QString::fromLatin1(kNames[section]);
}

}  // namespace ka::ui
