#include "mixer/InputMeterDesign.h"

void ApplyInputMeterDesign(LevelMeter& m) {
    m.resize(25, 281);
    m.SetBackGroundColor(clBlack);
    m.SetlevelMin(-50);
    m.SetlevelHigh(-10);
    m.SetlevelMed(-20);
    m.SetcolorHigh(0xFFFF80);
    m.SetcolorMed(clBlue);
    m.SetcolorLow(clBlue);
    m.Setstereo(false);
}

LevelMeter* CreateInputMeter(QWidget* parent) {
    auto* meter = new LevelMeter(parent);
    ApplyInputMeterDesign(*meter);
    return meter;
}
