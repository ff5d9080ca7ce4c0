#include "app/ui/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace kl516 {

void QtPrompts::message(const QString& text) {
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

QString QtPrompts::openFileName(const QString& title, const QString& folder,
                                const QString& filter) {
    return QFileDialog::getOpenFileName(parent_, title, folder, filter);
}

QString QtPrompts::saveFileName(const QString& title, const QString& folder,
                                const QString& filter) {
    return QFileDialog::getSaveFileName(parent_, title, folder, filter);
}

}  // namespace kl516
