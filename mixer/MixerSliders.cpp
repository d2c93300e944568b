#include "mixer/MixerSliders.h"

namespace mixer_sliders {

void ApplyDesign(GradientSlider& s, int max) {
    s.resize(kWidth, kHeight);
    s.SetBackColor(clBlack);
    s.SetTickColor(clGray);
    s.SetDisabledTickColor(clSilver);
    s.SetSlideBorderColor(0x2A2A2A);
    s.SetSlideFaceColor(0x535353);
    s.SetSlideGradColor(clBlack);
    s.SetDisabledSlideBorderColor(0xBEBEBE);
    s.SetDisabledSlideFaceColor(0xD8D8D8);
    s.SetDisabledSlideGradColor(0xE8E8E8);
    s.SetDisabledThumbBorderColor(0xB5B5B5);
    s.SetDisabledThumbFaceColor(0xEAEAEA);
    s.SetDisabledThumbGradColor(0xCFCFCF);
    s.SetThumbBorderColor(0x2A2A2A);
    s.SetThumbFaceColor(0x535353);
    s.SetThumbGradColor(clBlack);
    s.SetOverThumbBorderColor(0x2A2A2A);
    s.SetOverThumbFaceColor(clSilver);
    s.SetOverThumbGradColor(clBlack);
    s.SetDownThumbBorderColor(0x2A2A2A);
    s.SetDownThumbFaceColor(clSilver);
    s.SetDownThumbGradColor(clBlack);
    s.SetSmoothCorners(true);
    s.SetColorScheme(GradientSlider::csCustom);
    s.SetPosition(0);
    s.SetMin(0);
    s.SetMax(max);
    s.SetFrequency(1);
    s.SetTickStyle(GradientSlider::tsNone);
    s.SetTickMarks(GradientSlider::tmBottomRight);
    s.SetOrientation(GradientSlider::trVertical);
}

GradientSlider* Create(QWidget* parent, int max) {
    auto* slider = new GradientSlider(parent);
    ApplyDesign(*slider, max);
    return slider;
}

} // namespace mixer_sliders
