#pragma once

#include "workspace/Prompts.h"

class QWidget;

namespace kl516 {

// The prompts as Qt's standard dialogs, owned by the main window.
class QtPrompts final : public Prompts {
  public:
    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    // Failures show the error icon, news the information icon, questions the question icon.
    void message(const QString& text) override;
    void information(const QString& text) override;
    Answer confirm(const QString& text) override;
    Answer ask(const QString& text) override;
    QString openFileName(const QString& title, const QString& folder,
                         const QString& filter) override;
    QString saveFileNameAndFilter(const QString& title, const QString& folder,
                                  const QString& filter, QString& chosen) override;
    QString saveFileName(const QString& title, const QString& folder,
                         const QString& filter) override;

  private:
    QWidget* parent_;
};

}  // namespace kl516
