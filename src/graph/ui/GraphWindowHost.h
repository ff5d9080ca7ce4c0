#pragma once

#include <QLocale>
#include <QString>

namespace kl516 {

class Clock;
class DataSetTable;
class Prompts;
class TfrmGraph;

// What a graph window needs from the application: prompts, locale, the program folder (for the
// template), the data set table, and the save of a window's document.
class GraphWindowHost {
public:
    virtual ~GraphWindowHost() = default;
    virtual Prompts& prompts() = 0;
    virtual Clock& clock() = 0;
    virtual QLocale locale() const = 0;
    virtual QString programFolder() const = 0;
    virtual const DataSetTable& dataSets() const = 0;
    // File > Save for this window's document; false when nothing was saved (cancelled or
    // failed).
    virtual bool saveWindow(TfrmGraph& window) = 0;
    // A graph template exists but cannot be applied: the windows go on without it, and the
    // user is told once.
    virtual void templateUnusable(const QString& path) = 0;
};

}  // namespace kl516
