#include "mixer/MixerSliders.h"

namespace mixer_sliders {

void applyDesign(GradientSlider& s, int max) {
    s.resize(kWidth, kHeight);
    s.setBackColor(clBlack);
    s.setTickColor(clGray);
    s.setDisabledTickColor(clSilver);
    s.setSlideBorderColor(0x2A2A2A);
    s.setSlideFaceColor(0x535353);
    s.setSlideGradColor(clBlack);
    s.setDisabledSlideBorderColor(0xBEBEBE);
    s.setDisabledSlideFaceColor(0xD8D8D8);
    s.setDisabledSlideGradColor(0xE8E8E8);
    s.setDisabledThumbBorderColor(0xB5B5B5);
    s.setDisabledThumbFaceColor(0xEAEAEA);
    s.setDisabledThumbGradColor(0xCFCFCF);
    s.setThumbBorderColor(0x2A2A2A);
    s.setThumbFaceColor(0x535353);
    s.setThumbGradColor(clBlack);
    s.setOverThumbBorderColor(0x2A2A2A);
    s.setOverThumbFaceColor(clSilver);
    s.setOverThumbGradColor(clBlack);
    s.setDownThumbBorderColor(0x2A2A2A);
    s.setDownThumbFaceColor(clSilver);
    s.setDownThumbGradColor(clBlack);
    s.setSmoothCorners(true);
    s.setColorScheme(GradientSlider::csCustom);
    s.setPosition(0);
    s.setMinimum(0);
    s.setMaximum(max);
    s.setFrequency(1);
    s.setTickStyle(GradientSlider::tsNone);
    s.setTickMarks(GradientSlider::tmBottomRight);
    s.setOrientation(GradientSlider::trVertical);
}

GradientSlider* create(QWidget* parent, int max) {
    auto* slider = new GradientSlider(parent);
    applyDesign(*slider, max);
    return slider;
}

} // namespace mixer_sliders
