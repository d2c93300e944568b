#include "mixer/InputMeterDesign.h"

void applyInputMeterDesign(LevelMeter& m) {
    m.resize(25, 281);
    m.setBackGroundColor(clBlack);
    m.setlevelMin(-50);
    m.setlevelHigh(-10);
    m.setlevelMed(-20);
    m.setcolorHigh(0xFFFF80);
    m.setcolorMed(clBlue);
    m.setcolorLow(clBlue);
    m.setstereo(false);
}

LevelMeter* createInputMeter(QWidget* parent) {
    auto* meter = new LevelMeter(parent);
    applyInputMeterDesign(*meter);
    return meter;
}
