// The run list as the main window's list view shows it: rows come from ka::RunList and reach the
// view in batches (Sync), so a run of a million lines neither shapes nor lays out each line.
#pragma once

#include <QAbstractListModel>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>

#include "app/RunList.h"

namespace ka::ui {

inline constexpr int kLineMarkRole = Qt::UserRole + 1;

// A line's width as the sum of its characters' advances, each measured once per font; close to
// the shaped width and a hundred times cheaper.
class CharAdvances {
  public:
    explicit CharAdvances(const QFont& font);
    int Width(std::string_view line);

  private:
    int Advance(char32_t c);
    QFontMetrics metrics_;
    std::array<int, 128> ascii_;
    QHash<char32_t, int> other_;
};

class RunListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    RunListModel(const QFont& font, QObject* parent);

    ka::RunList& List() { return list_; }
    const ka::RunList& List() const { return list_; }

    void Clear();
    // Tells the view what changed since the last sync.
    void Sync();
    void Mark(long long line, ka::JobResult result, std::string_view reason);
    // A line naming a file no job took, with why.
    void MarkAside(long long line, std::string_view reason);

    // The view lays out every row at each sync; an index is made without the base class's
    // checks through rowCount and columnCount.
    QModelIndex index(int row, int column = 0,
                      const QModelIndex& parent = QModelIndex()) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    void RowChanged(long long line);
    const std::string* AsideOf(int row) const;

    CharAdvances advances_;
    ka::RunList list_;
    // Lines left alone, by line number: few against the jobs, so no row carries room for one.
    std::unordered_map<long long, std::string> aside_;
    long long asideTrimmedAt_ = 0;  // the dropped lines when aside_ was last trimmed
};

}  // namespace ka::ui
