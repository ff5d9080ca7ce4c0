#pragma once

#include <QString>
#include <QStringList>

namespace kl516 {

// The user prompts of the program: message boxes, confirmation boxes and file dialogs. The
// application shows Qt's dialogs; tests script the answers and record every text shown.
class Prompts {
  public:
    enum class Answer { Yes, No, Cancel };
    virtual ~Prompts() = default;
    // A plain message box with one OK button: something went wrong or cannot be done.
    virtual void message(const QString& text) = 0;
    // The same box for news that is not a failure (an operation that succeeded).
    virtual void information(const QString& text) { message(text); }
    // A confirmation box with Yes, No and Cancel.
    virtual Answer confirm(const QString& text) = 0;
    // A confirmation box with Yes and No only; closing it answers No.
    virtual Answer ask(const QString& text) = 0;
    // A file dialog; an empty result means cancelled.
    virtual QString openFileName(const QString& title, const QString& folder,
                                 const QString& filter) = 0;
    virtual QString saveFileName(const QString& title, const QString& folder,
                                 const QString& filter) = 0;
    // The same, also telling which entry of the filter was chosen ("description (patterns)")
    // where two formats share an extension; chosen is empty where that cannot be told.
    virtual QString saveFileNameAndFilter(const QString& title, const QString& folder,
                                          const QString& filter, QString& chosen) {
        chosen.clear();
        return saveFileName(title, folder, filter);
    }
};

}  // namespace kl516
