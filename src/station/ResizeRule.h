#pragma once

// Keeps the working area centred in the window and the banner under its right edge. Works on the
// window's outer size in twips, in single precision, as the window has always done; nothing
// guards small sizes (the places then go negative).
struct CentredPlaces {
    float mainLeft;
    float mainTop;
    float bannerLeft;
    float bannerTop;
};

inline constexpr float mainWidthTwips = 12465.0F;
inline constexpr float mainHeightTwips = 10155.0F;
inline constexpr float bannerWidthTwips = 12075.0F;

constexpr CentredPlaces centredPlaces(float outerWidth, float outerHeight) {
    CentredPlaces p{};
    p.mainLeft = outerWidth / 2.0F - mainWidthTwips / 2.0F;
    p.mainTop = outerHeight / 2.0F - mainHeightTwips / 2.0F;
    p.bannerTop = mainHeightTwips + p.mainTop + 200.0F;
    p.bannerLeft = mainWidthTwips + p.mainLeft - bannerWidthTwips;
    return p;
}
