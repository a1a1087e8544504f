#include "TimelinePage.h"

#include "RecordDecoder.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

namespace {

using Kind = TimelineEvent::Kind;
using Role = TimelineEvent::Role;

// The chart's geometry in SVG units; the page scales it to its width.
constexpr double CHART_WIDTH = 1000;
constexpr double PLOT_LEFT = 110;     // right of the lane labels
constexpr double PLOT_WIDTH = 860;    // from the first event to the last
constexpr double PLOT_RIGHT_PAD = 30;
constexpr double CHART_TOP = 8;
constexpr double LANE_HEIGHT = 56;
constexpr double LANE_GAP = 6;
constexpr double AXIS_HEIGHT = 46;
constexpr double ROLE_INSET = 4;        // of a role period inside its lane
constexpr double ROLE_LABEL_WIDTH = 56; // a period narrower than this goes unlabelled
constexpr double MARKER_DROP = 6;       // markers sit below the lane's middle, clear of role labels
// Markers closer than this are pushed apart along their lane, so that each
// stays visible and hoverable among many events in a short time.
constexpr double MIN_MARKER_GAP = 12;
// A shorter timeline (one event, events in the same second) is widened to
// this many seconds around its middle, so its axis has labels.
constexpr int64_t MIN_SPAN = 60;
constexpr int64_t MAX_TICKS = 8;  // labels on the time axis
// Tick steps in seconds, round numbers of their unit.
constexpr int64_t MINUTE = 60, HOUR = 3600, DAY = 86400;
constexpr int64_t TICK_STEPS[] = {1, 2, 5, 10, 15, 30, MINUTE, 2 * MINUTE, 5 * MINUTE, 10 * MINUTE,
                                  15 * MINUTE, 30 * MINUTE, HOUR, 2 * HOUR, 3 * HOUR, 6 * HOUR, 12 * HOUR,
                                  DAY, 2 * DAY, 7 * DAY, 14 * DAY, 28 * DAY, 91 * DAY, 365 * DAY,
                                  5 * 365 * DAY, 10 * 365 * DAY, 20 * 365 * DAY, 50 * 365 * DAY};

// How each kind looks, on the chart, in the legend and in the table: a
// shape (the outline's corners around the centre, or a circle) and a colour
// that tell the kinds apart in print without colour too.
struct Point {
    double dx, dy;
};
struct KindLook {
    const char* name;
    const char* colour;
    std::vector<Point> corners;  // none: a circle
};
const KindLook& lookOf(Kind kind)
{
    static const KindLook looks[] = {
        {"boot", "#0072B2", {{-5.5, -5.5}, {5.5, -5.5}, {5.5, 5.5}, {-5.5, 5.5}}},
        {"role change", "#009E73", {{0, -7.5}, {7.5, 0}, {0, 7.5}, {-7.5, 0}}},
        {"daemon death", "#D55E00", {}},
        {"daemon restart", "#56B4E9", {{0, -7}, {6.5, 5}, {-6.5, 5}}},
        {"reboot asked", "#CC79A7", {{0, 7}, {6.5, -5}, {-6.5, -5}}},
        {"error log record", "#E69F00",
         {{-2.2, -7}, {2.2, -7}, {2.2, -2.2}, {7, -2.2}, {7, 2.2}, {2.2, 2.2}, {2.2, 7}, {-2.2, 7},
          {-2.2, 2.2}, {-7, 2.2}, {-7, -2.2}, {-2.2, -2.2}}},
        {"down log", "#444444", {{-6.5, 0}, {-3.3, -6}, {3.3, -6}, {6.5, 0}, {3.3, 6}, {-3.3, 6}}},
        {"start-up record", "#F0E442", {{0, -7}, {6.7, -2.2}, {4.1, 5.7}, {-4.1, 5.7}, {-6.7, -2.2}}},
    };
    return looks[static_cast<int>(kind)];
}
constexpr Kind ALL_KINDS[] = {Kind::Boot, Kind::RoleChange, Kind::DaemonDeath, Kind::DaemonRestart,
                              Kind::RebootAsked, Kind::ErrorRecord, Kind::DownLog, Kind::StartupRecord};
constexpr double MARKER_RADIUS = 6;

const char* const STYLE = R"(
body{font:14px/1.4 "DejaVu Sans",Arial,sans-serif;color:#1a1a1a;background:#fff;margin:24px auto;max-width:1400px;padding:0 16px}
h1{font-size:22px;margin:0 0 4px}
.summary{color:#444;margin:0 0 16px}
svg.chart{width:100%;height:auto;display:block}
.lane{fill:#f7f7f7;stroke:#d0d0d0}
.lane-label{font-size:14px;font-weight:bold;fill:#1a1a1a}
.role.active{fill:#cdebd6}
.role.standby{fill:#dde1ea}
.role-label{font-size:11px;fill:#3c3c3c;font-style:italic}
.grid{stroke:#b8b8b8;stroke-dasharray:2 3}
.axis{stroke:#555}
.tick{font-size:11px;fill:#333;text-anchor:middle}
.tick-date{font-size:10px;fill:#666;text-anchor:middle}
.marker{stroke:#1a1a1a;stroke-width:1}
.event{cursor:help}
.event:hover .marker{stroke-width:2.5}
.legend{list-style:none;padding:0;margin:8px 0 20px;display:flex;flex-wrap:wrap;gap:6px 18px;font-size:13px}
.legend li{display:flex;align-items:center;gap:6px}
.swatch{display:inline-block;width:22px;height:12px;border:1px solid #999}
.swatch.active{background:#cdebd6}
.swatch.standby{background:#dde1ea}
table{border-collapse:collapse;width:100%;font-size:13px}
th,td{border-bottom:1px solid #ddd;padding:4px 8px;text-align:left;vertical-align:top}
th{background:#f0f0f0}
td.time,td.board{white-space:nowrap;font-variant-numeric:tabular-nums}
td.kind{white-space:nowrap}
td.kind svg{vertical-align:middle;margin-right:4px}
td.text,td.meaning{white-space:pre-line;overflow-wrap:anywhere}
@media print{
@page{size:A4 landscape;margin:12mm}
body{margin:0;max-width:none;font-size:11px}
*{-webkit-print-color-adjust:exact;print-color-adjust:exact}
.summary .hover{display:none}
table{font-size:10px}
tr{break-inside:avoid}
thead{display:table-header-group}
}
)";

std::string number(double value)
{
    char text[32];
    snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// An event's text as HTML text: markup characters (a daemon's name comes
// from a file) as entities, line feeds kept. The text is escaped already;
// a byte that is not printable ASCII all the same is shown as \xNN too.
std::string html(const std::string& raw)
{
    std::string text;
    for (unsigned char c : raw) {
        switch (c) {
        case '<': text += "&lt;"; break;
        case '>': text += "&gt;"; break;
        case '&': text += "&amp;"; break;
        case '"': text += "&quot;"; break;
        case '\'': text += "&#39;"; break;
        case '\n': text += '\n'; break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                text += static_cast<char>(c);
            } else {
                char escaped[8];
                snprintf(escaped, sizeof escaped, "\\x%02X", c);
                text += escaped;
            }
        }
    }
    return text;
}

std::string boardName(int board)
{
    return board == 0 || board == 1 ? "MMB " + std::to_string(board) : "no board";
}

std::string timeOf(int64_t seconds)
{
    return utcText(static_cast<uint32_t>(seconds));
}

std::string markerShape(Kind kind, double x, double y)
{
    const KindLook& look = lookOf(kind);
    std::string fill = std::string(" fill=\"") + look.colour + "\"/>";
    if (look.corners.empty())
        return "<circle class=\"marker\" cx=\"" + number(x) + "\" cy=\"" + number(y) + "\" r=\"" +
               number(MARKER_RADIUS) + "\"" + fill;
    std::string points;
    for (const Point& corner : look.corners)
        points += (points.empty() ? "" : " ") + number(x + corner.dx) + "," + number(y + corner.dy);
    return "<polygon class=\"marker\" points=\"" + points + "\"" + fill;
}

// The kind's marker alone, for the legend and the table.
std::string kindIcon(Kind kind)
{
    return "<svg width=\"18\" height=\"18\" viewBox=\"-9 -9 18 18\" aria-hidden=\"true\">" +
           markerShape(kind, 0, 0) + "</svg>";
}

bool startsRole(const TimelineEvent& event)
{
    return event.kind == Kind::Boot || event.kind == Kind::RoleChange;
}

int laneBoard(int board)
{
    return board == 0 || board == 1 ? board : -1;
}

int64_t tickStep(int64_t span)
{
    for (int64_t step : TICK_STEPS)
        if (span / step <= MAX_TICKS)
            return step;
    return TICK_STEPS[std::size(TICK_STEPS) - 1];
}

void put(std::FILE* out, const std::string& text)
{
    std::fputs(text.c_str(), out);
}

} // namespace

TimelinePage::TimelinePage(const std::vector<TimelineEvent>& events) : events_(events), width_(CHART_WIDTH)
{
    if (events.empty())
        return;
    start_ = events.front().seconds;
    end_ = events.back().seconds;
    if (end_ - start_ < MIN_SPAN) {
        start_ -= (MIN_SPAN - (end_ - start_)) / 2;
        end_ = start_ + MIN_SPAN;
    }
    bool noBoard = std::any_of(events.begin(), events.end(),
                               [](const TimelineEvent& event) { return laneBoard(event.board) < 0; });
    for (int board : {0, 1, -1})
        if (board >= 0 || noBoard)
            lanes_.push_back({board, CHART_TOP + static_cast<double>(lanes_.size()) * (LANE_HEIGHT + LANE_GAP)});
    placeMarkers();
}

double TimelinePage::timeX(int64_t seconds) const
{
    return PLOT_LEFT + static_cast<double>(seconds - start_) * PLOT_WIDTH / static_cast<double>(end_ - start_);
}

const TimelinePage::Lane& TimelinePage::laneOf(const TimelineEvent& event) const
{
    int board = laneBoard(event.board);
    return *std::find_if(lanes_.begin(), lanes_.end(), [board](const Lane& lane) { return lane.board == board; });
}

void TimelinePage::placeMarkers()
{
    std::vector<double> lastX(lanes_.size(), -MIN_MARKER_GAP);
    for (const TimelineEvent& event : events_) {
        double& last = lastX[&laneOf(event) - lanes_.data()];
        last = std::max(timeX(event.seconds), last + MIN_MARKER_GAP);
        markerX_.push_back(last);
        width_ = std::max(width_, last + PLOT_RIGHT_PAD);
    }
}

bool TimelinePage::write(std::FILE* out) const
{
    writeHead(out);
    if (events_.empty()) {
        put(out, "<p class=\"summary\">No events: the files read hold nothing to put on a timeline.</p>\n");
    } else {
        writeChart(out);
        writeLegend(out);
        writeTable(out);
    }
    put(out, "</body>\n</html>\n");
    return std::fflush(out) == 0 && !std::ferror(out);
}

void TimelinePage::writeHead(std::FILE* out) const
{
    put(out, "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
             "<title>Timeline of the boards</title>\n<style>");
    put(out, STYLE);
    put(out, "</style>\n</head>\n<body>\n<h1>Timeline of the boards</h1>\n");
    if (events_.empty())
        return;
    put(out, "<p class=\"summary\">" + std::to_string(events_.size()) + " events from " +
                 timeOf(events_.front().seconds) + " to " + timeOf(events_.back().seconds) +
                 ". <span class=\"hover\">Point at a marker to see what it means. </span>"
                 "The table under the chart lists every event.</p>\n");
}

void TimelinePage::writeChart(std::FILE* out) const
{
    double height = CHART_TOP + static_cast<double>(lanes_.size()) * (LANE_HEIGHT + LANE_GAP) + AXIS_HEIGHT;
    put(out, "<svg class=\"chart\" viewBox=\"0 0 " + number(width_) + " " + number(height) + "\" role=\"img\" "
             "aria-label=\"The events on the boards' lanes along a time axis\">\n");
    writeLanes(out);
    writeRolePeriods(out);
    writeTimeAxis(out);
    writeMarkers(out);
    put(out, "</svg>\n");
}

void TimelinePage::writeLanes(std::FILE* out) const
{
    for (const Lane& lane : lanes_)
        put(out, "<rect class=\"lane\" x=\"0.0\" y=\"" + number(lane.top) + "\" width=\"" + number(width_) +
                     "\" height=\"" + number(LANE_HEIGHT) + "\"/><text class=\"lane-label\" x=\"12.0\" y=\"" +
                     number(lane.top + LANE_HEIGHT / 2 + 5) + "\">" + boardName(lane.board) + "</text>\n");
}

void TimelinePage::writeRolePeriods(std::FILE* out) const
{
    for (auto from = events_.begin(); from != events_.end(); ++from) {
        if (!startsRole(*from) || from->role == Role::Unknown || laneBoard(from->board) < 0)
            continue;
        auto next = std::find_if(from + 1, events_.end(), [from](const TimelineEvent& event) {
            return startsRole(event) && event.board == from->board;
        });
        writeRolePeriod(out, *from, next == events_.end() ? nullptr : &*next);
    }
}

void TimelinePage::writeRolePeriod(std::FILE* out, const TimelineEvent& from, const TimelineEvent* next) const
{
    int64_t until = next ? next->seconds : end_;
    const char* role = from.role == Role::Active ? "Active" : "Standby";
    const char* roleClass = from.role == Role::Active ? "active" : "standby";
    double left = timeX(from.seconds);
    double width = timeX(until) - left;
    double top = laneOf(from).top + ROLE_INSET;
    std::string endText = next ? " to " + timeOf(until) : " on";
    put(out, std::string("<rect class=\"role ") + roleClass + "\" x=\"" + number(left) + "\" y=\"" + number(top) +
                 "\" width=\"" + number(width) + "\" height=\"" + number(LANE_HEIGHT - 2 * ROLE_INSET) +
                 "\"><title>" + boardName(from.board) + " " + role + " from " + timeOf(from.seconds) +
                 endText + "</title></rect>\n");
    if (width >= ROLE_LABEL_WIDTH)
        put(out, "<text class=\"role-label\" x=\"" + number(left + 4) + "\" y=\"" + number(top + 12) + "\">" +
                     role + "</text>\n");
}

void TimelinePage::writeTimeAxis(std::FILE* out) const
{
    double axisY = CHART_TOP + static_cast<double>(lanes_.size()) * (LANE_HEIGHT + LANE_GAP);
    put(out, "<line class=\"axis\" x1=\"" + number(PLOT_LEFT) + "\" y1=\"" + number(axisY) + "\" x2=\"" +
                 number(PLOT_LEFT + PLOT_WIDTH) + "\" y2=\"" + number(axisY) + "\"/>\n");
    int64_t step = tickStep(end_ - start_);
    std::string lastDate;
    for (int64_t tick = std::max<int64_t>(0, (start_ + step - 1) / step * step); tick <= end_ && tick <= UINT32_MAX;
         tick += step) {
        double x = timeX(tick);
        std::string time = timeOf(tick);
        std::string date = time.substr(0, 10);
        std::string label = step >= DAY ? date : time.substr(11, step < MINUTE ? 8 : 5);
        put(out, "<line class=\"grid\" x1=\"" + number(x) + "\" y1=\"" + number(CHART_TOP) + "\" x2=\"" +
                     number(x) + "\" y2=\"" + number(axisY + 4) + "\"/><text class=\"tick\" x=\"" + number(x) +
                     "\" y=\"" + number(axisY + 17) + "\">" + label + "</text>\n");
        if (step < DAY && date != lastDate)
            put(out, "<text class=\"tick-date\" x=\"" + number(x) + "\" y=\"" + number(axisY + 31) + "\">" + date +
                         "</text>\n");
        lastDate = date;
    }
    put(out, "<text class=\"tick-date\" x=\"" + number(PLOT_LEFT - 50) + "\" y=\"" + number(axisY + 17) +
                 "\">UTC</text>\n");
}

void TimelinePage::writeMarkers(std::FILE* out) const
{
    for (std::size_t i = 0; i < events_.size(); ++i) {
        const TimelineEvent& event = events_[i];
        double y = laneOf(event).top + LANE_HEIGHT / 2 + MARKER_DROP;
        put(out, "<g class=\"event\"><title>#" + std::to_string(i + 1) + " " + timeOf(event.seconds) + ", " +
                     boardName(laneBoard(event.board)) + ": " + html(event.text) + "\n" + html(event.meaning) +
                     "</title>" + markerShape(event.kind, markerX_[i], y) + "</g>\n");
    }
}

void TimelinePage::writeLegend(std::FILE* out) const
{
    put(out, "<ul class=\"legend\">\n");
    for (Kind kind : ALL_KINDS)
        if (std::any_of(events_.begin(), events_.end(), [kind](const TimelineEvent& event) { return event.kind == kind; }))
            put(out, "<li>" + kindIcon(kind) + lookOf(kind).name + "</li>\n");
    put(out, "<li><span class=\"swatch active\"></span>Active</li>\n"
             "<li><span class=\"swatch standby\"></span>Standby</li>\n</ul>\n");
}

void TimelinePage::writeTable(std::FILE* out) const
{
    put(out, "<table class=\"events\">\n<thead><tr><th>#</th><th>Time (UTC)</th><th>Board</th><th>Event</th>"
             "<th>What happened</th><th>What it means</th></tr></thead>\n<tbody>\n");
    for (std::size_t i = 0; i < events_.size(); ++i) {
        const TimelineEvent& event = events_[i];
        put(out, "<tr><td>" + std::to_string(i + 1) + "</td><td class=\"time\">" +
                     timeOf(event.seconds).substr(0, 19) + "</td><td class=\"board\">" + boardName(laneBoard(event.board)) +
                     "</td><td class=\"kind\">" + kindIcon(event.kind) + lookOf(event.kind).name +
                     "</td><td class=\"text\">" + html(event.text) + "</td><td class=\"meaning\">" +
                     html(event.meaning) + "</td></tr>\n");
    }
    put(out, "</tbody>\n</table>\n");
}
