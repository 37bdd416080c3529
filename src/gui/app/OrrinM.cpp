#include "gui/app/OrrinM.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStaticText>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>
#include <utility>

#include "app/RunResults.h"
#include "gui/app/ResultMarks.h"
#include "gui/app/ResultsForm.h"
#include "gui/app/RunListModel.h"
#include "gui/app/StandbyTray.h"
#include "gui/common/Help.h"
#include "gui/common/Orrin1Ui.h"
#include "platform/platform.h"
#include "settings/SetupCheck.h"
#include "settings/UserMessages.h"
#include "settings/WindowPlacement.h"
#include "shell/UnitShell.h"

namespace {

using ka::ui::FromQt;
using ka::ui::ToQt;

constexpr const char* kCaptionPrefix = "<< KorvaneAuto >>  ";
constexpr const char* kMakerNotice = "  (c) Tavrolint";
constexpr const char* kDesignStatus = "Continuous drawing comparison, data conversion software";
constexpr const char* kInputTypes =
    "Input:                          HGL PDF DXF DWG GBR NC  IGS SXF TIF JPG BMP FPX PNG EMF CMT";

// The size the window opens at when it has no remembered place and the screen has room.
constexpr int kClientWidth = 1010;
constexpr int kClientHeight = 597;
constexpr int kButtonWidth = 136;
constexpr int kButtonHeight = 36;
// How often the window looks whether the window manager has framed it yet.
constexpr int kFrameCheckMs = 250;
constexpr int kTimerInterval = 2000;
constexpr int kOutTypRows = 12;  // "Output1" list in two columns, filled column by column
// A run's lines reach the list, and the window its events, at most this often: fast enough to
// watch, rare enough that a million lines cost no more than their file work.
constexpr int kRunListFlushMs = 30;
constexpr int kNoticeLines = 4;     // the notice area's height in lines of text
constexpr int kNoticesKept = 1000;  // lines; older notices stay in the run report
constexpr int kFailedNamed = ka::RefusedItems::kShown;

// A button of the right column. Enter presses it when it has the focus, as Space does.
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(true);
    button->setMinimumSize(kButtonWidth, kButtonHeight);
    return button;
}

// One line of text that never widens the window: a text too long for it is shortened, the
// whole of it in the tool tip.
class ElidedLabel : public QLabel {
  public:
    ElidedLabel(const QString& text, QWidget* parent, Qt::TextElideMode mode)
        : QLabel(text, parent), mode_(mode) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setTextFormat(Qt::PlainText);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), mode_, area.width());
        style()->drawItemText(&painter, area, Qt::AlignLeft | Qt::AlignVCenter, palette(),
                              isEnabled(), shown, foregroundRole());
    }

  private:
    Qt::TextElideMode mode_;
};

QString ClockTime() {
    return QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
}

QString Elapsed(long long milliseconds) {
    const long long seconds = milliseconds / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

// Every row of the run list is as wide as the list, so the list lays out all rows with one size
// (fast for long lists); a line too long for it loses its middle, so a path keeps its file name
// in sight. The row's tool tip holds the whole line.
class TOrrinMForm::RunListDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        // The list widens each row to its own width; a row never asks for more.
        size.setWidth(1);
        return size;
    }

    // The style draws the row without its text; the text is laid out once per line and width
    // shown, not again at every repaint while a run appends rows below it.
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const QString text = std::exchange(opt.text, QString());
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        if (text.isEmpty())
            return;
        const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (opt.state & QStyle::State_Active)
                                               ? QPalette::Normal
                                               : QPalette::Inactive;
        const bool selected = (opt.state & QStyle::State_Selected) != 0;
        painter->save();
        // A job's result colours its line, unless the selection colours it.
        const QVariant foreground = index.data(Qt::ForegroundRole);
        painter->setPen(
            selected || !foreground.canConvert<QColor>()
                ? opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text)
                : foreground.value<QColor>());
        painter->setFont(opt.font);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QPoint at(textRect.left() + margin,
                        textRect.top() + (textRect.height() - opt.fontMetrics.height()) / 2);
        painter->drawStaticText(at, Laid(text, opt.font, textRect.width() - 2 * margin));
        painter->restore();
    }

  private:
    const QStaticText& Laid(const QString& text, const QFont& font, int width) const {
        if (laidFont_ != font || laidWidth_ != width || laid_.size() > 512) {
            laid_.clear();
            laidFont_ = font;
            laidWidth_ = width;
        }
        auto found = laid_.find(text);
        if (found == laid_.end()) {
            QStaticText prepared(QFontMetrics(font).elidedText(text, Qt::ElideMiddle, width));
            prepared.setTextFormat(Qt::PlainText);
            prepared.prepare(QTransform(), font);
            found = laid_.insert(text, prepared);
        }
        return found.value();
    }

    mutable int laidWidth_ = -1;
    mutable QHash<QString, QStaticText> laid_;
    mutable QFont laidFont_;
};

TOrrinMForm::TOrrinMForm(ka::Settings& settings, ka::ProgramFlags& flags, ka::MessageSink& sink,
                         QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      settings_(settings),
      flags_(flags),
      sink_(sink),
      runModes_(flags, routedSink_, *this) {
    setObjectName(QStringLiteral("OrrinMForm"));
    QFont font;
    font.setFamilies({QStringLiteral("Calibri"), QStringLiteral("Carlito"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPixelSize(15);
    setFont(font);
    setWindowTitle(QStringLiteral("KorvaneAuto"));

    BuildControls();
    SetTabOrder();
    ConnectHandlers();
    FormCreate();
}

TOrrinMForm::~TOrrinMForm() {
    // Nothing that can throw may leave a destructor.
    try {
        FormDestroy();
    } catch (...) {
    }
}

void TOrrinMForm::BuildControls() {
    // Three columns: the output pages keep their width, the run list takes every extra pixel, the
    // buttons keep theirs.
    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(8, 8, 8, 8);
    columns->setSpacing(10);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    columns->addWidget(PageControl1);

    // Page "Output1".
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Output&1"));
    auto* page1 = new QVBoxLayout(TabSheet1);
    page1->setContentsMargins(8, 6, 8, 6);
    page1->setSpacing(4);

    CheckBoxChgArea = new QCheckBox(QStringLiteral("&Compare"), TabSheet1);
    CheckBoxChgArea->setObjectName(QStringLiteral("CheckBoxChgArea"));
    page1->addWidget(CheckBoxChgArea);

    Label2 = new QLabel(QString::fromLatin1(kInputTypes), TabSheet1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    page1->addWidget(Label2);

    RadioGroupOutTyp = new QGroupBox(QStringLiteral("Output"), TabSheet1);
    RadioGroupOutTyp->setObjectName(QStringLiteral("RadioGroupOutTyp"));
    outTypButtons_ = new QButtonGroup(RadioGroupOutTyp);
    outTypButtons_->setObjectName(QStringLiteral("RadioGroupOutTypButtons"));
    outTypButtons_->setExclusive(true);
    auto* grid = new QGridLayout(RadioGroupOutTyp);
    grid->setContentsMargins(12, 6, 8, 6);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    for (const ka::OutputType& type : ka::OutputTypesOfPage(1)) {
        auto* radio = new QRadioButton(QString::fromLatin1(type.caption));
        radio->setObjectName(QStringLiteral("RadioGroupOutTyp_%1").arg(type.index));
        outTypButtons_->addButton(radio, type.index);
        grid->addWidget(radio, type.index % kOutTypRows, type.index / kOutTypRows);
    }
    page1->addWidget(RadioGroupOutTyp);
    page1->addStretch(1);

    // Page "Output2": PDF input only.
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Output&2"));
    auto* page2 = new QVBoxLayout(TabSheet2);
    page2->setContentsMargins(8, 6, 8, 6);
    page2->setSpacing(4);

    Label3 = new QLabel(QStringLiteral("Input:PDF"), TabSheet2);
    Label3->setObjectName(QStringLiteral("Label3"));
    page2->addWidget(Label3);

    RadioGroupOutTyp2 = new QGroupBox(QStringLiteral("Output"), TabSheet2);
    RadioGroupOutTyp2->setObjectName(QStringLiteral("RadioGroupOutTyp2"));
    outTyp2Buttons_ = new QButtonGroup(RadioGroupOutTyp2);
    outTyp2Buttons_->setObjectName(QStringLiteral("RadioGroupOutTyp2Buttons"));
    outTyp2Buttons_->setExclusive(true);
    auto* column = new QVBoxLayout(RadioGroupOutTyp2);
    column->setContentsMargins(12, 6, 8, 6);
    column->setSpacing(2);
    for (const ka::OutputType& type : ka::OutputTypesOfPage(2)) {
        auto* radio = new QRadioButton(QString::fromLatin1(type.caption));
        radio->setObjectName(QStringLiteral("RadioGroupOutTyp2_%1").arg(type.index));
        outTyp2Buttons_->addButton(radio, type.index);
        column->addWidget(radio);
    }
    page2->addWidget(RadioGroupOutTyp2);
    page2->addStretch(1);
    // Both pages as wide as the wider one needs, whichever is shown.
    PageControl1->setFixedWidth(PageControl1->sizeHint().width());

    // Middle column: status line, minimise button, run list, progress.
    auto* middle = new QVBoxLayout;
    middle->setSpacing(8);
    columns->addLayout(middle, 1);
    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(6);
    middle->addLayout(statusRow);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The status on the first line, the last run's result on the second: each one line that a
    // long text never widens, so the window keeps its size.
    const int statusHeight = 2 * fontMetrics().lineSpacing() + 10;
    Bevel1->setFixedHeight(statusHeight);
    Label1 = new ElidedLabel(QString::fromLatin1(kDesignStatus), Bevel1, Qt::ElideRight);
    Label1->setObjectName(QStringLiteral("Label1"));
    LabelLastRun = new ElidedLabel(QString(), Bevel1, Qt::ElideMiddle);
    LabelLastRun->setObjectName(QStringLiteral("LabelLastRun"));
    auto* bevelLayout = new QVBoxLayout(Bevel1);
    bevelLayout->setContentsMargins(10, 2, 6, 2);
    bevelLayout->setSpacing(0);
    bevelLayout->addWidget(Label1);
    bevelLayout->addWidget(LabelLastRun);
    statusRow->addWidget(Bevel1, 1);

    ButtonAppMinimize = MakeButton(this, "ButtonAppMinimize", "_");
    ButtonAppMinimize->setFixedSize(34, statusHeight);
    QFont bold = ButtonAppMinimize->font();
    bold.setBold(true);
    ButtonAppMinimize->setFont(bold);
    ButtonAppMinimize->setToolTip(QStringLiteral("Minimize"));
    statusRow->addWidget(ButtonAppMinimize);

    ListBox1 = new QListView(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setMinimumSize(240, 120);
    // A job's mark no taller than its text, so marked and unmarked rows share one row size.
    ListBox1->setIconSize(QSize(14, 14));
    listDelegate_ = new RunListDelegate(ListBox1);
    ListBox1->setItemDelegate(listDelegate_);
    listModel_ = new ka::ui::RunListModel(ListBox1->font(), ListBox1);
    ListBox1->setModel(listModel_);
    middle->addWidget(ListBox1, 1);
    listFlushTimer_ = new QTimer(this);
    listFlushTimer_->setSingleShot(true);
    listFlushTimer_->setInterval(kRunListFlushMs);
    connect(listFlushTimer_, &QTimer::timeout, this, [this] { FlushRunList(); });

    // Jobs done out of jobs handed over, and the time the run has taken.
    ProgressRun = new QProgressBar(this);
    ProgressRun->setObjectName(QStringLiteral("ProgressRun"));
    ProgressRun->setMinimumHeight(28);
    ProgressRun->setRange(0, 1);
    ProgressRun->setValue(0);
    ProgressRun->setFormat(QString());
    ProgressRun->setAlignment(Qt::AlignCenter);
    middle->addWidget(ProgressRun);

    // Notices: what a run or standby had to say, kept in sight without a box that waits for a
    // click. Shown from the first notice until dismissed.
    PanelNotices = new QFrame(this);
    PanelNotices->setObjectName(QStringLiteral("PanelNotices"));
    PanelNotices->setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
    PanelNotices->setAutoFillBackground(true);
    QPalette noticePalette = PanelNotices->palette();
    noticePalette.setColor(QPalette::Window, QColor(0xFF, 0xF4, 0xD6));
    PanelNotices->setPalette(noticePalette);
    auto* noticeLayout = new QVBoxLayout(PanelNotices);
    noticeLayout->setContentsMargins(8, 4, 4, 4);
    noticeLayout->setSpacing(2);
    auto* noticeHead = new QHBoxLayout;
    LabelNotices = new QLabel(PanelNotices);
    LabelNotices->setObjectName(QStringLiteral("LabelNotices"));
    LabelNotices->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ButtonNoticesClear = new QPushButton(QStringLiteral("&Dismiss"), PanelNotices);
    ButtonNoticesClear->setObjectName(QStringLiteral("ButtonNoticesClear"));
    ButtonNoticesClear->setToolTip(QStringLiteral("Clears the notices; the run report keeps them"));
    noticeHead->addWidget(LabelNotices, 1);
    noticeHead->addWidget(ButtonNoticesClear);
    noticeLayout->addLayout(noticeHead);
    MemoNotices = new QPlainTextEdit(PanelNotices);
    MemoNotices->setObjectName(QStringLiteral("MemoNotices"));
    MemoNotices->setReadOnly(true);
    MemoNotices->setMaximumBlockCount(kNoticesKept);
    MemoNotices->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoNotices->setFixedHeight(kNoticeLines * MemoNotices->fontMetrics().lineSpacing() +
                                2 * MemoNotices->frameWidth() +
                                static_cast<int>(2 * MemoNotices->document()->documentMargin()));
    noticeLayout->addWidget(MemoNotices);
    PanelNotices->hide();
    middle->addWidget(PanelNotices);

    // Right column: the run buttons at the top, the others at the bottom. The gap between
    // them has room for further buttons after "Compare folders" (buttonColumn_).
    buttonColumn_ = new QVBoxLayout;
    buttonColumn_->setSpacing(8);
    columns->addLayout(buttonColumn_);
    ButtonSetAutoPar = MakeButton(this, "ButtonSetAutoPar", "&Set");
    ButtonAutoOutput = MakeButton(this, "ButtonAutoOutput", "S&tandby Output");
    ButtonBatchOutput = MakeButton(this, "ButtonBatchOutput", "&Batch Output");
    ButtonChgArea = MakeButton(this, "ButtonChgArea", "Compare &folders");
    ButtonResults = MakeButton(this, "ButtonResults", "&Results");
    ButtonResults->setToolTip(QStringLiteral("What became of every drawing: the run report"));
    ButtonHelp = MakeButton(this, "ButtonHelp", "&Help");
    ButtonVersion = MakeButton(this, "ButtonVersion", "&About Version");
    ButtonOK = MakeButton(this, "ButtonOK", "&End");
    for (QPushButton* button :
         {ButtonSetAutoPar, ButtonAutoOutput, ButtonBatchOutput, ButtonChgArea, ButtonResults}) {
        buttonColumn_->addWidget(button);
    }
    buttonColumn_->addStretch(1);
    buttonColumn_->addSpacing(kButtonHeight);
    for (QPushButton* button : {ButtonHelp, ButtonVersion, ButtonOK}) {
        buttonColumn_->addWidget(button);
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerInterval);
    Timer1->setSingleShot(false);

    tray_ = new ka::ui::TStandbyTray(this);
}

void TOrrinMForm::SetTabOrder() {
    // Column by column, top to bottom, as the window reads. The radio items follow their page;
    // Tab stops at the checked item of a group only, the arrow keys move within it.
    std::vector<QWidget*> order = {PageControl1, CheckBoxChgArea};
    for (QButtonGroup* group : {outTypButtons_, outTyp2Buttons_}) {
        for (QAbstractButton* item : group->buttons())
            order.push_back(item);
    }
    order.insert(order.end(), {ButtonAppMinimize, ListBox1, MemoNotices, ButtonNoticesClear,
                               ButtonSetAutoPar, ButtonAutoOutput, ButtonBatchOutput, ButtonChgArea,
                               ButtonResults, ButtonHelp, ButtonVersion, ButtonOK});
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

void TOrrinMForm::ConnectHandlers() {
    // A selection changed by code or by the user arrives once, as the newly checked item.
    connect(outTypButtons_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            Guarded([this] { RadioGroupOutTypClick(); });
    });
    connect(outTyp2Buttons_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            Guarded([this] { RadioGroupOutTyp2Click(); });
    });
    connect(CheckBoxChgArea, &QCheckBox::toggled, this,
            [this](bool) { Guarded([this] { CheckBoxChgAreaClick(); }); });
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int) { Guarded([this] { PageControl1Change(); }); });

    const auto onClick = [this](QPushButton* button, void (TOrrinMForm::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    onClick(ButtonSetAutoPar, &TOrrinMForm::ButtonSetAutoParClick);
    onClick(ButtonAutoOutput, &TOrrinMForm::ButtonAutoOutputClick);
    onClick(ButtonBatchOutput, &TOrrinMForm::ButtonBatchOutputClick);
    onClick(ButtonChgArea, &TOrrinMForm::ButtonChgAreaClick);
    onClick(ButtonHelp, &TOrrinMForm::ButtonHelpClickClick);
    onClick(ButtonVersion, &TOrrinMForm::ButtonVersionClick);
    onClick(ButtonAppMinimize, &TOrrinMForm::ButtonAppMinimizeClick);
    onClick(ButtonOK, &TOrrinMForm::ButtonOKClick);
    onClick(ButtonResults, &TOrrinMForm::ButtonResultsClick);
    onClick(ButtonNoticesClear, &TOrrinMForm::ButtonNoticesClearClick);
    connect(ListBox1, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        Guarded([this, index] { ListBox1DblClick(index); });
    });
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });

    connect(tray_, &ka::ui::TStandbyTray::ShowWindowAsked, this, [this] { ShowWindowFromTray(); });
    connect(tray_, &ka::ui::TStandbyTray::ResultsAsked, this, [this] {
        ShowWindowFromTray();
        Guarded([this] { ButtonResultsClick(); });
    });
    connect(tray_, &ka::ui::TStandbyTray::StopStandbyAsked, this,
            [this] { Guarded([this] { runModes_.StopStandby(); }); });
    connect(tray_, &ka::ui::TStandbyTray::EndAsked, this, [this] {
        ShowWindowFromTray();
        Guarded([this] { ButtonOKClick(); });
    });
}

template <typename Body>
void TOrrinMForm::Guarded(Body&& body) {
    std::string failure;
    try {
        body();
        return;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "unknown error";
    }
    // The run that failed may have left the controls disabled and the hourglass on; standby
    // output that is still counting down keeps its controls as they are.
    SetBusyCursor(2);
    if (runModes_.Standby().phase == ka::StandbyPhase::Idle)
        Set_Button_Enable(true);
    try {
        RouteMessage("Unexpected error: " + failure);
    } catch (...) {
        // Nothing more can be reported; the event loop must still not see it.
    }
    // Nobody is there to act on an unattended run's error: it ends, and its exit code says so.
    if (ka::IsUnattendedStart(args_)) {
        runModes_.NoteExitCode(3);
        Timer1->stop();
        // Under a run the guard closes the window once the run has returned.
        flags_.bEndRequested = true;
        if (!runActive_)
            CloseMainWindow();
    }
}

// ---- Settings for tests and the entry ---------------------------------------------------------

void TOrrinMForm::SetCommandLineArguments(std::vector<std::string> args) {
    args_ = std::move(args);
}

void TOrrinMForm::SetInitFolder(std::string folder) {
    initFolder_ = std::move(folder);
}

void TOrrinMForm::SetSettingsDialog(QDialog* dialog) {
    settingsDialog_ = dialog;
}

void TOrrinMForm::SetAboutWindow(QDialog* dialog) {
    aboutWindow_ = dialog;
}

void TOrrinMForm::SetSettingsDialogFactory(std::function<QDialog*()> make) {
    makeSettingsDialog_ = std::move(make);
}

void TOrrinMForm::SetAboutWindowFactory(std::function<QDialog*()> make) {
    makeAboutWindow_ = std::move(make);
}

// ---- Window life ------------------------------------------------------------------------------

void TOrrinMForm::FormCreate() {
    flags_.bStarted = false;
    flags_.bInStandby = false;
}

void TOrrinMForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (startupScheduled_ || event->spontaneous())
        return;
    startupScheduled_ = true;
    // Before the window is mapped, so it appears where it belongs.
    RestorePlacement();
    QTimer::singleShot(kFrameCheckMs, this, [this] { KeepFrameOnScreen(1); });
    ButtonSetAutoPar->setFocus(Qt::OtherFocusReason);
    // The start-up may run a whole conversion; it runs from the event loop once the window is
    // on screen, never inside the show or a paint.
    QTimer::singleShot(0, this, [this] { Guarded([this] { FormPaint(); }); });
}

void TOrrinMForm::RestorePlacement() {
    std::string localAppData;
    ka::GetSpecialFolder(ka::sfLocalAppData, localAppData);
    ka::WindowPlacement stored;
    const bool remembered = ka::LoadWindowPlacement(ka::DataFolderPath(localAppData), stored);
    const QSize minimum = minimumSizeHint().expandedTo(minimumSize());
    const QScreen* screen = nullptr;
    QRect client(0, 0, kClientWidth, kClientHeight);
    if (remembered) {
        client = QRect(stored.rect.x, stored.rect.y, stored.rect.width, stored.rect.height);
        screen = QGuiApplication::screenAt(client.center());
    }
    if (!screen)
        screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    if (!remembered)
        client.moveCenter(area.center());
    // The frame is not known before the window manager has framed the window: estimated.
    const QMargins frame = ka::ui::EstimatedFrameMargins(*this);
    const QRect outer = client.marginsAdded(frame);
    const ka::ScreenRect fitted =
        ka::FitIntoArea({outer.x(), outer.y(), outer.width(), outer.height()},
                        {area.x(), area.y(), area.width(), area.height()},
                        minimum.width() + frame.left() + frame.right(),
                        minimum.height() + frame.top() + frame.bottom());
    resize(fitted.width - frame.left() - frame.right(),
           fitted.height - frame.top() - frame.bottom());
    move(fitted.x, fitted.y);  // a window's position is its frame's
    if (remembered && stored.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    placementShown_ = true;
}

void TOrrinMForm::KeepFrameOnScreen(int attempt) {
    // The frame was estimated before the window was framed; once the window manager has told
    // its real size, the title bar must still lie on the screen.
    if (frameGeometry() == geometry()) {
        if (attempt < 8)
            QTimer::singleShot(kFrameCheckMs, this,
                               [this, attempt] { KeepFrameOnScreen(attempt + 1); });
        return;
    }
    const QScreen* screen = this->screen();
    if (!screen || isMaximized() || isMinimized())
        return;
    const QRect area = screen->availableGeometry();
    const QRect outer = frameGeometry();
    if (area.contains(outer))
        return;
    const QSize frame = outer.size() - size();
    const QSize minimum = minimumSizeHint().expandedTo(minimumSize());
    const ka::ScreenRect fitted =
        ka::FitIntoArea({outer.x(), outer.y(), outer.width(), outer.height()},
                        {area.x(), area.y(), area.width(), area.height()},
                        minimum.width() + frame.width(), minimum.height() + frame.height());
    resize(fitted.width - frame.width(), fitted.height - frame.height());
    move(fitted.x, fitted.y);
}

ka::WindowPlacement TOrrinMForm::Placement() const {
    const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    const QRect client = normal.isValid() ? normal : geometry();
    return {{client.x(), client.y(), client.width(), client.height()}, isMaximized()};
}

void TOrrinMForm::FormPaint() {
    if (flags_.bStarted)
        return;
    setWindowTitle(QString::fromLatin1(kCaptionPrefix) + QString::fromLatin1(ka::kVersionText) +
                   QString::fromLatin1(kMakerNotice));
    flags_.bStarted = true;

    std::string localAppData;
    ka::GetSpecialFolder(ka::sfLocalAppData, localAppData);
    const std::string initFolder =
        initFolder_.empty() ? ka::InitFolderPath(ka::platform::ExecutablePath()) : initFolder_;
    ka::PrepareDataFolder(settings_, localAppData, initFolder);

    flags_.bCmdStandby = false;
    flags_.bAutoClose = false;
    flags_.bCmdBatch = false;
    flags_.bCmdCompare = false;

    // Warnings of the loading wait until the window shows what was loaded behind them.
    ka::HeldMessages loadMessages;
    if (ka::LoadParameterFile(settings_, loadMessages, initFolder) != 0) {
        loadMessages.Flush(sink_);
        sink_.ShowMsg(ka::PathMessage(settings_.sParFile, ka::kMsgCannotOpenParFile));
        runModes_.NoteExitCode(2);
        CloseMainWindow();
        return;
    }
    parFileLoaded_ = true;

    ShowStoredSelections();
    loadMessages.Flush(sink_);
    // What a run killed on its way had proven done is settled before anything new starts.
    runModes_.FinishInterruptedRun(settings_);
    if (args_.empty())
        return;

    const ka::StartAction action = ka::ReadCommandLine(args_, settings_, flags_, *this);
    if (flags_.bAutoClose)
        MinimizeApp();
    switch (action) {
        case ka::StartAction::Standby:
            StartStandby();
            break;
        case ka::StartAction::Batch:
            StartBatch();
            break;
        case ka::StartAction::BatchNoList:
            sink_.ShowMsg(ka::kMsgNoBatchFile);
            runModes_.NoteExitCode(2);
            CloseMainWindow();
            break;
        case ka::StartAction::Compare:
            StartCompare();
            break;
        case ka::StartAction::None:
            break;
    }
}

void TOrrinMForm::ShowStoredSelections() {
    // An index outside the list (a hand-edited file) would leave no valid output type: fall back
    // to the first item, which the handler then stores.
    const int outTyp = settings_.iOutTyp < kOutTypCount ? settings_.iOutTyp : kOutTypPdf;
    const int outTyp2 = settings_.iOutTyp2 < kOutTyp2Count ? settings_.iOutTyp2 : 0;
    SelectOutTyp(outTyp);
    SelectOutTyp2(outTyp2);
    SetCompareBox(settings_.iChgArea != 0);
    ButtonChgArea->setEnabled(CheckBoxChgArea->isChecked());
}

void TOrrinMForm::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    Timer1->stop();
    // After a failed start-up the store holds only its start values: writing them would replace
    // the user's file with defaults.
    if (parFileLoaded_) {
        ka::WriteParFile(settings_, sink_);
        if (ka::SaveRunSettings(settings_.sDataDir, settings_.run) != 0)
            sink_.ShowMsg(ka::PathMessage(ka::RunSettingsPath(settings_.sDataDir),
                                          ka::kMsgCannotCreateParFile));
        // A run started by another program leaves the user's window where the user put it.
        // The place is a convenience: a failure to keep it is not worth a message.
        if (placementShown_ && !ka::IsUnattendedStart(args_))
            ka::SaveWindowPlacement(settings_.sDataDir, closedPlacement_.value_or(Placement()));
    }
}

// ---- Handlers ---------------------------------------------------------------------------------

void TOrrinMForm::RadioGroupOutTypClick() {
    const int index = outTypButtons_->checkedId();
    if (index < 0)
        return;
    const int allowed = ka::AllowedOutTyp(index, CheckBoxChgArea->isChecked());
    if (allowed != index) {
        // Checking the allowed item runs this handler again, which stores it.
        outTypButtons_->button(allowed)->setChecked(true);
        // Left on the unchecked item, the arrow keys would move the focus without selecting;
        // an arrow key gives the focus to the button it clicked only after this handler.
        QTimer::singleShot(0, this, [this, index, allowed] {
            if (outTypButtons_->button(index)->hasFocus())
                outTypButtons_->button(allowed)->setFocus(Qt::OtherFocusReason);
        });
        return;
    }
    settings_.iOutTyp = static_cast<std::uint8_t>(index);
}

void TOrrinMForm::RadioGroupOutTyp2Click() {
    const int index = outTyp2Buttons_->checkedId();
    if (index < 0)
        return;
    settings_.iOutTyp2 = static_cast<std::uint8_t>(index);
}

void TOrrinMForm::CheckBoxChgAreaClick() {
    QAbstractButton* screenItem = outTypButtons_->button(kOutTypDisplay);
    if (CheckBoxChgArea->isChecked()) {
        settings_.iChgArea = 1;
        screenItem->setText(QStringLiteral("No output"));
        const int checked = outTypButtons_->checkedId();
        if (checked >= 0 && ka::AllowedOutTyp(checked, true) != checked) {
            outTypButtons_->button(ka::AllowedOutTyp(checked, true))->setChecked(true);
        }
    } else {
        settings_.iChgArea = 0;
        screenItem->setText(QStringLiteral("Display"));
    }
    ButtonChgArea->setEnabled(CheckBoxChgArea->isChecked());
}

void TOrrinMForm::PageControl1Change() {
    if (PageControl1->currentWidget() == TabSheet1) {
        CheckBoxChgAreaClick();
    } else {
        ButtonChgArea->setEnabled(false);
        ButtonAutoOutput->setEnabled(true);
    }
}

void TOrrinMForm::ButtonSetAutoParClick() {
    if (!settingsDialog_ && makeSettingsDialog_)
        settingsDialog_ = makeSettingsDialog_();
    if (settingsDialog_)
        settingsDialog_->exec();
}

void TOrrinMForm::ButtonHelpClickClick() {
    ka::ui::ShowHelp(this, ka::ui::kHelpContents);
}

void TOrrinMForm::ButtonVersionClick() {
    if (!aboutWindow_ && makeAboutWindow_)
        aboutWindow_ = makeAboutWindow_();
    if (aboutWindow_)
        aboutWindow_->exec();
}

void TOrrinMForm::ButtonAppMinimizeClick() {
    MinimizeApp();
    ButtonOK->setFocus();
}

void TOrrinMForm::ButtonOKClick() {
    if (runActive_) {
        AskStopDuringRun();
        return;
    }
    flags_.bEndRequested = true;
    runModes_.StopStandby();
    CloseMainWindow();
}

bool TOrrinMForm::RunIsSetUp(ka::RunKind kind) {
    const std::string missing =
        ka::MissingRunSetup(kind, settings_, IsOutput1Shown(), CheckBoxChgArea->isChecked());
    if (missing.empty())
        return true;
    sink_.ShowMsg(missing);
    return false;
}

void TOrrinMForm::AskStopDuringRun() {
    // The run only takes the request here; the window closes once the run has returned.
    enum Answer { kStopNow, kFinishThenEnd, kCancel };
    const int answer = ka::ui::AskChoice(
        this,
        QStringLiteral("A conversion is running.\nStop it now, or let it finish and then end?"),
        {QStringLiteral("&Stop now"), QStringLiteral("&Finish, then end"),
         QStringLiteral("Cancel")},
        kCancel, kCancel);
    if (answer == kCancel)
        return;
    flags_.bEndRequested = true;
    if (answer == kStopNow)
        runModes_.RequestStop();
}

// The buttons check what a run needs first; the command line keeps its own rules.
void TOrrinMForm::ButtonBatchOutputClick() {
    if (RunIsSetUp(ka::RunKind::Batch))
        StartBatch();
}

void TOrrinMForm::ButtonAutoOutputClick() {
    if (runModes_.Standby().phase == ka::StandbyPhase::Waiting) {
        runModes_.StopStandby();  // the button reads "Stop Standby" while standby waits
        return;
    }
    if (RunIsSetUp(ka::RunKind::Standby))
        StartStandby();
}

void TOrrinMForm::ButtonChgAreaClick() {
    if (RunIsSetUp(ka::RunKind::Compare))
        StartCompare();
}

void TOrrinMForm::ButtonResultsClick() {
    ShowResults(QString());
}

void TOrrinMForm::ListBox1DblClick(const QModelIndex& index) {
    ShowResults(index.isValid() ? index.data(Qt::DisplayRole).toString() : QString());
}

void TOrrinMForm::ShowResults(const QString& listLine) {
    if (!resultsForm_) {
        resultsForm_ = new ka::ui::TResultsForm(settings_, routedSink_, this);
        connect(resultsForm_, &ka::ui::TResultsForm::RetryBatch, this,
                [this](const QString& listFile, const QStringList&) {
                    Guarded([this, listFile] { RetryBatch(listFile); });
                });
    }
    resultsForm_->show();
    resultsForm_->raise();
    resultsForm_->activateWindow();
    if (!listLine.isEmpty())
        resultsForm_->SelectJob(listLine);
}

void TOrrinMForm::RetryBatch(const QString& listFile) {
    if (RunOrStandbyOn()) {
        const QString text = QStringLiteral("Run again: Batch Output cannot start while ") +
                             (runModes_.Standby().phase != ka::StandbyPhase::Idle
                                  ? QStringLiteral("standby output is on")
                                  : QStringLiteral("another run is on")) +
                             QStringLiteral(". The jobs stay listed in ") + listFile +
                             QStringLiteral("; run them again once it has ended.");
        AddNotice(text);
        if (resultsForm_)
            resultsForm_->Say(text);
        return;
    }
    // The list file is this run's only: the stored batch list stays as it is.
    ka::RunChoices choices = CurrentChoices();
    choices.settings.sOutListFileName = FromQt(listFile);
    const std::string missing = ka::MissingRunSetup(ka::RunKind::Batch, choices.settings,
                                                    choices.output1Shown, choices.compareChecked);
    if (!missing.empty()) {
        sink_.ShowMsg(missing);
        return;
    }
    runMode_ = "batch";
    RunGuarded(false, [this, &choices] { runModes_.ButtonBatchOutputClick(choices); });
}

void TOrrinMForm::ButtonNoticesClearClick() {
    MemoNotices->clear();
    noticeCount_ = 0;
    PanelNotices->hide();
    ButtonOK->setFocus(Qt::OtherFocusReason);
}

bool TOrrinMForm::RunOrStandbyOn() const {
    return runActive_ || runModes_.Standby().phase != ka::StandbyPhase::Idle;
}

void TOrrinMForm::RouteMessage(const std::string& text) {
    if (!RunOrStandbyOn()) {
        sink_.ShowMsg(text);
        return;
    }
    QString shown = ToQt(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    AddNotice(shown);
    // Kept where the results window shows it. An unattended run's sink writes it there itself,
    // and to standard error.
    if (ka::IsUnattendedStart(args_)) {
        sink_.ShowMsg(text);
    } else {
        ka::AppendReportLine(settings_.sDataDir, {runMode_, "message", text});
    }
}

void TOrrinMForm::AddNotice(const QString& text) {
    // Lines after the first are indented under the time, so each notice reads as one.
    QString indented = text;
    indented.replace(QLatin1Char('\n'), QStringLiteral("\n          "));
    MemoNotices->appendPlainText(ClockTime() + QStringLiteral("  ") + indented);
    MemoNotices->verticalScrollBar()->setValue(MemoNotices->verticalScrollBar()->maximum());
    ++noticeCount_;
    LabelNotices->setText(
        QStringLiteral("%1 %2 during the runs; the run report keeps them (Results).")
            .arg(noticeCount_)
            .arg(noticeCount_ == 1 ? QStringLiteral("notice") : QStringLiteral("notices")));
    PanelNotices->show();
}

void TOrrinMForm::StartBatch() {
    runMode_ = "batch";
    RunGuarded(flags_.bAutoClose, [this] { runModes_.ButtonBatchOutputClick(CurrentChoices()); });
}

void TOrrinMForm::StartStandby() {
    runMode_ = "standby";
    // A start refused (standby already runs on this data folder) ends an unattended program.
    RunGuarded(flags_.bAutoClose, [this] { runModes_.ButtonAutoOutputClick(CurrentChoices()); });
}

void TOrrinMForm::StartCompare() {
    runMode_ = "comparison";
    RunGuarded(flags_.bAutoClose, [this] { runModes_.ButtonChgAreaClick(CurrentChoices()); });
}

void TOrrinMForm::Timer1Timer() {
    RunGuarded(false, [this] { runModes_.StandbyTick(); });
}

template <typename Body>
void TOrrinMForm::RunGuarded(bool closeWhenDone, Body&& body) {
    // A run is never entered twice: input that reaches a run control while a run pumps
    // messages is dropped, not replayed once it ends.
    if (runActive_)
        return;
    const bool standbyIdle = runModes_.Standby().phase == ka::StandbyPhase::Idle;
    if (standbyIdle)
        BeginShownRun();  // a run from a button or the command line, not a standby tick
    runActive_ = true;
    summaryThisRun_ = false;
    Guarded(std::forward<Body>(body));
    runActive_ = false;
    const bool idle = runModes_.Standby().phase == ka::StandbyPhase::Idle;
    if (idle)
        Set_Button_Enable(true);
    SetBusyCursor(2);
    ShowFinalCounts();
    if (!flags_.bEndRequested && !(closeWhenDone && idle))
        return;
    // An attended window shows what the run came to before it goes; nobody reads an
    // unattended one, whose summary goes to standard output.
    if (flags_.bEndRequested && summaryThisRun_ && endPauseMs_ > 0 &&
        !ka::IsUnattendedStart(args_)) {
        Set_Button_Enable(false);
        SetStatusText(runSummary_ + " - KorvaneAuto ends.");
        QTimer::singleShot(endPauseMs_, this, [this] { CloseMainWindow(); });
        return;
    }
    CloseMainWindow();
}

void TOrrinMForm::BeginShownRun() {
    holdProgress_ = false;
    finalCounts_.clear();
    failedFirst_.clear();
    failedCount_ = 0;
    ProgressRun->setRange(0, 1);
    ProgressRun->setValue(0);
    ProgressRun->setFormat(QString());
}

void TOrrinMForm::ShowFinalCounts() {
    // Whatever the run showed after its summary (a step, "Waiting !"), the counts it ended
    // with stay in the bar until the next run shows its progress; a batch or comparison also
    // keeps them in the status line.
    if (summaryThisRun_ && runModes_.Standby().phase == ka::StandbyPhase::Idle)
        SetStatusText(runSummary_);
    if (finalCounts_.isEmpty())
        return;
    ProgressRun->setRange(0, 1);
    ProgressRun->setValue(1);
    ProgressRun->setFormat(finalCounts_);
    holdProgress_ = true;
}

void TOrrinMForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Minimised while standby shows its tray icon, the window goes into the tray.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_->Shown())
        QTimer::singleShot(0, this, [this] { HideInTray(); });
}

void TOrrinMForm::HideInTray() {
    if (isMinimized() && tray_->Shown() && isVisible()) {
        hide();
        hiddenInTray_ = true;
    }
}

void TOrrinMForm::ShowWindowFromTray() {
    hiddenInTray_ = false;
    showNormal();
    raise();
    activateWindow();
}

void TOrrinMForm::UpdateTray() {
    tray_->SetStandby(runModes_.Standby().phase);
    // A window started minimised goes into the tray as soon as there is one; once the tray
    // goes, the window comes back where the user finds it.
    if (tray_->Shown()) {
        HideInTray();
    } else if (hiddenInTray_) {
        hiddenInTray_ = false;
        if (!destroyed_ && !flags_.bEndRequested)
            showMinimized();
    }
}

void TOrrinMForm::closeEvent(QCloseEvent* event) {
    if (runActive_) {
        // The close box during a run is "End": the run is on the stack and must return first.
        event->ignore();
        AskStopDuringRun();
        return;
    }
    runModes_.StopStandby();
    if (placementShown_)
        closedPlacement_ = Placement();
    QWidget::closeEvent(event);
}

ka::RunChoices TOrrinMForm::CurrentChoices() const {
    ka::RunChoices choices;
    choices.settings = settings_;
    choices.output1Shown = IsOutput1Shown();
    choices.selectedOutTyp2 = SelectedOutTyp2();
    choices.compareChecked = CheckBoxChgArea->isChecked();
    return choices;
}

// ---- StartupControls --------------------------------------------------------------------------

void TOrrinMForm::SetCompareBox(bool on) {
    // Like a click: the handler runs only when the state changes.
    CheckBoxChgArea->setChecked(on);
}

void TOrrinMForm::SelectOutTyp(int index) {
    QAbstractButton* item = outTypButtons_->button(index);
    if (!item)
        return;
    if (item->isChecked()) {
        // No toggle to report; run the handler so the store follows the selection all the same.
        RadioGroupOutTypClick();
    } else {
        item->setChecked(true);
    }
}

void TOrrinMForm::SelectOutTyp2(int index) {
    QAbstractButton* item = outTyp2Buttons_->button(index);
    if (!item)
        return;
    if (item->isChecked()) {
        RadioGroupOutTyp2Click();
    } else {
        item->setChecked(true);
    }
}

// ---- RunHost ----------------------------------------------------------------------------------

void TOrrinMForm::SetStatusText(const std::string& text) {
    Label1->setText(ToQt(text));
    Label1->setToolTip(Label1->text());
}

void TOrrinMForm::ListClear() {
    pendingTopIndex_ = -1;
    listFlushTimer_->stop();
    listModel_->Clear();
}

void TOrrinMForm::ListAdd(const std::string& line) {
    listModel_->List().Add(line);
    ScheduleRunListFlush();
}

void TOrrinMForm::ScheduleRunListFlush() {
    if (!listFlushTimer_->isActive())
        listFlushTimer_->start();
}

void TOrrinMForm::FlushRunList() {
    listFlushTimer_->stop();
    listModel_->Sync();
    if (pendingTopIndex_ >= 0) {
        const QModelIndex top = listModel_->index(pendingTopIndex_);
        if (top.isValid())
            ListBox1->scrollTo(top, QAbstractItemView::PositionAtTop);
        pendingTopIndex_ = -1;
    }
}

int TOrrinMForm::ListCount() const {
    return listModel_->List().Count();
}

std::string TOrrinMForm::ListItem(int index) const {
    if (index < 0 || index >= ListCount())
        return {};
    return std::string(listModel_->List().Line(index));
}

void TOrrinMForm::ListDeleteFirst(int count) {
    if (count <= 0)
        return;
    if (count >= ListCount()) {
        ListClear();
        return;
    }
    listModel_->List().DeleteFirst(count);
    ScheduleRunListFlush();
}

void TOrrinMForm::ListSetTopIndex(int index) {
    // Applied with the next flush, once the line it names is in the view; at once when no
    // change waits for one.
    pendingTopIndex_ = index;
    if (listFlushTimer_->isActive())
        return;
    FlushRunList();
}

void TOrrinMForm::SetListBoxExtent() {
    // Rows take the list's width and shorten a long line in its middle (RunListDelegate): there
    // is nothing to scroll sideways, only the rows to show.
    FlushRunList();
}

void TOrrinMForm::Set_Button_Enable(bool enable) {
    ButtonSetAutoPar->setEnabled(enable);
    CheckBoxChgArea->setEnabled(enable);
    RadioGroupOutTyp->setEnabled(enable);
    ButtonBatchOutput->setEnabled(enable);
    ButtonAutoOutput->setEnabled(enable);
    ButtonChgArea->setEnabled(enable && CheckBoxChgArea->isChecked());
    PageControl1->setEnabled(enable);
}

void TOrrinMForm::SetBusyCursor(int flag) {
    if (flag == 0) {
        setCursor(Qt::WaitCursor);
    } else {
        unsetCursor();
    }
}

void TOrrinMForm::PumpMessages() {
    // Runs call this after every line; the window takes its events on a time slice instead.
    if (lastPump_.isValid() && !lastPump_.hasExpired(kRunListFlushMs))
        return;
    FlushRunList();
    ka::ui::PumpMessages();
    lastPump_.start();
}

bool TOrrinMForm::IsOutput1Shown() const {
    return PageControl1->currentWidget() == TabSheet1;
}

int TOrrinMForm::SelectedOutTyp2() const {
    return outTyp2Buttons_->checkedId();
}

void TOrrinMForm::MarkLine(long long line, ka::JobResult result, std::string_view reason) {
    listModel_->Mark(line, result, reason);
}

void TOrrinMForm::MarkLineAside(long long line, std::string_view reason) {
    listModel_->MarkAside(line, reason);
}

void TOrrinMForm::MovedToFailed(const std::vector<std::string>& inputs, std::string_view reason) {
    for (const std::string& input : inputs) {
        if (failedCount_++ < kFailedNamed)
            failedFirst_.push_back(input + " (" + std::string(reason) + ")");
    }
}

void TOrrinMForm::ShowRunSummary(const std::string& summary) {
    runSummary_ = summary;
    summaryThisRun_ = true;
    SetStatusText(summary);
    const bool standby = runModes_.Standby().phase != ka::StandbyPhase::Idle;
    const QString at = ClockTime();
    // A standby cycle's counts stay here through the waits until the next cycle ends; a batch
    // or comparison keeps its counts in the status line and says here where the details are.
    LabelLastRun->setText(
        standby ? QStringLiteral("Last cycle, ") + at + QStringLiteral(": ") + ToQt(summary)
                : (std::string_view(runMode_) == "comparison" ? QStringLiteral("Comparison")
                                                              : QStringLiteral("Batch output")) +
                      QStringLiteral(" ended at ") + at +
                      QStringLiteral(". What became of each drawing: Results."));
    LabelLastRun->setToolTip(LabelLastRun->text());
    finalCounts_ = ToQt(summary) + QStringLiteral("   ") + Elapsed(lastElapsedMs_);
    ShowFinalCounts();
    if (failedCount_ > 0) {
        QString text = QStringLiteral("%1 %2 to Failed, beside %3:")
                           .arg(failedCount_)
                           .arg(failedCount_ == 1 ? QStringLiteral("drawing went")
                                                  : QStringLiteral("drawings went"))
                           .arg(failedCount_ == 1 ? QStringLiteral("it") : QStringLiteral("them"));
        for (const std::string& named : failedFirst_)
            text += QLatin1Char('\n') + ToQt(named);
        if (failedCount_ > static_cast<long long>(failedFirst_.size()))
            text += QStringLiteral("\n... and %1 more")
                        .arg(failedCount_ - static_cast<long long>(failedFirst_.size()));
        AddNotice(text);
        tray_->Notify(QStringLiteral("KorvaneAuto: drawings went to Failed"), text);
        failedFirst_.clear();
        failedCount_ = 0;
    }
    if (standby)
        tray_->SetLastCycle(LabelLastRun->text(), runModes_.LastCounts().AllDone() == false);
}

void TOrrinMForm::ShowProgress(const ka::RunProgress& progress) {
    lastElapsedMs_ = progress.elapsedMs;
    // After a run its final counts stay; the next run's progress replaces them.
    if (holdProgress_)
        return;
    const QString elapsed = Elapsed(progress.elapsedMs);
    // QProgressBar counts in int; very long runs are scaled, the text stays exact.
    const long long scale = progress.total > INT_MAX ? progress.total / INT_MAX + 1 : 1;
    ProgressRun->setRange(0, static_cast<int>(std::max(1LL, progress.total / scale)));
    ProgressRun->setValue(static_cast<int>(progress.done / scale));
    QString text =
        QStringLiteral("%1 / %2   %3").arg(progress.done).arg(progress.total).arg(elapsed);
    if (!progress.step.empty())
        text = ToQt(progress.step) + QStringLiteral("   ") + text;
    ProgressRun->setFormat(text);
}

void TOrrinMForm::StandbyChanged(ka::StandbyPhase phase) {
    switch (phase) {
        case ka::StandbyPhase::Waiting:
            // Enabling a running timer must not restart its interval.
            if (!Timer1->isActive())
                Timer1->start();
            ButtonAutoOutput->setText(QStringLiteral("S&top Standby"));
            ButtonAutoOutput->setEnabled(true);
            break;
        case ka::StandbyPhase::Cycle:
            // The cycle's progress replaces the last one's counts in the bar; its line of the
            // last cycle stays until this one has ended.
            holdProgress_ = false;
            failedFirst_.clear();
            failedCount_ = 0;
            [[fallthrough]];
        case ka::StandbyPhase::Stopping:
            // No tick while the cycle runs; the next waiting period starts after it.
            Timer1->stop();
            ButtonAutoOutput->setEnabled(false);
            break;
        case ka::StandbyPhase::Idle:
            Timer1->stop();
            ButtonAutoOutput->setText(QStringLiteral("S&tandby Output"));
            break;
    }
    UpdateTray();
}

void TOrrinMForm::CloseMainWindow() {
    close();
}

void TOrrinMForm::StopSignalReceived(const std::string& what) {
    if (endedBySignal_)
        return;
    endedBySignal_ = true;
    // Said where nobody has to click: standard error and the report.
    const std::string text = "Ended by " + what + ".";
    std::fprintf(stderr, "KorvaneAuto: %s\n", text.c_str());
    std::fflush(stderr);
    ka::AppendReportLine(settings_.sDataDir, {"signal", "message", text});
    runModes_.NoteExitCode(1);
    flags_.bEndRequested = true;
    runModes_.RequestStop();
    // Under a run the guard closes the window once the run has returned.
    if (!runActive_) {
        runModes_.StopStandby();
        CloseMainWindow();
    }
}

void TOrrinMForm::MinimizeApp() {
    showMinimized();
}
