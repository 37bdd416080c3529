// The overview of "Batch file creation": one row per output of the list, its number and its
// files, then the lines past the hundred outputs, which are kept as they are and not edited.
// Rows follow the editor; the one-output editor below it shows the selected row.
#pragma once

#include <QAbstractTableModel>

#include "batch/OutListEditor.h"

namespace ka::ui {

class OutLinesModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    OutLinesModel(const OutListEditor& editor, QObject* parent);

    // Rows of outputs shown: up to the one after the last with files, and at least up to the
    // output shown, so there is always a next line to fill.
    int SlotRows() const;
    // Takes the editor's rows again.
    void Refresh();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    const OutListEditor& editor_;
    int rows_ = 0;
};

}  // namespace ka::ui
