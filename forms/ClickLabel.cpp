#include "forms/ClickLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// Announced as a button with the label's caption as its name, so a screen
// reader says what a click does and can press it.
class ClickLabelAccessible final : public QAccessibleWidget
{
public:
    explicit ClickLabelAccessible(ClickLabel *label) : QAccessibleWidget(label, QAccessible::Button)
    { }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return label().text();
        }
        return QAccessibleWidget::text(type);
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (widget()->isEnabled()) {
            names.prepend(pressAction());
        }
        return names;
    }

    void doAction(const QString &action) override
    {
        if (action == pressAction()) {
            label().click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

    QStringList keyBindingsForAction(const QString &action) const override
    {
        if (action == pressAction()) {
            return { QStringLiteral("Space") };
        }
        return QAccessibleWidget::keyBindingsForAction(action);
    }

private:
    ClickLabel &label() const { return *static_cast<ClickLabel *>(widget()); }
};

QAccessibleInterface *clickLabelAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("ClickLabel")) {
        if (auto *label = qobject_cast<ClickLabel *>(object)) {
            return new ClickLabelAccessible(label);
        }
    }
    return nullptr;
}

} // namespace

ClickLabel::ClickLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(clickLabelAccessible);
        return true;
    }();
    (void)factoryInstalled;
    // Tab only: a mouse click leaves the focus where it was.
    setFocusPolicy(Qt::TabFocus);
}

void ClickLabel::click()
{
    if (isEnabled()) {
        emit clicked();
    }
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

void ClickLabel::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // One click per press: a held key does not toggle on and on.
        if (!event->isAutoRepeat()) {
            click();
        }
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

void ClickLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus()) {
        return;
    }
    // A dotted ring just inside the border: colours, caption and size stay.
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(2, 2, -3, -3));
}
