#pragma once
// The service's HTML pages, rendered from stored data. Everything that came
// from a report passes through Escape before it reaches the page.
#include <string>

#include "Crowd.h"
#include "Html.h"
#include "Store.h"

namespace tidora::server {

// Available memory before and after as two bars of in-use and available
// memory, as inline SVG; empty when the total is unknown.
std::string MemoryChart(int64_t availBefore, int64_t availAfter, int64_t total, Lang lang);

// Reports per week as small bars, oldest first; the last bar is this week.
std::string WeeklyChart(const std::vector<int64_t>& weekly, Lang lang);

std::string RenderReport(const StoredReport& stored, const ReportFigures& figures, Lang lang);
std::string RenderEntry(const std::string& source, const std::string& name,
                        const EntryFigures& figures, Lang lang);
std::string RenderHome(Lang lang);
std::string RenderNotFound(Lang lang);

}  // namespace tidora::server
