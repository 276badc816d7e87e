#pragma once

#include "ant/device/PowerMeterModel.h"
#include "app/MeterPage.h"

#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QString>
#include <QVariant>

#include <array>
#include <cstdint>
#include <memory>

class Ui_tables;

// Works out the slope for a change of chainrings from the ring tables of the chainring data file:
// the user picks the power-meter model, the ring now mounted and the ring to be mounted, and sees the
// new slope with its change in percent. "Accept" hands the new slope to the Slope page through
// Slope::startSetSlope; on the KV7 model it first writes the new ring into the meter's user chainring
// register. The Slope page creates it; the window's page stack owns it.
class Tables : public MeterPage
{
    Q_OBJECT

public:
    Tables(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow, float userSlope,
           float factorySlope);
    ~Tables() override;

    void registerReceived(vant::device::VelonixPowerMeterDevice* device, int location, int length,
                          unsigned char* data) override;
    void registerChanged(vant::device::VelonixPowerMeterDevice* device, int location, int length) override;

public slots:
    // Reads the data file into the model combo and the ring tables, then the meter's ring registers.
    void parseChainringData();
    // Fills both ring combos with the rings of `model`'s table.
    void powermeterTypeClicked(QString model);
    // Works out the new slope from the two rings chosen.
    void chainringClicked(int index);
    void acceptClicked();
    void cancelClicked();
    void helpClicked() override;

protected:
    void pageShown() override;

private:
    // The chainring code of a register's make and model bytes ("A3"; "00" for no ring).
    static QString chainringCode(int make, int model);
    // The name the data file gives a code; empty when it has none.
    QString chainringName(int make, int model) const;
    // The factor of combo entry `entry` (table row entry - 1) of the current model; 0 when none, NaN
    // when the data file gives it no usable one.
    float factor(int entry) const;
    // The rings chosen give no slope: nothing to accept, and a box says `why`.
    void refuseSlope(const QString& why);
    // The entry "Z-Mesh <teeth>T" of `combo`, or -1.
    static int teethEntry(class QComboBox* combo, int teeth);

    std::unique_ptr<Ui_tables> ui;
    std::array<std::int32_t, 6> userRings{};
    std::array<std::int32_t, 6> factoryRings{};
    QMap<QString, QList<QString>> ringNames;
    QMap<QString, QList<QString>> ringCodes;
    QMap<QString, QList<float>> ringFactors;
    QMap<QString, QVariant> chainringNames;
    QString currentModel;
    float userSlope;
    float factorySlope;
    float newSlope;
    float percent = 0.0f;
    // The slope that goes with the ring "Accept" wrote, handed over once the meter has the ring.
    float ringSlope = 0.0f;
    vant::device::PowerMeterModel meterModel;
    QMetaObject::Connection modelConnection;
    QMetaObject::Connection currentRingConnection;
};
