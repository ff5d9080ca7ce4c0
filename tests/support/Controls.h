#pragma once

#include <QAction>
#include <QLineEdit>
#include <QObject>
#include <QTimer>
#include <QToolButton>
#include <stdexcept>
#include <string>

namespace kl516::test {

// A control of a window by its object name, as the user reaches it; a missing control ends the
// test with an exception naming it.
template <class T>
T* control(const QObject& root, const char* name) {
    T* found = root.findChild<T*>(QLatin1String(name));
    if (!found) throw std::runtime_error(std::string("no control ") + name);
    return found;
}

inline QToolButton* button(const QObject& root, const char* name) {
    return control<QToolButton>(root, name);
}
inline QAction* action(const QObject& root, const char* name) {
    return control<QAction>(root, name);
}
inline QLineEdit* lineEdit(const QObject& root, const char* name) {
    return control<QLineEdit>(root, name);
}
inline QTimer* timer(const QObject& root, const char* name) {
    return control<QTimer>(root, name);
}
// A command reached by a tool button and a menu item is enabled when both are.
inline bool commandEnabled(const QObject& root, const char* buttonName, const char* actionName) {
    return button(root, buttonName)->isEnabled() && action(root, actionName)->isEnabled();
}

}  // namespace kl516::test
