#include "workspace/ui/QtPrompts.h"

#include "formats/FileNames.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace kl516 {

void QtPrompts::message(const QString& text) {
    QMessageBox::critical(parent_, QApplication::applicationName(), text, QMessageBox::Ok);
}

void QtPrompts::information(const QString& text) {
    QMessageBox::information(parent_, QApplication::applicationName(), text, QMessageBox::Ok);
}

Prompts::Answer QtPrompts::confirm(const QString& text) {
    const auto button = QMessageBox::question(
        parent_, QApplication::applicationName(), text,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (button == QMessageBox::Yes) return Answer::Yes;
    if (button == QMessageBox::No) return Answer::No;
    return Answer::Cancel;
}

Prompts::Answer QtPrompts::ask(const QString& text) {
    const auto button = QMessageBox::question(parent_, QApplication::applicationName(), text,
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    return button == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QString QtPrompts::openFileName(const QString& title, const QString& folder,
                                const QString& filter) {
    return QFileDialog::getOpenFileName(parent_, title, folder, filter);
}

QString QtPrompts::saveFileName(const QString& title, const QString& folder,
                                const QString& filter) {
    QString chosen;
    return saveFileNameAndFilter(title, folder, filter, chosen);
}

QString QtPrompts::saveFileNameAndFilter(const QString& title, const QString& folder,
                                         const QString& filter, QString& chosen) {
    QString selected;
    const QString typed = QFileDialog::getSaveFileName(parent_, title, folder, filter, &selected);
    chosen = selected;
    const QString path = withFilterExtension(typed, selected.isEmpty() ? filter : selected);
    // The dialog asked about replacing the name as typed; the name with its extension may be
    // another file that exists.
    if (path != typed && QFileInfo::exists(path)) {
        const auto answer =
            QMessageBox::question(parent_, title,
                                  QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                      .arg(QFileInfo(path).fileName()),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return {};
    }
    return path;
}

}  // namespace kl516
