#pragma once

#include <QDialog>

class QPushButton;

namespace kl516 {

// The choice between all data sets (a collection file) and a single file, asked by Open and by
// Save on the DataLogger window. Its buttons close it with OK, No or Cancel; so does closing
// it (Cancel).
class OpenSaveChoiceDialog final : public QDialog {
    Q_OBJECT
  public:
    enum Result { Ok = 1, Cancel = 2, No = 7 };

    explicit OpenSaveChoiceDialog(QWidget* parent = nullptr);

    // Title "Open File" and the open captions; without ".csv" when the decimal separator is a
    // comma.
    void setUpForOpen(bool commaDecimal);
    // Title "Save File" with the design captions.
    void setUpForSave();

    void reject() override { done(Cancel); }

    // Controls
    QPushButton* allSetsButton;
    QPushButton* singleFileButton;
    QPushButton* cancelButton;

  protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace kl516
