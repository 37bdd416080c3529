#include "gui/app/ResultsForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "app/ReportIndex.h"
#include "app/ResultActions.h"
#include "app/RunResults.h"
#include "gui/app/ResultsModel.h"
#include "gui/common/Help.h"
#include "gui/common/Orrin1Ui.h"
#include "platform/platform.h"
#include "settings/UserMessages.h"
#include "shell/Paths.h"

namespace ka::ui {

namespace {

constexpr int kRefreshMs = 1000;
// A run list shows the last run's lines: their jobs are among the report's last lines.
constexpr std::size_t kJobLookBack = 1'000'000;
constexpr int kSearchDelayMs = 300;

QString WithThousands(std::size_t n) {
    QString digits = QString::number(n);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3) {
        digits.insert(i, QLatin1Char(','));
    }
    return digits;
}

QString Count(std::size_t n, const char* one, const char* many) {
    return WithThousands(n) + QLatin1Char(' ') + QString::fromLatin1(n == 1 ? one : many);
}

QAction* MakeAction(QWidget* owner, const char* name, const QString& text) {
    auto* action = new QAction(text, owner);
    action->setObjectName(QString::fromLatin1(name));
    owner->addAction(action);
    return action;
}

}  // namespace

TResultsForm::TResultsForm(const ka::Settings& settings, ka::MessageSink& sink, QWidget* parent)
    : QDialog(parent), settings_(settings), sink_(sink) {
    setObjectName(QStringLiteral("ResultsForm"));
    setWindowTitle(QStringLiteral("Results"));
    // A window of its own beside the main window, resizable, with the usual boxes.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setModal(false);
    model_ = new ResultsModel(RunReport::PathIn(settings_.sDataDir), this);
    BuildControls();
    ConnectHandlers();
    resize(1180, 600);
}

TResultsForm::~TResultsForm() = default;

void TResultsForm::BuildControls() {
    CheckBoxNotDone = new QCheckBox(QStringLiteral("Only jobs &not done"), this);
    CheckBoxNotDone->setObjectName(QStringLiteral("CheckBoxNotDone"));
    CheckBoxNotDone->setToolTip(QStringLiteral("Jobs without their output, and files left alone"));
    EditSearch = new QLineEdit(this);
    EditSearch->setObjectName(QStringLiteral("EditSearch"));
    EditSearch->setPlaceholderText(QStringLiteral("Search: a name, a folder, a reason"));
    EditSearch->setClearButtonEnabled(true);
    auto* searchLabel = new QLabel(QStringLiteral("&Search:"), this);
    searchLabel->setBuddy(EditSearch);
    LabelCount = new QLabel(this);
    LabelCount->setObjectName(QStringLiteral("LabelCount"));

    TableResults = new QTableView(this);
    TableResults->setObjectName(QStringLiteral("TableResults"));
    TableResults->setModel(model_);
    TableResults->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableResults->setSelectionMode(QAbstractItemView::ExtendedSelection);
    TableResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableResults->setWordWrap(false);
    TableResults->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Paths keep both ends in sight: the folder's start and the file's name.
    TableResults->setTextElideMode(Qt::ElideMiddle);
    TableResults->setSortingEnabled(true);
    TableResults->setContextMenuPolicy(Qt::ActionsContextMenu);
    // Rows of one height and columns sized by hand: nothing measures a million rows.
    QHeaderView* rows = TableResults->verticalHeader();
    rows->setVisible(false);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(TableResults->fontMetrics().height() + 6);
    QHeaderView* columns = TableResults->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    columns->setSectionsMovable(false);
    columns->setSortIndicator(static_cast<int>(ka::ReportColumn::Time), Qt::DescendingOrder);
    // The time and the longest result whole; the reason gets the most room.
    QFont bold = TableResults->font();
    bold.setBold(true);  // as a run's line shows
    const QFontMetrics metrics(bold);
    const int pad = 2 * metrics.averageCharWidth() + 4;
    const int icon = TableResults->style()->pixelMetric(QStyle::PM_SmallIconSize);
    const int widths[] = {metrics.horizontalAdvance(QStringLiteral("2026-12-08 88:88:88")) + pad,
                          metrics.horizontalAdvance(QStringLiteral("comparison")) + pad,
                          metrics.horizontalAdvance(QStringLiteral("no difference")) + icon + pad,
                          300,
                          220,
                          220,
                          140};
    for (int c = 0; c < static_cast<int>(ka::kReportColumnCount); ++c) {
        columns->resizeSection(c, widths[c]);
    }

    LabelDetails = new QLabel(this);
    LabelDetails->setObjectName(QStringLiteral("LabelDetails"));
    LabelDetails->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelDetails->setWordWrap(true);
    LabelDetails->setTextFormat(Qt::PlainText);
    LabelDetails->setMinimumHeight(3 * fontMetrics().height());
    LabelDetails->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelStatus = new QLabel(this);
    LabelStatus->setObjectName(QStringLiteral("LabelStatus"));
    LabelStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelStatus->setTextFormat(Qt::PlainText);
    LabelStatus->setWordWrap(true);

    ButtonRetryBatch = new QPushButton(QStringLiteral("&Run again"), this);
    ButtonRetryBatch->setObjectName(QStringLiteral("ButtonRetryBatch"));
    ButtonRetryBatch->setToolTip(
        QStringLiteral("Runs the selected batch jobs that were not done again, in a new batch"));
    ButtonMoveBack = new QPushButton(QStringLiteral("&Back from Failed"), this);
    ButtonMoveBack->setObjectName(QStringLiteral("ButtonMoveBack"));
    ButtonMoveBack->setToolTip(QStringLiteral(
        "Moves the selected drawings from Failed back into their hot folder for the next cycle"));
    ButtonHelp = new QPushButton(QStringLiteral("&Help"), this);
    ButtonHelp->setObjectName(QStringLiteral("ButtonHelp"));
    ButtonClose = new QPushButton(QStringLiteral("&Close"), this);
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    for (QPushButton* button : {ButtonRetryBatch, ButtonMoveBack, ButtonHelp, ButtonClose}) {
        button->setAutoDefault(false);
    }

    ActionOpenOutput = MakeAction(TableResults, "ActionOpenOutput", QStringLiteral("Open output"));
    ActionOpenOutputFolder =
        MakeAction(TableResults, "ActionOpenOutputFolder", QStringLiteral("Open output folder"));
    ActionOpenInputFolder =
        MakeAction(TableResults, "ActionOpenInputFolder", QStringLiteral("Open input folder"));
    ActionOpenFailedFolder =
        MakeAction(TableResults, "ActionOpenFailedFolder", QStringLiteral("Open Failed folder"));
    TableResults->addAction(new QAction(this));
    TableResults->actions().last()->setSeparator(true);
    ActionCopyOutput =
        MakeAction(TableResults, "ActionCopyOutput", QStringLiteral("Copy output path"));
    ActionCopyInputs =
        MakeAction(TableResults, "ActionCopyInputs", QStringLiteral("Copy input paths"));
    TableResults->addAction(new QAction(this));
    TableResults->actions().last()->setSeparator(true);
    ActionRetryBatch = MakeAction(TableResults, "ActionRetryBatch", QStringLiteral("Run again"));
    ActionMoveBack =
        MakeAction(TableResults, "ActionMoveBack", QStringLiteral("Move back from Failed"));
    ActionCopyOutput->setShortcut(QKeySequence::Copy);
    ActionCopyOutput->setShortcutContext(Qt::WidgetShortcut);

    auto* top = new QHBoxLayout;
    top->addWidget(CheckBoxNotDone);
    top->addSpacing(16);
    top->addWidget(searchLabel);
    top->addWidget(EditSearch, 1);
    top->addSpacing(16);
    top->addWidget(LabelCount);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ButtonRetryBatch);
    bottom->addWidget(ButtonMoveBack);
    bottom->addStretch(1);
    bottom->addWidget(ButtonHelp);
    bottom->addWidget(ButtonClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(TableResults, 1);
    layout->addWidget(LabelDetails);
    layout->addWidget(LabelStatus);
    layout->addLayout(bottom);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kRefreshMs);
    searchDelay_ = new QTimer(this);
    searchDelay_->setSingleShot(true);
    searchDelay_->setInterval(kSearchDelayMs);

    setTabOrder(CheckBoxNotDone, EditSearch);
    setTabOrder(EditSearch, TableResults);
    setTabOrder(TableResults, ButtonRetryBatch);
    setTabOrder(ButtonRetryBatch, ButtonMoveBack);
    setTabOrder(ButtonMoveBack, ButtonHelp);
    setTabOrder(ButtonHelp, ButtonClose);
}

void TResultsForm::ConnectHandlers() {
    connect(Timer1, &QTimer::timeout, this, &TResultsForm::Timer1Timer);
    connect(CheckBoxNotDone, &QCheckBox::toggled, this, &TResultsForm::CheckBoxNotDoneClick);
    connect(EditSearch, &QLineEdit::textChanged, searchDelay_, qOverload<>(&QTimer::start));
    connect(EditSearch, &QLineEdit::returnPressed, this, &TResultsForm::EditSearchChange);
    connect(searchDelay_, &QTimer::timeout, this, &TResultsForm::EditSearchChange);
    connect(TableResults, &QTableView::doubleClicked, this, &TResultsForm::TableResultsDblClick);
    connect(TableResults->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TResultsForm::UpdateActions);
    connect(TableResults->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        ShowDetails();
        UpdateActions();
    });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        ShowCount();
        ShowDetails();
        UpdateActions();
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                KeepViewOnRowsInserted(first, last);
                ShowCount();
            });
    connect(ButtonRetryBatch, &QPushButton::clicked, this, &TResultsForm::ButtonRetryBatchClick);
    connect(ButtonMoveBack, &QPushButton::clicked, this, &TResultsForm::ButtonMoveBackClick);
    connect(ButtonHelp, &QPushButton::clicked, this, &TResultsForm::ButtonHelpClick);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::close);
    connect(ActionOpenOutput, &QAction::triggered, this,
            [this] { TableResultsDblClick(TableResults->currentIndex()); });
    connect(ActionOpenOutputFolder, &QAction::triggered, this,
            &TResultsForm::ActionOpenOutputFolderClick);
    connect(ActionOpenInputFolder, &QAction::triggered, this,
            &TResultsForm::ActionOpenInputFolderClick);
    connect(ActionOpenFailedFolder, &QAction::triggered, this,
            &TResultsForm::ActionOpenFailedFolderClick);
    connect(ActionCopyOutput, &QAction::triggered, this, &TResultsForm::ActionCopyOutputClick);
    connect(ActionCopyInputs, &QAction::triggered, this, &TResultsForm::ActionCopyInputsClick);
    connect(ActionRetryBatch, &QAction::triggered, this, &TResultsForm::ButtonRetryBatchClick);
    connect(ActionMoveBack, &QAction::triggered, this, &TResultsForm::ButtonMoveBackClick);
}

void TResultsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The data folder is known only after the program's start-up, which may follow this
    // window's making.
    const std::string report = RunReport::PathIn(settings_.sDataDir);
    if (LabelStatus->text().isEmpty() || report != model_->Index().Path()) {
        model_->SetReportPath(report);
        Say(QStringLiteral("Run report: ") + ToQt(report));
        LabelCount->setToolTip(ToQt(report));
    }
    Timer1Timer();
    ShowCount();
    UpdateActions();
    Timer1->start();
}

void TResultsForm::hideEvent(QHideEvent* event) {
    Timer1->stop();
    QDialog::hideEvent(event);
}

void TResultsForm::Timer1Timer() {
    model_->Refresh();
}

void TResultsForm::KeepViewOnRowsInserted(int first, int last) {
    // Rows that arrive above what the user is reading push it down by as many rows; at the
    // top, the newest stay in sight.
    QScrollBar* bar = TableResults->verticalScrollBar();
    const QModelIndex top = TableResults->indexAt(QPoint(0, 0));
    if (bar->value() > 0 && top.isValid() && first <= top.row()) {
        bar->setValue(bar->value() +
                      (last - first + 1) * TableResults->verticalHeader()->defaultSectionSize());
    }
}

void TResultsForm::ShowCount() {
    const std::size_t all = model_->Index().Count();
    const auto shown = static_cast<std::size_t>(model_->rowCount());
    LabelCount->setText(shown == all ? Count(all, "line", "lines")
                                     : WithThousands(shown) + QStringLiteral(" of ") +
                                           Count(all, "line", "lines"));
}

void TResultsForm::Say(const QString& text) {
    LabelStatus->setText(text);
}

int TResultsForm::RowOfLine(std::size_t line) const {
    const int rows = model_->rowCount();
    for (int row = 0; row < rows; ++row) {
        if (model_->LineOfRow(row) == line) {
            return row;
        }
    }
    return -1;
}

bool TResultsForm::SelectJob(const QString& listLine) {
    model_->Refresh();
    const std::string wanted = FromQt(listLine);
    const ka::ReportIndex& index = model_->Index();
    const std::size_t count = index.Count();
    // The newest job that ran the line (a standby comparison adds comment files after the
    // pair), or the newest line of the file left alone.
    std::size_t found = count;
    ka::ReportFields fields;
    index.Scan(
        count - std::min(count, kJobLookBack), count, [&](std::size_t line, std::string_view text) {
            const ka::ReportKind kind = index.KindOf(line);
            if (kind != ka::ReportKind::Job && kind != ka::ReportKind::LeftAlone) {
                return;
            }
            ka::ParseReportLine(text, fields);
            const std::string ran = ka::ListLineOf(fields);
            if (ran == wanted || (kind == ka::ReportKind::Job && ran.starts_with(wanted + ","))) {
                found = line;
            }
        });
    if (found == count) {
        return false;
    }
    int row = RowOfLine(found);
    if (row < 0) {
        EditSearch->clear();
        CheckBoxNotDone->setChecked(false);
        model_->SetFilter(false, QString());
        row = RowOfLine(found);
    }
    if (row < 0) {
        return false;
    }
    const QModelIndex at = model_->index(row, static_cast<int>(ka::ReportColumn::Result));
    TableResults->setCurrentIndex(at);
    TableResults->selectionModel()->select(
        at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    TableResults->scrollTo(at, QAbstractItemView::PositionAtCenter);
    TableResults->setFocus(Qt::OtherFocusReason);
    return true;
}

void TResultsForm::CheckBoxNotDoneClick() {
    model_->SetFilter(CheckBoxNotDone->isChecked(), EditSearch->text());
}

void TResultsForm::EditSearchChange() {
    searchDelay_->stop();
    if (FromQt(EditSearch->text()) == model_->Query().text) {
        return;
    }
    model_->SetFilter(CheckBoxNotDone->isChecked(), EditSearch->text());
}

bool TResultsForm::CurrentFields(std::string& text, ka::ReportFields& fields) const {
    const QModelIndex current = TableResults->currentIndex();
    return current.isValid() && model_->ReadRow(current.row(), text, fields);
}

std::vector<std::size_t> TResultsForm::SelectedLines(std::uint8_t flags) const {
    std::vector<std::size_t> lines;
    // By ranges: a selection of every row of a large report is a few ranges, not a row each.
    for (const QItemSelectionRange& range : TableResults->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            const std::size_t line = model_->LineOfRow(row);
            if ((model_->Index().Flags(line) & flags) == flags) {
                lines.push_back(line);
            }
        }
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

void TResultsForm::UpdateActions() {
    using namespace ka::report_flag;
    const bool retry = !SelectedLines(kBatch | kNotDone).empty();
    const bool back = !SelectedLines(kInFailed).empty();
    ButtonRetryBatch->setEnabled(retry);
    ActionRetryBatch->setEnabled(retry);
    ButtonMoveBack->setEnabled(back);
    ActionMoveBack->setEnabled(back);

    std::string text;
    ka::ReportFields fields;
    const bool row = CurrentFields(text, fields);
    const bool output =
        row && fields.kind == ka::ReportKind::Job && fields.output != "-" && !fields.output.empty();
    const bool inputs = row && !fields.inputs.empty();
    ActionOpenOutput->setEnabled(output);
    ActionOpenOutputFolder->setEnabled(output);
    ActionCopyOutput->setEnabled(output);
    ActionOpenInputFolder->setEnabled(inputs);
    ActionOpenFailedFolder->setEnabled(inputs);
    ActionCopyInputs->setEnabled(inputs);
}

void TResultsForm::ShowDetails() {
    std::string text;
    ka::ReportFields fields;
    if (!CurrentFields(text, fields)) {
        LabelDetails->clear();
        return;
    }
    using ka::ReportColumn;
    const auto column = [&fields](ReportColumn c) { return ToQt(ReportColumnText(fields, c)); };
    QString shown = column(ReportColumn::Time) + QStringLiteral("  ") + column(ReportColumn::Mode) +
                    QStringLiteral("  ") + column(ReportColumn::Result);
    if (!column(ReportColumn::Reason).isEmpty()) {
        shown += QStringLiteral(": ") + column(ReportColumn::Reason);
    }
    if (!column(ReportColumn::Output).isEmpty()) {
        shown += QStringLiteral("\nOutput: ") + column(ReportColumn::Output);
    }
    if (!fields.inputs.empty()) {
        shown += QString::fromLatin1(fields.inputs.size() == 1 ? "\nInput: " : "\nInputs: ") +
                 column(ReportColumn::Inputs);
        if (!column(ReportColumn::Fate).isEmpty()) {
            shown += QStringLiteral(" (") + column(ReportColumn::Fate) + QLatin1Char(')');
        }
    }
    LabelDetails->setText(shown);
}

void TResultsForm::OpenLocal(const std::string& path, const char* what) {
    if (!platform::PathExists(path)) {
        Say(QString::fromLatin1(what) + QLatin1Char(' ') + ToQt(path) +
            QStringLiteral(" does not exist."));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(ToQt(path)))) {
        Say(QStringLiteral("No program here opens ") + ToQt(path) + QLatin1Char('.'));
    }
}

void TResultsForm::TableResultsDblClick(const QModelIndex& index) {
    std::string text;
    ka::ReportFields fields;
    if (!index.isValid() || !model_->ReadRow(index.row(), text, fields)) {
        return;
    }
    if (fields.kind != ka::ReportKind::Job || fields.output.empty() || fields.output == "-") {
        Say(QStringLiteral("This line names no output."));
        return;
    }
    OpenLocal(std::string(fields.output), "The output");
}

void TResultsForm::ActionOpenOutputFolderClick() {
    std::string text;
    ka::ReportFields fields;
    if (CurrentFields(text, fields) && !fields.output.empty() && fields.output != "-") {
        OpenLocal(FolderPart(fields.output), "The folder");
    }
}

void TResultsForm::ActionOpenInputFolderClick() {
    std::string text;
    ka::ReportFields fields;
    if (CurrentFields(text, fields) && !fields.inputs.empty()) {
        OpenLocal(FolderPart(fields.inputs.front()), "The folder");
    }
}

void TResultsForm::ActionOpenFailedFolderClick() {
    std::string text;
    ka::ReportFields fields;
    if (CurrentFields(text, fields) && !fields.inputs.empty()) {
        OpenLocal(JoinPath(FolderPart(fields.inputs.front()), ka::kFailedFolderName), "The folder");
    }
}

void TResultsForm::ActionCopyOutputClick() {
    std::string text;
    ka::ReportFields fields;
    if (CurrentFields(text, fields) && !fields.output.empty() && fields.output != "-") {
        QApplication::clipboard()->setText(ToQt(fields.output));
        Say(QStringLiteral("Copied: ") + ToQt(fields.output));
    }
}

void TResultsForm::ActionCopyInputsClick() {
    std::string text;
    ka::ReportFields fields;
    if (!CurrentFields(text, fields) || fields.inputs.empty()) {
        return;
    }
    QStringList paths;
    for (const std::string_view input : fields.inputs) {
        paths << ToQt(input);
    }
    QApplication::clipboard()->setText(paths.join(QLatin1Char('\n')));
    Say(QStringLiteral("Copied: ") + paths.join(QStringLiteral(", ")));
}

void TResultsForm::ButtonRetryBatchClick() {
    using namespace ka::report_flag;
    std::vector<std::string> lines;
    std::set<std::string> seen;
    std::string text;
    ka::ReportFields fields;
    for (const std::size_t line : SelectedLines(kBatch | kNotDone)) {
        if (!model_->Index().ReadLine(line, text)) {
            continue;
        }
        ka::ParseReportLine(text, fields);
        // A job that failed in several runs is run once: twice would name one output twice.
        std::string listLine = ka::ListLineOf(fields);
        if (!listLine.empty() && seen.insert(listLine).second) {
            lines.push_back(std::move(listLine));
        }
    }
    if (lines.empty()) {
        Say(QStringLiteral("No batch job that was not done is selected."));
        return;
    }
    const QString jobs = Count(lines.size(), "batch job", "batch jobs");
    if (!AskYesNo(this, QStringLiteral("Run the %1 not done again, as a new batch?").arg(jobs))) {
        return;
    }
    std::string listFile;
    if (ka::WriteRetryList(settings_.sDataDir, lines, listFile) != 0) {
        sink_.ShowMsg(ka::PathMessage(settings_.sDataDir,
                                      "The list of the jobs to run again cannot be written."));
        return;
    }
    QStringList shownLines;
    for (const std::string& line : lines) {
        shownLines << ToQt(line);
    }
    if (!isSignalConnected(QMetaMethod::fromSignal(&TResultsForm::RetryBatch))) {
        Say(jobs + QStringLiteral(" written to ") + ToQt(listFile) +
            QStringLiteral(": choose it as the batch list file to run them."));
        return;
    }
    Say(jobs + QStringLiteral(" handed to Batch Output, listed in ") + ToQt(listFile) +
        QLatin1Char('.'));
    emit RetryBatch(ToQt(listFile), shownLines);
}

void TResultsForm::ButtonMoveBackClick() {
    std::vector<std::string> inputs;
    std::set<std::string> seen;
    std::string text;
    ka::ReportFields fields;
    for (const std::size_t line : SelectedLines(ka::report_flag::kInFailed)) {
        if (!model_->Index().ReadLine(line, text)) {
            continue;
        }
        ka::ParseReportLine(text, fields);
        for (const std::string_view input : fields.inputs) {
            if (seen.emplace(input).second) {
                inputs.emplace_back(input);
            }
        }
    }
    if (inputs.empty()) {
        Say(QStringLiteral("No drawing that went to Failed is selected."));
        return;
    }
    const QString drawings = Count(inputs.size(), "drawing", "drawings");
    if (!AskYesNo(this, QStringLiteral("Move the %1 from Failed back into their folder, to be "
                                       "taken by the next standby cycle?")
                            .arg(drawings))) {
        return;
    }
    std::size_t moved = 0;
    ka::RefusedItems absent;
    ka::RefusedItems notFile;
    ka::RefusedItems failed;
    for (const std::string& input : inputs) {
        const ka::MoveBackResult result = ka::MoveBackFromFailed(input);
        switch (result.outcome) {
            case ka::MoveBackOutcome::Moved:
                ++moved;
                break;
            case ka::MoveBackOutcome::NotInFailed:
                absent.Add(result.from);
                break;
            case ka::MoveBackOutcome::NotAFile:
                notFile.Add(result.from);
                break;
            case ka::MoveBackOutcome::Failed:
                failed.Add(result.from);
                break;
        }
    }
    QString said = Count(moved, "drawing", "drawings") + QStringLiteral(" moved back");
    const std::size_t left = inputs.size() - moved;
    if (left > 0) {
        said += QStringLiteral(", ") + WithThousands(left) + QStringLiteral(" not");
    }
    Say(said + QLatin1Char('.'));
    // What was not moved is named, once, in one message.
    std::string message;
    for (const std::string& part :
         {absent.Message("drawing was not moved back", "drawings were not moved back",
                         "no longer in Failed."),
          notFile.Message("entry in Failed stays where it is",
                          "entries in Failed stay where they are",
                          "not a plain file (a folder or a link)."),
          failed.Message("drawing could not be moved back", "drawings could not be moved back",
                         "the system refused the move.")}) {
        if (!part.empty()) {
            message += (message.empty() ? "" : "\n\n") + part;
        }
    }
    if (!message.empty()) {
        sink_.ShowMsg(message);
    }
}

void TResultsForm::ButtonHelpClick() {
    ShowHelp(this, kHelpResultsView);
}

}  // namespace ka::ui
