#include "app/CommandStates.h"

#include "session/MeterConnection.h"

namespace kl516 {

CommandContext commandContext(const MeterConnection& connection, WindowRole activeRole) {
    return {connection.state(), connection.runActive(), connection.linkLent(), activeRole};
}

CommandStates commandStates(const CommandContext& c) {
    const bool connected = c.connection == ConnectionState::Connected;
    CommandStates s;
    // A run needs the poll, which stops while another command holds the link.
    s.run = connected && !c.runActive && !c.linkLent;
    // A run is stopped only while the meter answers, as the commands of a lost meter are off.
    s.stop = connected && c.runActive;
    // The logger commands are offered before the first connection (they tell the user what is
    // missing) and while connected, but not after a loss, and not while the link is lent.
    s.dataLogger = c.connection != ConnectionState::Lost && !c.linkLent;
    // A list turns it on, a graph window or the panel off; the LEQ and setup windows leave it.
    const WindowRole decider = decidesOutputToGraph(c.activeRole) ? c.activeRole : c.lastDataRole;
    s.outputToGraph = decider == WindowRole::TableList;
    s.clearRealTime = !c.runActive;
    // The exports draw the graph window in front; any other window has nothing to draw.
    s.exportGraph = isGraphRole(c.activeRole);
    return s;
}

}  // namespace kl516
