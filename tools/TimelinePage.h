// The timeline as one self-contained HTML page: each board a lane on a time
// axis, its Active and Standby periods shaded, each event a marker that
// explains itself on hover, and under the chart a table of every event, so
// that the printed page says everything. The page asks for nothing else: no
// script, no style sheet, font or image file, no address.
#ifndef TIMELINE_PAGE_H
#define TIMELINE_PAGE_H

#include "TimelineEvent.h"

#include <cstdint>
#include <cstdio>
#include <vector>

class TimelinePage {
public:
    // The events oldest first; the page keeps a reference, not a copy.
    explicit TimelinePage(const std::vector<TimelineEvent>& events);
    TimelinePage(std::vector<TimelineEvent>&&) = delete;  // would outlive its events

    // Writes the page piece by piece; false when writing failed.
    bool write(std::FILE* out) const;

    // A marker's centre on the chart, for tests of the layout.
    double markerX(std::size_t event) const { return markerX_[event]; }

private:
    struct Lane {
        int board;       // 0, 1, or -1 for events of no known board
        double top;      // of the lane on the chart
    };

    double timeX(int64_t seconds) const;
    const Lane& laneOf(const TimelineEvent& event) const;
    void placeMarkers();

    void writeHead(std::FILE* out) const;
    void writeChart(std::FILE* out) const;
    void writeLanes(std::FILE* out) const;
    void writeRolePeriods(std::FILE* out) const;
    // From a board's Boot or RoleChange to its next one, or on to the end.
    void writeRolePeriod(std::FILE* out, const TimelineEvent& from, const TimelineEvent* next) const;
    void writeTimeAxis(std::FILE* out) const;
    void writeMarkers(std::FILE* out) const;
    void writeLegend(std::FILE* out) const;
    void writeTable(std::FILE* out) const;

    const std::vector<TimelineEvent>& events_;
    int64_t start_ = 0;  // seconds at the axis' left end
    int64_t end_ = 0;    // and at its right end
    std::vector<Lane> lanes_;
    std::vector<double> markerX_;
    double width_ = 0;   // of the chart, wider when close markers were pushed apart
};

#endif
