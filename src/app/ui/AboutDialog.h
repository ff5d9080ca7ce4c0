#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kl516 {

// The About box; also the splash screen during start-up (then without its OK button).
class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(bool asSplash, QWidget* parent = nullptr);
    QLabel* versionLabel = nullptr;        // the program's file version
    QLabel* splashMessageLabel = nullptr;  // an empty line, cleared when the splash closes
    QPushButton* okButton = nullptr;
};

}  // namespace kl516
