// The results window over a large run report, offscreen: the time from opening it to the first
// paint of its table and the memory it then holds, then the filter, a search, a sort by a path
// column and a thousand lines arriving, each timed. One run per process, so the memory figures
// are the window's own.
//
//   bench_results [lines]   report lines (default 1000000)
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "TestSupport.h"
#include "app/ReportIndex.h"
#include "app/RunResults.h"
#include "gui/app/ResultsForm.h"
#include "platform/platform.h"

namespace {

// "VmRSS" (now) or "VmHWM" (peak) of this process, KiB.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(field) + 1);
        }
    }
    return -1;
}

// A report as long runs leave it: batches of a thousand comparison jobs, most written, some
// without output or not run, each batch closed by its run line. Bytes written.
long long WriteReport(const std::string& path, long lines) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    long long bytes = 0;
    char line[512];
    for (long i = 0; i < lines; ++i) {
        int n = 0;
        if (i % 1001 == 1000) {
            n = std::snprintf(line, sizeof line,
                              "2026-12-08 11:40:02\tbatch\trun\t994 written, 5 without output, 1 "
                              "not run\tconverter exit code 0\t61.3 s\r\n");
        } else {
            const char* result = i % 200 == 7 ? "no output" : i % 997 == 3 ? "not run" : "written";
            const char* reason = result[0] == 'w'   ? "-"
                                 : result[1] == 'o' ? "output not written"
                                                    : "converter crashed (signal 11)";
            n = std::snprintf(line, sizeof line,
                              "2026-12-08 11:40:02\tbatch\t%s\t-\t/data/drawings/out/"
                              "plan%07ld.pdf\t/data/drawings/in/plan%07ld.hgl\t/data/drawings/ref/"
                              "plan%07ld.hgl\t%s\r\n",
                              result, i, i, i, reason);
        }
        std::fwrite(line, 1, static_cast<std::size_t>(n), file);
        bytes += n;
    }
    std::fclose(file);
    return bytes;
}

// Stops a loop at the first paint of the widget it watches.
class FirstPaint : public QObject {
  public:
    QEventLoop loop;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            loop.quit();
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    ka::test::TempDir data;
    ka::Settings settings;
    settings.sDataDir = data.Path();
    const std::string report = ka::RunReport::PathIn(data.Path());
    const long long bytes = WriteReport(report, lines);
    ka::test::RecordingMessageSink sink;

    const long rssBefore = StatusKiB("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    ka::ui::TResultsForm form(settings, sink);
    auto* table = form.findChild<QTableView*>("TableResults");
    FirstPaint painted;
    table->viewport()->installEventFilter(&painted);
    form.resize(1300, 680);
    form.show();
    painted.loop.exec();
    const qint64 firstPaintMs = clock.elapsed();
    const long rssAfter = StatusKiB("VmRSS:");
    const long peakAfter = StatusKiB("VmHWM:");

    clock.restart();
    form.findChild<QCheckBox*>("CheckBoxNotDone")->click();
    const qint64 filterMs = clock.elapsed();
    const int notDoneRows = table->model()->rowCount();
    form.findChild<QCheckBox*>("CheckBoxNotDone")->click();

    auto* search = form.findChild<QLineEdit*>("EditSearch");
    clock.restart();
    search->setText(QStringLiteral("PLAN0500000"));
    form.EditSearchChange();
    const qint64 searchMs = clock.elapsed();
    const int foundRows = table->model()->rowCount();
    search->clear();
    form.EditSearchChange();

    clock.restart();
    table->sortByColumn(static_cast<int>(ka::ReportColumn::Output), Qt::AscendingOrder);
    const qint64 sortMs = clock.elapsed();
    const long peakAfterSort = StatusKiB("VmHWM:");
    table->sortByColumn(static_cast<int>(ka::ReportColumn::Time), Qt::DescendingOrder);

    WriteReport(report + ".more", 1000);
    std::FILE* more = std::fopen((report + ".more").c_str(), "rb");
    std::FILE* out = std::fopen(report.c_str(), "ab");
    char block[65536];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, more)) > 0;)
        std::fwrite(block, 1, n, out);
    std::fclose(more);
    std::fclose(out);
    clock.restart();
    form.Timer1Timer();
    const qint64 growMs = clock.elapsed();

    std::printf(
        "lines=%ld report_mib=%.1f first_paint_ms=%lld rss_before_kib=%ld rss_after_kib=%ld "
        "peak_rss_kib=%ld filter_ms=%lld not_done_rows=%d search_ms=%lld found_rows=%d "
        "sort_by_output_ms=%lld peak_rss_after_sort_kib=%ld grow_1000_ms=%lld rows_after=%d\n",
        lines, static_cast<double>(bytes) / (1024.0 * 1024.0), static_cast<long long>(firstPaintMs),
        rssBefore, rssAfter, peakAfter, static_cast<long long>(filterMs), notDoneRows,
        static_cast<long long>(searchMs), foundRows, static_cast<long long>(sortMs), peakAfterSort,
        static_cast<long long>(growMs), table->model()->rowCount());
    return 0;
}
