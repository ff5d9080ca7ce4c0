#pragma once

#include <QLocale>
#include <QString>

namespace kl516 {

class Clock;
class DataSetTable;
class Prompts;

// What a graph window needs from the main window: prompts, locale, the program folder (for the
// template), the data set table, the two unsaved flags and the File > Save command.
class GraphWindowHost {
public:
    virtual ~GraphWindowHost() = default;
    virtual Prompts& prompts() = 0;
    virtual Clock& clock() = 0;
    virtual QLocale locale() const = 0;
    virtual QString programFolder() const = 0;
    virtual const DataSetTable& dataSets() const = 0;
    virtual bool& loggerDataUnsaved() = 0;
    virtual bool& realTimeDataUnsaved() = 0;
    // File > Save for the active child window; false when nothing was saved (cancelled or
    // failed).
    virtual bool saveActiveWindow() = 0;
};

}  // namespace kl516
