#include "mixer/GradientSliderSchemes.h"

#include <array>

namespace {

using T = GradientSlider;

// Rows: colour index; columns: Desert, Grass, Silver, Sky, Rose, Sun.
struct SchemeRow {
    int index;
    std::array<StoredColour, 6> values;
};

constexpr std::array<SchemeRow, 13> kSchemeRows{{
    {T::ciTickColor, {0x006A9D, 0x1D9A4B, 0x888888, 0xC88D2D, 0x5B5BFF, 0x00A4A4}},
    {T::ciSlideBorderColor, {0x0082BF, 0x20A452, 0x727272, 0xF47A00, 0x4242FF, 0x0077AA}},
    {T::ciSlideFaceColor, {0x28B9FF, 0x3ED978, 0xC0C0C0, 0xFFBA75, 0x8282FF, 0x1AD9FB}},
    {T::ciSlideGradColor, {0xBBE9FF, 0xC1F4D6, 0xEAEAEA, 0xFFE9D2, 0xC6DBFF, 0xDAFAFE}},
    {T::ciThumbBorderColor, {0x005B88, 0x126732, 0x616161, 0xC66300, 0x0000D7, 0x004F84}},
    {T::ciThumbFaceColor, {0x8CDAFF, 0x82E8AA, 0xE1E1E1, 0xFFD9B3, 0x9DC2FF, 0xC6FFFF}},
    {T::ciThumbGradColor, {0x0093D9, 0x21AB55, 0xA3A3A3, 0xFF9224, 0x6666FF, 0x00B8E6}},
    {T::ciOverThumbBorderColor, {0x005680, 0x156F37, 0x747474, 0xB35900, 0x0000D7, 0x004F84}},
    {T::ciOverThumbFaceColor, {0x5ECBFF, 0x7CE7A7, 0xD1D1D1, 0xFFCF9F, 0x8CB8FF, 0x6AFFFF}},
    {T::ciOverThumbGradColor, {0x007BB7, 0x1E954A, 0x959595, 0xF97C00, 0x5151FF, 0x009CC4}},
    {T::ciDownThumbBorderColor, {0x005680, 0x156F37, 0x747474, 0xB35900, 0x0000D7, 0x004F84}},
    {T::ciDownThumbFaceColor, {0x0083C1, 0x20A251, 0x999999, 0xFF8C1A, 0x6666FF, 0x00B8E6}},
    {T::ciDownThumbGradColor, {0x1AB5FF, 0x5EE193, 0xC1C1C1, 0xFFBF80, 0x8CB8FF, 0x91E9FF}},
}};

constexpr std::array<std::pair<int, StoredColour>, 8> kSharedColors{{
    {T::ciBackColor, clBtnFace},
    {T::ciDisabledTickColor, 0xC0C0C0},
    {T::ciDisabledSlideBorderColor, 0xBEBEBE},
    {T::ciDisabledSlideFaceColor, 0xD8D8D8},
    {T::ciDisabledSlideGradColor, 0xE8E8E8},
    {T::ciDisabledThumbBorderColor, 0xB5B5B5},
    {T::ciDisabledThumbFaceColor, 0xEAEAEA},
    {T::ciDisabledThumbGradColor, 0xCFCFCF},
}};

} // namespace

std::vector<std::pair<int, StoredColour>> schemeColors(GradientSlider::ColourScheme scheme) {
    std::vector<std::pair<int, StoredColour>> out;
    if (scheme <= T::csCustom || scheme > T::csSun)
        return out;
    out.assign(kSharedColors.begin(), kSharedColors.end());
    for (const auto& row : kSchemeRows)
        out.emplace_back(row.index, row.values[scheme - T::csDesert]);
    return out;
}
