#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kl516 {

// The text of a new note: a prompt, one line, OK and Cancel. No title; stays on top, centred
// on the screen. A fresh dialog is made for every note.
class AnnotationTextDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AnnotationTextDialog(QWidget* parent = nullptr);

    QLabel* promptLabel;  // "Note text:" above the box
    QLineEdit* annotationText;
    QPushButton *acceptButton, *cancelButton;

  protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace kl516
