// Help pages: HTML files in the folder "help" beside the executable, shown in a non-modal help
// window. Topic 0 is the contents page (the main window); the dialogs ask for their own topics.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace ka::ui {

inline constexpr int kHelpContents = 0;
inline constexpr int kHelpSettingsDialog = 301;
inline constexpr int kHelpBatchFileDialog = 302;
inline constexpr int kHelpResultsView = 303;
inline constexpr int kHelpBatchFileHelpButton = 550;

// Folder of the help pages: the executable's folder + "/help".
QString HelpFolder();

// File name of a topic's page ("index.html", "topic301.html"); empty for an unknown topic.
QString HelpPageName(int topic);

// Opens the topic's page in the help window of the parent's top-level window (created on first
// use, raised afterwards). An unknown topic or a missing page shows an error box titled with the
// application title.
void ShowHelp(QWidget* parent, int topic);

// Test hook: while set, ShowHelp shows nothing (no window, no box) and reports the request:
// the topic, the page's full path (empty for an unknown topic) and whether the page exists.
using HelpRequestHook = std::function<void(int topic, const QString& pagePath, bool found)>;
void SetHelpRequestHook(HelpRequestHook hook);

}  // namespace ka::ui
