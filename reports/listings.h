// The site listings for the IRC bot: the trial listing and count, the quota
// count, and the exempt and passed listings. Reads only.
#pragma once

#include <string>

#include "reports/report_sources.h"

namespace quarvel {

// `clean_line` is the command line with braces, quotes and slashes already
// removed; words 2 to 4 ("info", "trial"/"quota", what) choose the listing.
// Any other combination prints nothing.
void runListing(const ReportSources& sources, const std::string& clean_line);

}  // namespace quarvel
