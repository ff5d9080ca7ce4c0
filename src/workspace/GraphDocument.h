#pragma once

#include <QList>
#include <QString>

#include "workspace/WindowRole.h"

namespace kl516 {

// The file formats a window's content can be saved in.
enum class SaveFormat {
    CollectionFile,  // the logger's data sets (.rec)
    GraphFile,       // the graph control's state (.ghf)
    PointText,       // one series as text (.txt tab, .csv comma)
    TableText,       // a table as text (.txt tab, .csv comma)
};

// What a graph window shows, as far as saving and closing are concerned: its role, the role of
// the window it was made from (for a running Leq) and the flag that says its data are not saved.
// The flag is shared: a running-Leq window asks about its source's data.
struct GraphDocument {
    WindowRole role = WindowRole::OpenedFile;
    WindowRole sourceRole = WindowRole::None;  // for LeqOfSource: the source window's role
    bool* unsaved = nullptr;                   // null: nothing to ask on close

    // The role whose rules apply: a running Leq follows its source.
    WindowRole effectiveRole() const { return role == WindowRole::LeqOfSource ? sourceRole : role; }
    // The question asked when the window is closed while its data are unsaved; empty: none.
    QString closeQuestion() const;
    // Whether answering No to the close question also forgets the unsaved data.
    bool noClearsUnsaved() const { return effectiveRole() == WindowRole::RealTime; }
    // The formats Save offers for this window, the first being the default.
    QList<SaveFormat> saveFormats() const;
    // Save asks first whether all data sets or the shown series are to be saved.
    bool saveOffersChoice() const { return saveFormats().contains(SaveFormat::CollectionFile); }
};

}  // namespace kl516
