#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kl516 {

// The About box; also the splash screen during start-up (then without its OK button).
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(bool asSplash, QWidget* parent = nullptr);
    QLabel* Label2 = nullptr;  // the program's file version
    QLabel* Label4 = nullptr;  // an empty line, cleared when the splash closes
    QPushButton* BitBtn1 = nullptr;
};

}  // namespace kl516
