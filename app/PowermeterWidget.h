#pragma once

#include <QWidget>

#include <memory>

class Ui_PowermeterWidget;

// One entry of the search list: a found meter's device number and its "Connect" button. The window
// creates it inside the list and deletes it when a new search starts.
class PowermeterWidget : public QWidget
{
    Q_OBJECT

public:
    explicit PowermeterWidget(QWidget* parent = nullptr);
    ~PowermeterWidget() override;

    // Stores the device number and shows it.
    void setID(int deviceNumber);

    // The device number shown (always positive).
    int id = 0;

signals:
    void connectPowermeter(PowermeterWidget* widget);

public slots:
    // "Connect" was pressed: tells the window which entry.
    void connectPowermeter();

private:
    std::unique_ptr<Ui_PowermeterWidget> ui;
};
