#pragma once
// What assistive tools read of the windows beyond what Qt derives itself: the
// role a plain window is announced with, and the level of a bit label, which
// its colour alone shows on screen.

#include <QAccessible>
#include <QString>

QT_BEGIN_NAMESPACE
class QLabel;
class QWidget;
QT_END_NAMESPACE

/// Announces @p widget with @p role (a plain QWidget window is otherwise a
/// client area, which screen readers do not announce when it opens). Call it
/// before the widget is first shown.
void gSetAccessibleRole(QWidget &widget, QAccessible::Role role);

/// "<caption>: HIGH" or "<caption>: LOW", in the words of the colour legend.
QString gBitLevelDescription(const QString &caption, bool high);

/// Keeps @p label's accessible description on the level its background
/// colour shows, red HIGH and green LOW, from now on and at every change;
/// another colour shows no level.
void gFollowBitLevel(QLabel &label);
