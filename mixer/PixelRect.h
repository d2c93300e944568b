#pragma once

// A rectangle with exclusive right and bottom edges, as the controls' geometry
// rules use them.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const PixelRect&) const = default;
};
