#pragma once

namespace kl516 {

// What a child window of the main window is for. Commands, Save, Print and the close questions
// ask the role; the caption is only what the user reads.
enum class WindowRole {
    None,          // no child window is active
    ControlPanel,  // the picture of the meter
    DataLogger,    // the logger's data sets (one window for the whole run)
    RealTime,      // live readings (one window for the whole run)
    LeqOfSource,   // the running Leq of another graph window
    OpenedFile,    // a graph opened from a graph file, or made from a table
    TableList,     // a text file shown as a table
    Leq,           // the LEQ measurement window
    Service,       // the logger setup window
};

// True for the roles shown in a graph window.
constexpr bool isGraphRole(WindowRole role) {
    return role == WindowRole::DataLogger || role == WindowRole::RealTime ||
           role == WindowRole::LeqOfSource || role == WindowRole::OpenedFile;
}

}  // namespace kl516
