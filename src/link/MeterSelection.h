#pragma once

#include <QString>
#include <vector>

namespace kl516 {

// A meter attached to the computer as a listing shows it: its device node ("/dev/hidraw3"),
// its USB serial number (empty when it has none) and whether this user may open the node.
struct AttachedMeter {
    QString device;
    QString serial;
    bool openable = false;
};

// Which of the attached meters to talk to: a device node, a serial number, both, or neither
// (the first meter found). When both are given, one meter must have both.
struct MeterSelection {
    QString device;
    QString serial;

    bool any() const { return device.isEmpty() && serial.isEmpty(); }
    bool matches(const AttachedMeter& meter) const {
        return (device.isEmpty() || meter.device == device) &&
               (serial.isEmpty() || meter.serial == serial);
    }
};

// The first of meters that the selection takes, or null when none does.
inline const AttachedMeter* selectMeter(const std::vector<AttachedMeter>& meters,
                                        const MeterSelection& selection) {
    for (const AttachedMeter& m : meters)
        if (selection.matches(m)) return &m;
    return nullptr;
}

// What to tell the user when selectMeter finds nothing.
inline QString noSelectedMeterText(const MeterSelection& selection) {
    if (!selection.device.isEmpty() && !selection.serial.isEmpty())
        return QStringLiteral("no meter with serial number %1 is attached at %2")
            .arg(selection.serial, selection.device);
    if (!selection.serial.isEmpty())
        return QStringLiteral("no meter with serial number %1 is attached").arg(selection.serial);
    if (!selection.device.isEmpty())
        return QStringLiteral("no meter is attached at %1").arg(selection.device);
    return QStringLiteral("no meter is attached");
}

}  // namespace kl516
