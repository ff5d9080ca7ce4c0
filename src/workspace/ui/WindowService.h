#pragma once

#include <QString>

#include "workspace/GraphDocument.h"
#include "workspace/WindowRole.h"

class QWidget;

namespace kl516 {

class GraphWindow;
class ProgressRangeDialog;

// Creates, finds and places the child windows of the main window. Feature code depends on this
// interface (and on the meter connection), never on the main window's widgets.
class WindowService {
  public:
    virtual ~WindowService() = default;

    // The one real-time graph window, or null before it is created.
    virtual GraphWindow* realTimeWindow() const = 0;
    // Creates the real-time graph window (graph set-up, sampling-rate box) and places it beside
    // the control panel.
    virtual GraphWindow* openRealTimeWindow() = 0;
    // The one DataLogger window, or null before the first Load Data or collection file.
    virtual GraphWindow* dataLoggerWindow() const = 0;
    // Restores the DataLogger window, or creates it at the top left of the workspace with an
    // empty graph from `now` (SerialDateTime) to 500 s later.
    virtual GraphWindow* openDataLoggerWindow(double now) = 0;
    // A new graph window for a document, added to the workspace but not yet shown.
    virtual GraphWindow* createGraphWindow(const GraphDocument& document,
                                           const QString& caption) = 0;
    // Adds the LEQ window to the workspace (role Leq, destroyed when closed), centred, shown
    // in the normal state.
    virtual void showLeqWindow(QWidget* leq) = 0;
    // Adds a tabular list window to the workspace (role TableList, destroyed when closed) and
    // shows it active.
    virtual void showListWindow(QWidget* list) = 0;
    // Shows a graph window opened from a graph file at the top left of the workspace, the main
    // window's width and its client height less 40 (never beyond the workspace), active.
    virtual void showOpenedGraphWindow(GraphWindow* graph) = 0;

    // Brings a child window back from minimised; activate also gives it the focus.
    virtual void restore(QWidget* child) = 0;
    virtual void activate(QWidget* child) = 0;
    // The active child window and its role.
    virtual QWidget* activeChild() const = 0;
    virtual WindowRole activeRole() const = 0;

    // The progress and range window, created hidden on first use and kept for later ones.
    virtual ProgressRangeDialog* progressWindow() = 0;
    // The parent for dialogs and message boxes.
    virtual QWidget* dialogParent() = 0;
};

// The role a child window carries (ControlPanel, DataLogger, ...); None for other widgets.
WindowRole roleOf(const QWidget* child);
void setRole(QWidget* child, WindowRole role);

}  // namespace kl516
