#pragma once
// A label that reports clicks, for labels the user clicks like buttons. It
// works from the keyboard as well: Tab reaches it, Space or Enter clicks it,
// and assistive tools see a button they can press.

#include <QLabel>

class ClickLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickLabel(const QString &text, QWidget *parent = nullptr);

    /// Reports a click, as the mouse does, while the label is enabled.
    void click();

signals:
    /// A left-button press and release, Space or Enter, on the label while it is enabled.
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
