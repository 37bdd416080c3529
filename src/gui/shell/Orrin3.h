// The About window: program name, version, the maker's notice and two links (mail and web).
// It has no title-bar buttons: "OK", Enter or Esc closes it.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class TURLLink;

inline constexpr const char* kMakerMail = "support@tavrolint.example";
inline constexpr const char* kMakerWeb = "https://www.tavrolint.example/";
inline constexpr const char* kMakerNoticeText = "Copyright (c) Tavrolint";

class TOrrin3Form : public QDialog {
    Q_OBJECT

  public:
    explicit TOrrin3Form(QWidget* parent = nullptr);

    void FormCreate();
    void ButtonOKClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QFrame* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* Product = nullptr;
    QLabel* Version = nullptr;
    QLabel* Notice = nullptr;
    TURLLink* URLLink2 = nullptr;
    TURLLink* URLLink1 = nullptr;
    QPushButton* ButtonOK = nullptr;
};
