#pragma once

#include <QDialog>
#include <cstdint>

#include "logger/Download.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace kl516 {

// The progress and range window: byte counts and a progress bar for the logger download, a
// progress bar for file and graphing work, and a range choice (all or from .. to) with OK and
// Cancel. Every control starts hidden; each user shows the ones it needs. The main window keeps
// one instance and reuses it.
class ProgressRangeDialog : public QDialog, public DownloadProgress {
    Q_OBJECT
  public:
    explicit ProgressRangeDialog(QWidget* parent = nullptr);

    // Sets the window up for a download of total bytes and shows it without making it modal:
    // the caption, the two counts with their texts and the progress bar at 0 of total. The
    // range choice and the buttons stay hidden, so a download cannot be cancelled here.
    void showDownload(int32_t total);
    // Shows count in the received label and the progress bar, then lets pending events run so
    // that the windows stay painted while the transfer goes on.
    void setReceived(int32_t count);

    // DownloadProgress
    void start(int32_t total) override { showDownload(total); }
    void received(int32_t count) override { setReceived(count); }
    void finish() override { close(); }

    // Controls
    QLabel* bytesReceivedLabel;
    QLabel* totalBytesLabel;
    QLabel* progressTextLabel;
    QLabel* totalBytesTextLabel;
    QProgressBar* progressBar;
    QGroupBox* rangeGroup;
    QRadioButton* rangeAllRadio;
    QRadioButton* rangeSelectRadio;
    QLabel* rangeFromLabel;
    QLineEdit* rangeFrom;
    QLabel* rangeToLabel;
    QLineEdit* rangeTo;
    QPushButton* okButton;
    QPushButton* cancelButton;

  protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace kl516
