#pragma once

#include <array>
#include <cstdint>

#include "link/Frames.h"

namespace kl516 {

enum class RunState { Stopped, Running, Paused };

// One status response, decoded.
struct MeterStatus {
    bool recording = false;
    bool maxMinActive = false;
    bool weightingA = false;  // false: C
    bool fast = false;        // false: SLOW
    bool under = false;
    bool over = false;
    bool memoryFull = false;
    RunState runState = RunState::Stopped;
    bool leqShown = false;  // false: SPL
    uint8_t maxMinMode = 0;
    int32_t levelTenths = 0;
    float level = 0.0f;
    // year, month, day, hours, minutes, seconds as the meter sends them (packed BCD)
    std::array<uint8_t, 6> clock{};
};

MeterStatus decode(const ResponseFrame& frame);

// Images of the large digit table: 0..9 digits, 10..17 blank.
inline constexpr int kBlankLargeDigit = 10;
inline constexpr int kLargeDigitImages = 18;
inline constexpr int kDigitFailureImage = 16;

// The four large digit images for a level: a leading 0 is blank; a leading quotient outside
// the image table cannot be drawn, and then all four places are blank.
std::array<int, 4> levelDigitImages(int32_t levelTenths);

// Width of the level bar in pixels: 4 up to 30.0 dB, then 3 pixels per 2 dB.
int levelBarWidth(int32_t levelTenths);

enum class MaxMinIndicator { NoChange, Off, MaxOnly, MinOnly, Blink, StopBlink };

// What one status frame changes on the control panel.
struct PanelRefresh {
    MeterStatus status;
    std::array<int, 4> digits{};
    int barWidth = 4;
    MaxMinIndicator maxMin = MaxMinIndicator::NoChange;
    // Clock values 0..99 in the order hours, minutes, seconds, year, month, day; -1 leaves the
    // place as it is.
    std::array<int, 6> clockValues{-1, -1, -1, -1, -1, -1};
};

// The decoder with the state it keeps between frames.
class StatusDecoder {
  public:
    // Decodes a frame framed 0x02 ... 0x03 and updates the kept state. The result describes the
    // whole panel refresh; the caller applies it only when a panel exists and the refresh is due.
    PanelRefresh onStatus(const ResponseFrame& frame);
    // The blink step: returns whether MAX and MIN are shown.
    bool blinkStep() { return blinkPhase_ = !blinkPhase_; }

    bool meterRecording() const { return meterRecording_; }
    uint8_t lastSecondsByte() const { return lastSecondsByte_; }

  private:
    bool meterRecording_ = false;
    uint8_t lastSecondsByte_ = 0;
    bool blinkPhase_ = false;
};

}  // namespace kl516
