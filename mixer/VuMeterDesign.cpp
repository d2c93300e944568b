#include "mixer/VuMeterDesign.h"

void ApplyVuMeterLeftDesign(TFBVUMeter& m) {
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

TFBVUMeter* CreateVuMeterLeft(QWidget* parent) {
    auto* meter = new TFBVUMeter(parent);
    ApplyVuMeterLeftDesign(*meter);
    return meter;
}
