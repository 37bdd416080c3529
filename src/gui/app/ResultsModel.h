// The run report as the results view's table: rows come from ka::ReportRows over a
// ka::ReportIndex, and a line is read from the file only while its row is in view.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QString>
#include <array>
#include <string>

#include "app/ReportIndex.h"

namespace ka::ui {

class ResultsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    ResultsModel(const std::string& reportPath, QObject* parent);

    const ka::ReportIndex& Index() const { return index_; }
    const ka::ReportRows::Query& Query() const { return rows_.CurrentQuery(); }

    // Looks at the report again. New lines go where the query puts them, as inserted rows (so
    // a selection stays on its lines); a report moved aside or cut gives the rows anew.
    void Refresh();
    void SetFilter(bool needsLookOnly, const QString& text);
    // Reads another report from now on, from its start.
    void SetReportPath(const std::string& reportPath);

    std::size_t LineOfRow(int row) const { return rows_.LineAt(static_cast<std::size_t>(row)); }
    // The line of a row, read and split; false when the report cannot be read as indexed.
    bool ReadRow(int row, std::string& text, ka::ReportFields& fields) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

  private:
    struct Row {
        std::array<QString, ka::kReportColumnCount> columns;
        QString tip;  // result and reason together
    };
    const Row* RowAt(int row) const;
    void Rebuild(const ka::ReportRows::Query& query);

    ka::ReportIndex index_;
    ka::ReportRows rows_;
    // Rows read for the view, by line; dropped whole once large: a view shows a few dozen.
    mutable QHash<qsizetype, Row> cache_;
    QIcon done_;
    QIcon warning_;
    QIcon notRun_;
    QIcon note_;
};

}  // namespace ka::ui
