#pragma once

// A note's page in a site: its fragment with each anchor's href pointed where
// the site resolves the anchor, and its headlines gathered for the pages that
// list them (the tag page of each hashtag they carry, and the backlinks of
// each page they link to), each rendered as the note's page renders it. Only
// hrefs change: every other byte is the fragment's. Where an anchor leads is
// the caller's to say.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../convert/anchors.hpp"
#include "../render/output_buffer.hpp"

namespace brelim::site {

inline constexpr long no_page = -1;

// Where an anchor leads. Its views stay valid until the next `find`.
struct Destination {
    enum class Kind { dead, external, file };
    Kind kind = Kind::dead;      // dead: the anchor keeps the fragment's href
    std::string_view url;        // external: the href as it is written; file: its URL from the site's root
    std::string_view from_tags;  // a file's URL from the tag pages' folder
    long page = no_page;         // the note whose page the file is, if it is one
    std::string_view there;      // that page's own URL for the file, from the page's folder
};

class Destinations {
public:
    // Says where the anchor leads; false stops the page.
    virtual bool find(const HeadlineAnchor& anchor, Destination& to) = 0;

protected:
    ~Destinations() = default;
};

// The note whose page is made. URLs are from the site's root.
struct NotePlace {
    std::string_view folder;  // "" at the root
    std::string_view page;
    long number = 0;
    std::string_view from_tags;  // the page's URL from the tag pages' folder
    std::string_view title;      // as HTML
};

// The note's headlines shown on a tag page or as backlinks of a page: a
// heading that links to the note, then a list item for each headline. Its
// pieces lie in the page's `pieces`, each headline's item once however many
// groups list it.
struct Group {
    std::size_t heading = 0;          // the heading's piece
    std::size_t count = 0;            // its headlines
    std::size_t first = 0, last = 0;  // its first and last entry in `listed`, when it has a headline
};

struct PointedPage {
    OutputBuffer body;                                // the fragment, its hrefs pointed
    std::vector<std::pair<std::string, Group>> tags;  // by the hashtag's word in lower case, in first use
    std::vector<std::pair<long, Group>> links;        // by the page linked to, in first link

    std::string text;  // the groups' headings and items, one after the other
    struct Piece {
        std::size_t begin, size;
        std::size_t line_begin = 0;  // an item's: where its headline's line begins in the document
    };
    std::vector<Piece> pieces;
    struct Listed {
        std::size_t item;  // the item's piece
        std::size_t next;  // the group's next entry, or none
    };
    std::vector<Listed> listed;

    // Appends the group's HTML to `html`.
    void append_group(const Group& group, std::string& html) const;

    // The bytes of every group's HTML together: what the note adds to the
    // pages that list its headlines. A headline with many hashtags is
    // copied into as many groups, so this can grow with the square of a
    // line's length.
    std::size_t groups_size() const noexcept;

    // The headline whose copies, in all the groups that list it, take the
    // most bytes: where its line begins, and how many groups list it; zeros
    // when no group lists one.
    struct Heaviest {
        std::size_t line_begin = 0, copies = 0;
    };
    Heaviest heaviest() const;
};

// Makes `out` the page of `document`, the note at `note`. Returns the
// fragment's headline count, or `stopped` when `destinations` stopped it.
std::size_t point_page(std::string_view document, const NotePlace& note, Destinations& destinations, PointedPage& out);

}  // namespace brelim::site
