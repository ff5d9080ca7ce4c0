#include "session/StatusDecoder.h"

namespace kl516 {

namespace {
int word(const ResponseFrame& f, int high) {
    return f[high] * 256 + f[high + 1];
}
}  // namespace

MeterStatus decode(const ResponseFrame& f) {
    MeterStatus s;
    s.recording = f[1] & 0x01;
    s.maxMinActive = f[1] & 0x04;
    s.weightingA = f[1] & 0x08;
    s.fast = f[1] & 0x10;
    s.under = f[1] & 0x40;
    s.over = f[1] & 0x80;
    s.memoryFull = f[2] & 0x10;
    if (f[2] & 0x40) s.runState = (f[2] & 0x20) ? RunState::Running : RunState::Paused;
    s.leqShown = f[2] & 0x80;
    s.maxMinMode = f[4];
    if (s.leqShown) {
        s.levelTenths = word(f, 26);
    } else if (s.maxMinActive) {
        s.levelTenths = s.maxMinMode == 0x11   ? word(f, 11)
                        : s.maxMinMode == 0x22 ? word(f, 13)
                                               : word(f, 5);
    } else {
        s.levelTenths = f[7] * 1000 + f[8] * 100 + f[9] * 10 + f[10];
    }
    s.level = static_cast<float>(s.levelTenths * 0.1);
    s.clock = {f[21], f[19], f[18], f[17], f[16], f[15]};
    return s;
}

std::array<int, 4> levelDigitImages(int32_t tenths) {
    const int lead = tenths / 1000;
    if (tenths < 0 || lead >= kLargeDigitImages)
        return {kDigitFailureImage, kDigitFailureImage, kDigitFailureImage, kDigitFailureImage};
    return {lead == 0 ? kBlankLargeDigit : lead, (tenths % 1000) / 100, (tenths % 100) / 10,
            tenths % 10};
}

int levelBarWidth(int32_t tenths) {
    return tenths <= 300 ? 4 : 4 + (3 * (tenths - 300)) / 20;
}

PanelRefresh StatusDecoder::onStatus(const ResponseFrame& f) {
    PanelRefresh r;
    r.status = decode(f);
    meterRecording_ = r.status.recording;

    if (f[15] != lastSecondsByte_) {
        if (f[15] == 0x5A || f[16] == 0x5A || f[17] == 0x5A) {
            // The meter marks its clock as not set: keep the digits and look again next frame.
            lastSecondsByte_ = 2;
        } else {
            // Hours, minutes, seconds, year, month, day; the first byte that is not BCD ends
            // the conversion and the places after it keep their digits.
            const int order[6] = {17, 16, 15, 21, 19, 18};
            for (int i = 0; i < 6; ++i) {
                const int v = fromBcd(f[order[i]]);
                if (v < 0) break;
                r.clockValues[i] = v;
            }
            lastSecondsByte_ = f[15];
        }
    }

    r.digits = levelDigitImages(r.status.levelTenths);
    r.barWidth = levelBarWidth(r.status.levelTenths);
    if (!r.status.maxMinActive) {
        r.maxMin = MaxMinIndicator::Off;
    } else {
        switch (r.status.maxMinMode) {
            case 0x00:
                r.maxMin = MaxMinIndicator::StopBlink;
                break;
            case 0x11:
                r.maxMin = MaxMinIndicator::MaxOnly;
                break;
            case 0x22:
                r.maxMin = MaxMinIndicator::MinOnly;
                break;
            case 0x44:
                r.maxMin = MaxMinIndicator::Blink;
                break;
            default:
                r.maxMin = MaxMinIndicator::NoChange;
                break;
        }
    }
    return r;
}

}  // namespace kl516
