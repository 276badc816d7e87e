#include "app/PowermeterWidget.h"

#include "ui_PowermeterWidget.h"

PowermeterWidget::PowermeterWidget(QWidget* parent) : QWidget(parent), ui(new Ui_PowermeterWidget)
{
    ui->setupUi(this);
    connect(ui->connectButton, &QPushButton::clicked, this,
            static_cast<void (PowermeterWidget::*)()>(&PowermeterWidget::connectPowermeter));
}

PowermeterWidget::~PowermeterWidget() = default;

void PowermeterWidget::setID(int deviceNumber)
{
    id = deviceNumber;
    ui->id->setText(QString::number(deviceNumber));
}

void PowermeterWidget::connectPowermeter()
{
    emit connectPowermeter(this);
}
