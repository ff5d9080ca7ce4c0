#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "workspace/Prompts.h"

namespace kl516::test {

// Prompts for tests: records every prompt shown, in order, and answers confirmations and file
// dialogs from a script. An empty script answers confirmations with defaultConfirm and file
// dialogs with "" (cancelled).
class ScriptedPrompts final : public Prompts {
public:
    enum class Kind { Message, Confirm, OpenFile, SaveFile };
    struct Shown {
        Kind kind;
        QString text;  // the message or question; a file dialog's title
        QString folder;
        QString filter;
    };

    std::vector<Shown> shown;
    std::deque<Answer> confirmAnswers;
    Answer defaultConfirm = Answer::Cancel;
    std::deque<QString> fileNames;
    // Runs while a prompt is "open", after it is recorded: lets a test look at the state the
    // program is in when it asks, or act as the user would (the real boxes run an event loop).
    std::function<void(const Shown&)> onShown;

    void message(const QString& text) override { record({Kind::Message, text, {}, {}}); }

    Answer confirm(const QString& text) override {
        record({Kind::Confirm, text, {}, {}});
        if (confirmAnswers.empty()) return defaultConfirm;
        const Answer answer = confirmAnswers.front();
        confirmAnswers.pop_front();
        return answer;
    }

    // Yes/No questions take their answers from the same script; Cancel there answers No.
    Answer ask(const QString& text) override {
        const Answer answer = confirm(text);
        return answer == Answer::Yes ? Answer::Yes : Answer::No;
    }

    QString openFileName(const QString& title, const QString& folder,
                         const QString& filter) override {
        record({Kind::OpenFile, title, folder, filter});
        return nextFileName();
    }

    QString saveFileName(const QString& title, const QString& folder,
                         const QString& filter) override {
        record({Kind::SaveFile, title, folder, filter});
        return nextFileName();
    }

    // The filter entries "chosen" in save dialogs, in order; none left: the dialog tells none.
    std::deque<QString> chosenFilters;
    QString saveFileNameAndFilter(const QString& title, const QString& folder,
                                  const QString& filter, QString& chosen) override {
        chosen = chosenFilters.empty() ? QString() : chosenFilters.front();
        if (!chosenFilters.empty()) chosenFilters.pop_front();
        return saveFileName(title, folder, filter);
    }

    // The texts of the plain message boxes, in order.
    QStringList messages() const { return textsOf(Kind::Message); }
    // The questions of the confirmation boxes, in order.
    QStringList questions() const { return textsOf(Kind::Confirm); }
    void clear() { shown.clear(); }

private:
    void record(const Shown& prompt) {
        shown.push_back(prompt);
        if (onShown) onShown(prompt);
    }

    QString nextFileName() {
        if (fileNames.empty()) return {};
        QString name = fileNames.front();
        fileNames.pop_front();
        return name;
    }

    QStringList textsOf(Kind kind) const {
        QStringList texts;
        for (const Shown& s : shown)
            if (s.kind == kind) texts << s.text;
        return texts;
    }
};

}  // namespace kl516::test
