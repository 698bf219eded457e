// The three renderings of the output document.
//
// JSON is the machine contract: every text as its key with placeholders filled,
// numbers at full precision (shortest round-trip form), system-missing as null;
// only a cell's "text" is a display form, the one the plain-text report shows.
// The plain-text report lays every table out as an aligned grid for a terminal;
// the HTML report is one self-contained page with an outline of the headings
// and tables.  Both show the display catalogue's English for each key, and the
// HTML writer escapes every text.
#pragma once

#include <string>
#include <string_view>

#include "host/catalogue.h"
#include "host/output.h"

namespace mixed::host {

std::string write_json(const Output& output, std::string_view version);
std::string write_text(const Output& output, const Catalogue& catalogue);
std::string write_html(const Output& output, const Catalogue& catalogue, std::string_view title);

}  // namespace mixed::host
