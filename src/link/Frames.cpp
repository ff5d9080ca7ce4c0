#include "link/Frames.h"

namespace kl516 {

void setConfigWriteFrame(CommandFrame& frame, uint32_t address, uint8_t data) {
    setLetter(frame, Cmd::ConfigWrite);
    frame[2] = static_cast<uint8_t>(address >> 16);
    frame[3] = static_cast<uint8_t>(address >> 8);
    frame[4] = static_cast<uint8_t>(address);
    frame[5] = data;
}

void setConfigReadFrame(CommandFrame& frame, uint32_t address) {
    setLetter(frame, Cmd::ConfigRead);
    frame[2] = static_cast<uint8_t>(address >> 16);
    frame[3] = static_cast<uint8_t>(address >> 8);
    frame[4] = static_cast<uint8_t>(address);
}

void setClockCommandFrame(CommandFrame& frame) {
    setLetter(frame, Cmd::SetClock);
    frame[2] = 'c';
    frame[3] = 0x00;
}

void fillClockBlock(ResponseFrame& block, const QDateTime& time) {
    const QDate d = time.date();
    const QTime t = time.time();
    block[0] = toBcd(t.second());
    block[1] = toBcd(t.minute());
    block[2] = toBcd(t.hour());
    block[3] = toBcd(d.day());
    block[4] = toBcd(d.month());
    block[6] = toBcd(d.year() % 100);
    block[7] = 0x00;
}

}  // namespace kl516
