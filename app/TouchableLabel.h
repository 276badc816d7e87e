#pragma once

#include <QLabel>

class QMouseEvent;

// A label that reports where it was pressed, for forms that react to a press on a picture or a value.
// The press is not handed on to QLabel.
class TouchableLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TouchableLabel(QWidget* parent = nullptr);
    ~TouchableLabel() override;

signals:
    // In the label's own coordinates.
    void mousePressed(const QPoint& position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
