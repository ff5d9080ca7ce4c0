#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <vector>

namespace kl516::artwork {

// The pictures of the control panel, drawn with QPainter at the sizes the panel lays out:
// the meter body with its keys and blank LCD, the digit images and the LCD annunciators.

// Ink and glass of the LCD, shared by the picture, the images and the panel's text labels.
QColor lcdInk();
QColor lcdGlass();

// What is printed on a key of the picture.
enum class KeyFace {
    Power,
    RecIntv,
    FastSlow,
    SplLeq,
    MinMax,
    Backlight,
    AC,
    RunPauseStop,
    IntegTimeClock,
    Set,
    Up,
    Down,
    Minimise,
    Close,
};

struct KeyDrawing {
    KeyFace face;
    QRect rect;  // the key's place on the picture, in picture pixels
};

inline constexpr int kMeterWidth = 279;
inline constexpr int kMeterHeight = 731;
// The blank LCD of the picture; every LCD element of the panel lies on it.
inline constexpr QRect kLcdRect{34, 463, 230, 180};

// The whole meter, kMeterWidth x kMeterHeight, with the keys drawn at the given places.
QPixmap meterPicture(const std::vector<KeyDrawing>& keys);

// Seven-segment digits on a transparent ground: 30 x 51 and 9 x 15. Lit segments are in LCD
// ink, unlit ones in a faint tone of it, as on the meter's glass; values outside 0..9 give a
// blank figure (every segment unlit) of the same size.
QPixmap largeDigit(int value);
QPixmap smallDigit(int value);

// LCD annunciators, in LCD ink on a transparent ground.
QPixmap decimalPoint();  // 6 x 12, the dot at the bottom, level with the digits' base
QPixmap dateDash();      // 5 x 3, its top two rows level with the middle bar of the date digits
QPixmap timeColon();     // 4 x 12, dots at rows 0-1 and 6-7, centred on the time digits' middle
QPixmap battery();       // 17 x 9
QPixmap levelBar();      // the full bar, 154 x 9; the panel crops it by width
QPixmap runStart();      // 10 x 11
QPixmap runPause();      // 10 x 11
QPixmap runStop();       // 10 x 11
// A word as an annunciator image ("UNDER", "OVER", "Leq", "SPL"), sized to the text.
QPixmap word(const QString& text, int pixelSize);

// The font of the LCD's text annunciators.
QFont lcdFont(int pixelSize, bool bold = true);

}  // namespace kl516::artwork
