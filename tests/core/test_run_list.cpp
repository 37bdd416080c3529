// The run list against a plain model of it: random appends, trims, marks and syncs, with a view
// that only learns of changes through Sync.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "app/RunList.h"

namespace ka {
namespace {

int ByteWidth(std::string_view line) {
    return static_cast<int>(line.size());
}

TEST(RunListTest, WidestViewAndMarksFollowEveryChange) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 random(seed);
        RunList list(ByteWidth);
        std::vector<std::string> model;  // the lines now listed
        long long dropped = 0;
        std::vector<std::string> view;  // what the view was told
        long long next = 0;
        for (int step = 0; step < 3000; ++step) {
            const unsigned op = random() % 10;
            if (op < 6) {
                // Widths repeat and rise and fall, so ties and trimmed maxima both occur.
                const std::string line = std::to_string(next++) + std::string(random() % 40, 'x');
                list.Add(line);
                model.push_back(line);
            } else if (op < 8) {
                const int n = static_cast<int>(random() % 8);
                const int removed = std::min<int>(n, static_cast<int>(model.size()));
                list.DeleteFirst(n);
                model.erase(model.begin(), model.begin() + removed);
                dropped += removed;
            } else if (op == 8) {
                const RunList::Changes changes = list.Sync();
                ASSERT_LE(changes.removed, static_cast<int>(view.size()));
                view.erase(view.begin(), view.begin() + changes.removed);
                const std::size_t kept = view.size();
                ASSERT_EQ(kept + static_cast<std::size_t>(changes.appended), model.size());
                view.insert(view.end(), model.begin() + static_cast<long>(kept), model.end());
                ASSERT_EQ(view, model) << "seed " << seed << " step " << step;
            } else if (!model.empty()) {
                const long long line = dropped + static_cast<long long>(random() % model.size());
                EXPECT_TRUE(list.Mark(line, JobResult::Written));
                EXPECT_EQ(list.MarkOf(static_cast<int>(line - dropped)), JobResult::Written);
                EXPECT_FALSE(list.Mark(dropped - 1, JobResult::Written));
                EXPECT_FALSE(
                    list.Mark(dropped + static_cast<long long>(model.size()), JobResult::Written));
            }

            ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
            ASSERT_EQ(list.Dropped(), dropped);
            int widest = 0;
            for (const std::string& line : model)
                widest = std::max(widest, ByteWidth(line));
            ASSERT_EQ(list.WidestWidth(), widest) << "seed " << seed << " step " << step;
            ASSERT_EQ(!list.WidestLine(), model.empty());
            if (list.WidestLine()) {
                ASSERT_EQ(ByteWidth(*list.WidestLine()), widest);
            }
            // Between syncs each view row shows its own line, or nothing once it is gone.
            ASSERT_EQ(list.ViewCount(), static_cast<int>(view.size()));
            for (int row = 0; row < list.ViewCount(); ++row) {
                const int at = list.RowOfViewRow(row);
                if (at >= 0) {
                    ASSERT_EQ(list.Line(at), view[static_cast<std::size_t>(row)]);
                    ASSERT_EQ(list.ViewRowOf(at), row);
                } else {
                    ASSERT_TRUE(std::find(model.begin(), model.end(),
                                          view[static_cast<std::size_t>(row)]) == model.end());
                }
            }
        }
        list.Clear();
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.Dropped(), 0);
        EXPECT_EQ(list.ViewCount(), 0);
        EXPECT_EQ(list.WidestWidth(), 0);
    }
}

}  // namespace
}  // namespace ka
