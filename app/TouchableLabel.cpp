#include "app/TouchableLabel.h"

#include <QMouseEvent>

TouchableLabel::TouchableLabel(QWidget* parent) : QLabel(parent) {}

TouchableLabel::~TouchableLabel() = default;

void TouchableLabel::mousePressEvent(QMouseEvent* event)
{
    emit mousePressed(event->position().toPoint());
}
