#pragma once
// A label that reports clicks, for labels the user clicks like buttons.

#include <QLabel>

class ClickLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    /// A left-button press and release on the label while it is enabled.
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
