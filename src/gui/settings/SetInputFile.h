// "Input file extension setting": edits the eight extension lists that decide which input files
// count as which drawing type. OK stores them at once and rebuilds the input filter.
#pragma once

#include <QDialog>
#include <array>

#include "settings/Orrin1.h"

class QLineEdit;
class QPushButton;

namespace ka::ui {

class TSetinputFileDlg : public QDialog {
    Q_OBJECT
  public:
    TSetinputFileDlg(Settings& settings, MessageSink& sink, QWidget* parent = nullptr);

    // Fills the edit boxes from the store.
    void FormShow();
    // Stores the lists without any blank, rebuilds the filter and closes with OK.
    void OKBtnClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // The list of the store that an edit box shows.
    using ListField = std::string Settings::*;
    struct ExtensionRow {
        QLineEdit* edit;
        ListField field;
    };

    Settings& settings_;
    std::array<ExtensionRow, 8> rows_{};
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};

}  // namespace ka::ui
