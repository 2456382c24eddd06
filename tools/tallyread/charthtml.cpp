#include "charthtml.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "chartassets.h"
#include "commands.h"

namespace tallyread {

namespace {

void appendPoints(const std::vector<ChartPoint>& points, bool floatPattern, std::string* out) {
  *out += "{\"t\":[";
  long long previous = 0;
  for (size_t i = 0; i < points.size(); i++) {
    long long ms = std::llround(points[i].time * 1000);
    *out += (i ? "," : "") + std::to_string(ms - previous);
    previous = ms;
  }
  *out += "],\"v\":[";
  for (size_t i = 0; i < points.size(); i++)
    *out += (i ? "," : "") + (floatPattern ? formatFloat(points[i].value) : formatNumber(points[i].value));
  *out += "]}";
}

// Text inside a script element must not close it: every '<' of the JSON
// (they can only be inside strings) is written as an escape.
std::string scriptSafe(const std::string& json) {
  std::string out;
  out.reserve(json.size());
  for (char c : json) {
    if (c == '<') out += "\\u003c";
    else out += c;
  }
  return out;
}

}  // namespace

std::vector<const ChartSeries*> drawnSeries(const std::vector<ChartPanel>& panels) {
  std::vector<const ChartSeries*> drawn;
  std::set<const ChartSeries*> seen;
  for (const ChartPanel& panel : panels)
    for (const ChartSeries* s : panel.series)
      if (seen.insert(s).second) drawn.push_back(s);
  return drawn;
}

std::string chartDataJson(const ChartPage& page) {
  std::string out = "{\"title\":" + jsonString(page.title) + ",\"files\":[";
  for (size_t i = 0; i < page.files.size(); i++) out += (i ? "," : "") + jsonString(page.files[i]);
  out += "],\"series\":[";
  std::map<const ChartSeries*, size_t> index;
  size_t n = 0;
  for (const ChartSeries* drawn : drawnSeries(page.panels)) {
    const ChartSeries& s = *drawn;
    index[drawn] = n;
    out += n++ ? ",{" : "{";
    out += "\"type\":" + jsonString(s.type) + ",\"instance\":" + jsonString(s.instance) +
           ",\"label\":" + jsonString(s.label) + ",\"field\":" + jsonString(s.field) +
           ",\"unit\":" + jsonString(s.unit) + ",\"runningTotal\":" + (s.runningTotal ? "true" : "false") +
           ",\"sum\":" + (s.sum ? "true" : "false") + ",\"raw\":";
    // A total keeps the summed rates only.
    if (s.sum && s.runningTotal) out += "null";
    else appendPoints(s.raw.points(page.columns), s.floatPattern, &out);
    out += ",\"rate\":";
    if (s.runningTotal) appendPoints(s.rate.points(page.columns), false, &out);
    else out += "null";
    out += "}";
  }
  out += "],\"panels\":[";
  for (size_t p = 0; p < page.panels.size(); p++) {
    out += (p ? "," : "") + std::string("{\"title\":") + jsonString(page.panels[p].title) + ",\"series\":[";
    for (size_t i = 0; i < page.panels[p].series.size(); i++)
      out += (i ? "," : "") + std::to_string(index.at(page.panels[p].series[i]));
    out += "]}";
  }
  return out + "]}";
}

std::string chartPageHtml(const ChartPage& page) {
  std::string title = page.title;
  std::string escaped;
  for (char c : title) {
    if (c == '<') escaped += "&lt;";
    else if (c == '&') escaped += "&amp;";
    else escaped += c;
  }
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
  html += escaped;
  html += "</title>\n<style>\n";
  html += CHART_UPLOT_CSS;
  html += "\n";
  html += CHART_PAGE_CSS;
  html += "</style>\n</head>\n<body>\n<script type=\"application/json\" id=\"tally-data\">";
  html += scriptSafe(chartDataJson(page));
  html += "</script>\n<script>\n";
  html += CHART_UPLOT_JS;
  html += "\n</script>\n<script>\n";
  html += CHART_PAGE_JS;
  html += "\n</script>\n</body>\n</html>\n";
  return html;
}

bool writeChartPage(const std::string& path, const ChartPage& page, std::string* error) {
  std::string html = chartPageHtml(page);
  std::string temporary = path + ".part";
  FILE* f = fopen(temporary.c_str(), "w");
  if (!f) {
    *error = "cannot create " + temporary + ": " + strerror(errno);
    return false;
  }
  bool written = fwrite(html.data(), 1, html.size(), f) == html.size();
  int writeErrno = errno;
  if (fclose(f) != 0 && written) {
    written = false;
    writeErrno = errno;
  }
  if (!written) {
    remove(temporary.c_str());
    *error = "cannot write " + temporary + ": " + strerror(writeErrno);
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot rename " + temporary + " to " + path + ": " + strerror(errno);
    remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace tallyread
