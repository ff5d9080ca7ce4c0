#pragma once

#include "session/ConnectionState.h"
#include "workspace/WindowRole.h"

namespace kl516 {

struct CommandContext {
    ConnectionState connection = ConnectionState::NeverConnected;
    bool runActive = false;  // a real-time run is in progress
    bool linkLent = false;   // a command holds the meter link (Load Data, Erase, LEQ, ...)
    WindowRole activeRole = WindowRole::None;
    // The role of the window that decided "Output Tabular to graph" last (None before any).
    WindowRole lastDataRole = WindowRole::None;
};

// Which of the commands that change state are enabled.
struct CommandStates {
    bool run = false;            // Real Time > Run and its tool button
    bool stop = false;           // Real Time > Stop and its tool button
    bool dataLogger = false;     // the Data Logger menu and its tool button
    bool outputToGraph = false;  // "Output Tabular to graph"
    bool clearRealTime = false;  // the real-time window's "Clear"
    bool exportGraph = false;    // File > Export Graph..., Export Report... and its tool button
    bool operator==(const CommandStates&) const = default;
};

// The windows whose activation turns "Output Tabular to graph" on (a list) or off (a graph
// window, the control panel); the others leave it as it was.
constexpr bool decidesOutputToGraph(WindowRole role) {
    return role == WindowRole::TableList || role == WindowRole::ControlPanel || isGraphRole(role);
}

class MeterConnection;

// The context of the connection's present state with the active window's role.
CommandContext commandContext(const MeterConnection& connection, WindowRole activeRole);

// The one place that decides the enabled commands.
CommandStates commandStates(const CommandContext& context);

}  // namespace kl516
