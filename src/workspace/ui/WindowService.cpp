#include "workspace/ui/WindowService.h"

#include <QVariant>
#include <QWidget>

namespace kl516 {

namespace {
constexpr const char* kRoleProperty = "kl516Role";
}

WindowRole roleOf(const QWidget* child) {
    if (!child) return WindowRole::None;
    const QVariant role = child->property(kRoleProperty);
    return role.isValid() ? WindowRole(role.toInt()) : WindowRole::None;
}

void setRole(QWidget* child, WindowRole role) {
    if (child) child->setProperty(kRoleProperty, int(role));
}

}  // namespace kl516
