#pragma once

#include <QColor>
#include <QWidget>

// A small 30 x 10 rectangle showing one input or output of the unit: solid
// clLime when active, solid clGreen when not, cross-hatched in its colour
// while a command for it is pending.
class Indicator : public QWidget
{
    Q_OBJECT

public:
    static constexpr QRgb clLime = 0x00ff00;
    static constexpr QRgb clGreen = 0x008000;

    explicit Indicator(const QString &name, QWidget *parent = nullptr);

    QColor colour() const { return m_colour; }
    bool isHatched() const { return m_hatched; }

    void setColour(const QColor &colour);
    void setHatched(bool hatched);

    QSize sizeHint() const override { return {30, 10}; }

signals:
    void mouseDown(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QColor m_colour{clGreen};
    bool m_hatched = false;
};
