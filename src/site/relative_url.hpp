#pragma once

// The relative URLs between a site's files. A file's URL from the site's
// root is its path's parts, each percent-encoded on its own, joined by '/';
// a folder's is the same without a file. Encoding keeps names apart, so
// parts are compared in their encoded form.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace brelim::site {

// Appends the URL of the file at `place` (its URL from the root) as a page in
// the folder `here` (its URL from the root, "" for the root) links it: up out
// of the folders they do not share, then down to the file.
inline void append_relative_url(std::string& out, std::string_view here, std::string_view place) {
    std::size_t h = 0;  // the next part of `here` not shared
    std::size_t p = 0;  // the next part of `place`
    while (h < here.size()) {
        const std::size_t here_end = std::min(here.find('/', h), here.size());
        const std::size_t place_end = place.find('/', p);
        if (place_end == std::string_view::npos) break;  // the file itself is never a shared folder
        if (here.substr(h, here_end - h) != place.substr(p, place_end - p)) break;
        h = here_end + 1;
        p = place_end + 1;
    }
    if (h < here.size()) {
        for (std::size_t at = h; at != std::string_view::npos; at = here.find('/', at + 1)) out += "../";
    }
    out += place.substr(p);
}

// The folder of the file at `place`, both as URLs from the root.
inline std::string_view folder_of(std::string_view place) {
    const std::size_t slash = place.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : place.substr(0, slash);
}

}  // namespace brelim::site
