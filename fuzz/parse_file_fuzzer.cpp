// Feeds arbitrary bytes to parse_file as a whole document and checks the
// fragment, then checks that the ways of writing a document that must not
// matter (line endings, a final line feed, lines that write nothing) indeed
// change nothing, and that a site's page, its anchors shown as it is
// written, writes the same fragment and shows the anchors that the walk
// which only measures finds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/anchors.hpp"
#include "convert/parse_file.hpp"
#include "fragment_invariants.hpp"
#include "site/pointed_page.hpp"

using brelim::parse_file;
using brelim::fuzz::check_fragment;
using brelim::fuzz::require;

namespace {

std::string with_crlf(std::string_view document) {
    std::string out;
    out.reserve(document.size() * 2);
    for (const char c : document) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

// Lines that are not headlines of level 1 to 3, in each kind that writes
// nothing and keeps the depth.
constexpr std::string_view silent_lines = "**** four\nprose\n\n* not!\n***** five\n";

// Each anchor shown, as text: where its line and HTML are, its target and hrefs.
struct Anchors final : brelim::AnchorSink {
    std::string seen;
    bool headline(const brelim::HeadlineAnchor& a) override {
        seen += std::to_string(a.line_begin) + ' ' + std::to_string(a.column) + ' ' + std::to_string(a.html_begin) +
                ' ' + std::to_string(a.html_end) + ' ' + std::to_string(a.href_size) + ' ';
        seen += a.target;
        for (const std::size_t at : *a.hrefs) seen += ' ' + std::to_string(at);
        seen += '\n';
        return true;
    }
};

// Every anchor dead: the page keeps every href.
struct Nowhere final : brelim::site::Destinations {
    bool find(const brelim::HeadlineAnchor&, brelim::site::Destination& to) override {
        to = {};
        return true;
    }
};

void check_written_anchors(std::string_view document, const std::string& fragment) {
    Anchors measured, written;
    const std::size_t count = brelim::for_each_anchor(document, measured);
    brelim::OutputBuffer out;
    require(brelim::write_with_anchors(document, out, written) == count, "the written walk counted otherwise",
            document);
    require(out.view() == fragment, "the written walk wrote another fragment", document);
    require(written.seen == measured.seen, "the written walk showed other anchors", document);
    Nowhere nowhere;
    brelim::site::PointedPage page;
    brelim::site::point_page(document, {}, nowhere, page);
    require(page.body.view() == fragment, "a page with every anchor dead changed the fragment", document);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    const std::string fragment = parse_file(document);
    check_fragment(fragment);
    check_written_anchors(document, fragment);

    // A carriage return of the document could join a line feed added below.
    if (document.find('\r') != std::string_view::npos) return 0;

    require(parse_file(with_crlf(document)) == fragment, "CRLF line endings changed the fragment", document);
    require(parse_file(std::string(document) + '\n') == fragment, "a final line feed changed the fragment", document);

    std::string inserted(silent_lines);
    inserted += document;
    require(parse_file(inserted) == fragment, "lines before the document changed the fragment", document);

    const std::size_t feed = document.find('\n');
    if (feed != std::string_view::npos) {
        inserted.assign(document.substr(0, feed + 1));
        inserted += silent_lines;
        inserted += document.substr(feed + 1);
        require(parse_file(inserted) == fragment, "lines after the first line changed the fragment", document);
    }
    return 0;
}
