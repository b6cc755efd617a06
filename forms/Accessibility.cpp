#include "forms/Accessibility.h"

#include "forms/QuillFunc_Window.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QLabel>
#include <QVariant>

namespace {

constexpr char RoleProperty[] = "portprobeAccessibleRole";

QAccessibleInterface *widgetWithRole(const QString &, QObject *object)
{
    if (object == nullptr || !object->isWidgetType()) {
        return nullptr;
    }
    const QVariant role = object->property(RoleProperty);
    if (!role.isValid()) {
        return nullptr;
    }
    return new QAccessibleWidget(
        static_cast<QWidget *>(object), static_cast<QAccessible::Role>(role.toInt()));
}

void describeLevel(QLabel &label)
{
    const std::int32_t color = gGetBackColor(label);
    QString description;
    if (color == vbRed || color == vbGreen) {
        description = gBitLevelDescription(label.text(), color == vbRed);
    }
    if (label.accessibleDescription() != description) {
        label.setAccessibleDescription(description);
    }
}

// Palette changes arrive synchronously from gSetBackColor, so the description
// never lags behind the colour.
class BitLevelFollower final : public QObject
{
public:
    explicit BitLevelFollower(QLabel &label) : QObject(&label) { label.installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::PaletteChange) {
            describeLevel(*static_cast<QLabel *>(watched));
        }
        return false;
    }
};

} // namespace

void gSetAccessibleRole(QWidget &widget, QAccessible::Role role)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(widgetWithRole);
        return true;
    }();
    (void)factoryInstalled;
    widget.setProperty(RoleProperty, static_cast<int>(role));
}

QString gBitLevelDescription(const QString &caption, bool high)
{
    return QStringLiteral("%1: %2").arg(
        caption, high ? QStringLiteral("HIGH") : QStringLiteral("LOW"));
}

void gFollowBitLevel(QLabel &label)
{
    new BitLevelFollower(label);
    describeLevel(label);
}
