#pragma once

#include <QLocale>
#include <QString>

#include "dataset/SerialDateTime.h"
#include "platform/AppPaths.h"
#include "workspace/GraphDocument.h"

namespace kl516 {

class AnnotationState;
class Clock;
class DataSetTable;
class Prompts;
class GraphWindow;

// What a graph window needs from the application: prompts, clock, locale, the folders (the
// graph template is read from and written to them), the data set table, and the save of a
// window's document.
class GraphWindowHost {
  public:
    virtual ~GraphWindowHost() = default;
    virtual Prompts& prompts() = 0;
    virtual Clock& clock() = 0;
    virtual QLocale locale() const = 0;
    // The executable's folder (the base folder when there is no data folder).
    virtual QString programFolder() const = 0;
    // Where the shipped data and the user's own files (the graph template) are.
    virtual AppPaths paths() const = 0;
    virtual const DataSetTable& dataSets() const = 0;
    // Moves set `set` of the data set table to a new start time (its samples follow).
    virtual void changeStartTime(int set, SerialDateTime newStart) = 0;
    // File > Save for this window's document; false when nothing was saved (cancelled or
    // failed).
    virtual bool saveWindow(GraphWindow& window) = 0;
    // A graph template exists but cannot be applied: the windows go on without it, and the
    // user is told once.
    virtual void templateUnusable(const QString& path) = 0;
    // The annotation counter and pointer mode that every graph window shares.
    virtual AnnotationState& annotations() = 0;
    // The file of the settings store the windows remember their choices in; empty: the user's
    // store.
    virtual QString settingsFile() const { return {}; }
    // A new graph window for a document, added to the workspace but not yet shown (the running
    // Leq of a window).
    virtual GraphWindow* createGraphWindow(const GraphDocument& document,
                                           const QString& caption) = 0;
};

}  // namespace kl516
