#pragma once

#include "search/SearchRequest.h"

#include <optional>
#include <string>

// Which row commands of the results list's context menu make sense for the
// rows a method yields. The separators always stay.
struct MenuVisibility {
    bool sources = false;
    bool similarTracks = false;
    bool similarArtists = false;
};

// The visibility for a method; none for a method the service does not know
// (the menu is then left as it was).
inline std::optional<MenuVisibility> menuVisibilityFor(const std::string& method) {
    if (method == methods::kTrackSearch || method == methods::kTrackGetSimilar)
        return MenuVisibility{true, true, true};
    if (method == methods::kTagGetTopArtists || method == methods::kArtistGetSimilar)
        return MenuVisibility{false, false, true};
    if (method == methods::kYoutubeSources)
        return MenuVisibility{false, false, false};
    return std::nullopt;
}
