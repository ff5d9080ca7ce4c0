#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <array>
#include <utility>
#include <vector>

#include "session/StatusDecoder.h"

class QLabel;
class QTimer;

namespace kl516 {

class MeterConnection;
class Prompts;

// The digit images shared by every panel: 18 large (30 x 51) and 18 small (9 x 15); indexes
// 0..9 are the digits as seven-segment figures, 10..17 blank.
struct DigitImages {
    std::array<QPixmap, 18> large;
    std::array<QPixmap, 18> small;
    static DigitImages draw();  // drawn by the program
};

// The control panel: a picture of the meter whose LCD mirrors the live status and whose keys
// send their letters to the meter. A frameless child window of fixed size 279 x 730.
class ControlPanel : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 279;
    static constexpr int kHeight = 730;

    ControlPanel(MeterConnection& connection, Prompts& prompts, const DigitImages& digits,
                 QWidget* parent = nullptr);

    // Applies a refreshed status frame: annunciators, clock places, level digits, MAX/MIN
    // labels (the caller runs the blink timer), range labels and the bar.
    void applyRefresh(const PanelRefresh& refresh);
    void setLevelDigits(const std::array<int, 4>& images);
    void setMaxMinVisible(bool maxShown, bool minShown);
    // Showing "No Connection" switches the LCD off, as on a meter that is off; the next status
    // refresh after the label is hidden switches it on again.
    void setNoConnectionVisible(bool shown);
    void setTimeVisible(bool shown);

    // A short notice next to a key that leaves the panel usable ("not available", a refusal
    // while another command holds the meter); it hides itself after a few seconds.
    void showNotice(const QString& text, QWidget* at);

    // Set while a MAX/MIN blink step runs; a close request waits for it.
    void setBlinkInProgress(bool busy) { blinkInProgress_ = busy; }

  signals:
    void activated();  // disables the main window's "Output Tabular to graph"
    void closed();     // the panel is being destroyed
    void minimiseRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    bool event(QEvent* event) override;
    void buildLcd();
    void buildKeys();
    // Sends a key through the connection; a key refused while a command holds the link gets a
    // notice at the key, a failed exchange the "Connect fail" box.
    void sendKey(char letter, QWidget* key);
    // Registers an element of the LCD with whether it is lit; setLit changes that, and an
    // element is shown only while it is lit and the LCD is on.
    QLabel* lcdElement(QLabel* element);
    void setLit(QWidget* element, bool lit);
    void setLcdOn(bool on);
    void closePanel();
    QWidget* dragTarget();  // the panel, or its MDI subwindow
    bool shownLit(const QWidget* element) const;  // lit and the LCD on
    // The LCD as a line of text for screen readers ("68.4 dBA FAST, 12:03:07"), from what the
    // LCD shows; it is the accessible name of lcdReadout_.
    QString reading() const;
    void updateReading();

    MeterConnection& connection_;
    Prompts& prompts_;
    const DigitImages& digits_;
    bool blinkInProgress_ = false;
    bool lcdOn_ = true;
    std::vector<std::pair<QWidget*, bool>> lcd_;  // element, lit
    QLabel* notice_ = nullptr;
    QTimer* noticeTimer_ = nullptr;
    bool closedEmitted_ = false;
    QPoint dragOffset_;
    bool dragging_ = false;

    std::vector<QWidget*> pictures_;  // elements that move the window when dragged
    std::array<QLabel*, 4> mainDigits_{};
    // hours, minutes, seconds, year, month, day: tens then units
    std::array<QLabel*, 12> clockDigits_{};
    QLabel* weightingALabel_ = nullptr;
    QLabel* weightingCLabel_ = nullptr;
    QLabel* fastLabel_ = nullptr;
    QLabel* slowLabel_ = nullptr;
    QLabel* maxLabel_ = nullptr;
    QLabel* minLabel_ = nullptr;
    QLabel* rangeLowLabel_ = nullptr;
    QLabel* rangeHighLabel_ = nullptr;
    QLabel* levelBarImage_ = nullptr;
    QLabel* recordingLabel_ = nullptr;
    QLabel* memoryFullLabel_ = nullptr;
    QLabel* underRangeImage_ = nullptr;
    QLabel* overRangeImage_ = nullptr;
    QLabel* runStartImage_ = nullptr;
    QLabel* runPauseImage_ = nullptr;
    QLabel* runStopImage_ = nullptr;
    QLabel* leqImage_ = nullptr;
    QLabel* splImage_ = nullptr;
    QLabel* noConnectionLabel_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QLabel* lcdReadout_ = nullptr;  // no picture of its own: the LCD's reading as text
    std::array<int, 4> shownDigits_{-1, -1, -1, -1};         // large digit images; -1: empty place
    std::array<int, 6> shownClock_{-1, -1, -1, -1, -1, -1};  // as PanelRefresh::clockValues
};

}  // namespace kl516
