#include "gui/batch/OutLinesModel.h"

#include <QBrush>
#include <QPalette>
#include <algorithm>

#include "gui/common/Orrin1Ui.h"

namespace ka::ui {

OutLinesModel::OutLinesModel(const OutListEditor& editor, QObject* parent)
    : QAbstractTableModel(parent), editor_(editor) {}

int OutLinesModel::SlotRows() const {
    if (!editor_.Loaded()) {
        return 0;
    }
    return std::min(kOutSlotCount, std::max(editor_.HighestUsed() + 1, editor_.Current()));
}

void OutLinesModel::Refresh() {
    const int rows = SlotRows() + static_cast<int>(editor_.Rest().size());
    if (rows != rows_) {
        beginResetModel();
        rows_ = rows;
        endResetModel();
    } else if (rows_ > 0) {
        // The view asks again only for the rows it shows.
        emit dataChanged(index(0, 0), index(rows_ - 1, 1));
    }
}

int OutLinesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int OutLinesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant OutLinesModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    const int slotRows = SlotRows();
    if (row < 0 || row >= rows_ || row >= slotRows + static_cast<int>(editor_.Rest().size())) {
        return {};
    }
    const bool past = row >= slotRows;
    if (role == Qt::DisplayRole && index.column() == 0) {
        // Lines past the slots follow output 100 in the file, whatever rows are shown above.
        return past ? kOutSlotCount + 1 + (row - slotRows) : row + 1;
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::ForegroundRole) {
        return {};
    }
    if (role == Qt::ForegroundRole) {
        return past ? QVariant(QPalette().brush(QPalette::Disabled, QPalette::Text)) : QVariant();
    }
    QString line;
    if (past) {
        line = ToQt(editor_.Rest()[static_cast<std::size_t>(row - slotRows)]);
    } else {
        const OutSlot& slot = editor_.Slots()[static_cast<std::size_t>(row)];
        QStringList entries;
        for (const std::string& entry : slot) {
            entries << ToQt(entry);
        }
        line = entries.join(role == Qt::ToolTipRole ? QStringLiteral("\n") : QStringLiteral(","));
    }
    if (role == Qt::ToolTipRole && past) {
        line += QStringLiteral("\n(past output 100: kept as it is)");
    }
    return line;
}

QVariant OutLinesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return section == 0 ? QStringLiteral("No.") : QStringLiteral("Input files");
}

Qt::ItemFlags OutLinesModel::flags(const QModelIndex& index) const {
    // Only the hundred outputs are edited here; the lines past them can be read, not picked.
    if (index.row() >= SlotRows()) {
        return Qt::ItemIsEnabled;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace ka::ui
