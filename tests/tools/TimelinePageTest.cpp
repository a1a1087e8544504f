// The timeline page as written: texts from the board escaped, role periods
// and their extent, lanes, markers kept apart, empty and one-event pages,
// nothing the page would ask for elsewhere.
#include "TimelinePage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

using Kind = TimelineEvent::Kind;
using Role = TimelineEvent::Role;
using Events = std::vector<TimelineEvent>;

constexpr uint32_t T0 = 1796075232;  // 2026-11-30 21:47:12 UTC

std::string pageOf(const Events& events)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    EXPECT_TRUE(TimelinePage(events).write(out));
    std::fclose(out);
    std::string page(buffer, size);
    std::free(buffer);
    return page;
}

std::vector<std::string> linesStarting(const std::string& page, const std::string& start)
{
    std::vector<std::string> lines;
    for (std::size_t at = page.find("\n" + start); at != std::string::npos; at = page.find("\n" + start, at + 1))
        lines.push_back(page.substr(at + 1, page.find('\n', at + 1) - at - 1));
    return lines;
}

std::vector<std::string> matches(const std::string& page, const std::string& pattern)
{
    std::vector<std::string> found;
    std::regex expression(pattern);
    for (auto it = std::sregex_iterator(page.begin(), page.end(), expression); it != std::sregex_iterator(); ++it)
        found.push_back((*it)[1]);
    return found;
}

TimelineEvent event(uint32_t seconds, int board, Kind kind, Role role = Role::Unknown)
{
    return {seconds, board, kind, role, "what happened", "what it means"};
}

TEST(TimelinePage, texts_from_the_board_are_shown_escaped_never_as_markup)
{
    struct Case {
        std::string raw, shown;
    } const cases[] = {
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"a&b \"q\" 'r'", "a&amp;b &quot;q&quot; &#39;r&#39;"},
        {"&lt;", "&amp;lt;"},
        {std::string("\x01\x7F\xFF\\x5C \0", 9), "\\x01\\x7F\\xFF\\x5C \\x00"},
        {"two\nlines", "two\nlines"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        std::string page = pageOf({{T0, 0, Kind::DaemonDeath, Role::Unknown, c.raw, c.raw}});
        EXPECT_NE(page.find("<td class=\"text\">" + c.shown + "</td><td class=\"meaning\">" + c.shown + "</td>"),
                  std::string::npos);
        EXPECT_NE(page.find(": " + c.shown + "\n" + c.shown + "</title>"), std::string::npos);
        EXPECT_EQ(page.find("<script"), std::string::npos);
        for (unsigned char byte : page)
            ASSERT_TRUE(byte == '\n' || (byte >= 0x20 && byte < 0x7F)) << static_cast<int>(byte);
    }
}

TEST(TimelinePage, role_periods_run_from_a_boot_or_role_change_to_the_boards_next_one_or_the_end)
{
    std::string page = pageOf({
        event(T0, 0, Kind::Boot, Role::Active),
        event(T0, 1, Kind::Boot, Role::Standby),
        event(T0 + 250, 0, Kind::DaemonDeath),  // ends no period
        event(T0 + 500, 0, Kind::RoleChange, Role::Standby),
        event(T0 + 500, 1, Kind::RoleChange, Role::Active),
        event(T0 + 750, 1, Kind::Boot),  // of no known role: ends the period, shades none
        event(T0 + 800, -1, Kind::Boot, Role::Active),  // of no known board: shades none
        event(T0 + 1000, 0, Kind::ErrorRecord),
    });
    EXPECT_EQ(linesStarting(page, "<rect class=\"role"),
              (std::vector<std::string>{
                  "<rect class=\"role active\" x=\"110.0\" y=\"12.0\" width=\"430.0\" height=\"48.0\"><title>"
                  "MMB 0 Active from 2026-11-30 21:47:12 UTC to 2026-11-30 21:55:32 UTC</title></rect>",
                  "<rect class=\"role standby\" x=\"110.0\" y=\"74.0\" width=\"430.0\" height=\"48.0\"><title>"
                  "MMB 1 Standby from 2026-11-30 21:47:12 UTC to 2026-11-30 21:55:32 UTC</title></rect>",
                  "<rect class=\"role standby\" x=\"540.0\" y=\"12.0\" width=\"430.0\" height=\"48.0\"><title>"
                  "MMB 0 Standby from 2026-11-30 21:55:32 UTC on</title></rect>",
                  "<rect class=\"role active\" x=\"540.0\" y=\"74.0\" width=\"215.0\" height=\"48.0\"><title>"
                  "MMB 1 Active from 2026-11-30 21:55:32 UTC to 2026-11-30 21:59:42 UTC</title></rect>",
              }));
    EXPECT_EQ(matches(page, "class=\"role-label\"[^>]*>([^<]*)<"),
              (std::vector<std::string>{"Active", "Standby", "Standby", "Active"}));
}

TEST(TimelinePage, both_boards_have_a_lane_and_events_of_no_known_board_one_more)
{
    struct Case {
        std::vector<int> boards;
        std::vector<std::string> lanes;
    } const cases[] = {
        {{0}, {"MMB 0", "MMB 1"}},
        {{1, 1}, {"MMB 0", "MMB 1"}},
        {{0, -1}, {"MMB 0", "MMB 1", "no board"}},
        {{2}, {"MMB 0", "MMB 1", "no board"}},
    };
    for (const Case& c : cases) {
        Events events;
        for (int board : c.boards)
            events.push_back(event(T0, board, Kind::ErrorRecord));
        std::string page = pageOf(events);
        EXPECT_EQ(matches(page, "class=\"lane-label\"[^>]*>([^<]*)<"), c.lanes);
        EXPECT_EQ(linesStarting(page, "<rect class=\"lane\"").size(), c.lanes.size());
    }
}

TEST(TimelinePage, close_markers_are_pushed_apart_along_their_lane_only_and_the_chart_grows_to_hold_them)
{
    Events events = {
        event(T0, 0, Kind::Boot),
        event(T0, 1, Kind::Boot),
        event(T0, 0, Kind::RoleChange),
        event(T0 + 1, 0, Kind::DaemonDeath),
        event(T0 + 500, 0, Kind::DaemonDeath),
        event(T0 + 1000, 0, Kind::DaemonRestart),
        event(T0 + 1000, 0, Kind::DaemonDeath),
    };
    TimelinePage page(events);
    std::vector<double> expected = {110, 110, 122, 134, 540, 970, 982};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_DOUBLE_EQ(page.markerX(i), expected[i]) << i;
    EXPECT_NE(pageOf(events).find("<svg class=\"chart\" viewBox=\"0 0 1012.0 178.0\""), std::string::npos);
}

TEST(TimelinePage, an_empty_timeline_gives_a_page_that_says_so)
{
    std::string page = pageOf({});
    EXPECT_EQ(page.substr(0, 16), "<!DOCTYPE html>\n");
    EXPECT_EQ(page.substr(page.find("</head>")),
              "</head>\n<body>\n<h1>Timeline of the boards</h1>\n"
              "<p class=\"summary\">No events: the files read hold nothing to put on a timeline.</p>\n"
              "</body>\n</html>\n");
}

TEST(TimelinePage, one_event_sits_in_the_middle_of_a_minute_and_a_failed_write_is_told)
{
    Events events = {{T0, 0, Kind::Boot, Role::Active, "boot", "started"}};
    std::string page = pageOf(events);
    EXPECT_EQ(linesStarting(page, "<g class=\"event\">"),
              (std::vector<std::string>{"<g class=\"event\"><title>#1 2026-11-30 21:47:12 UTC, MMB 0: boot"}));
    EXPECT_NE(page.find("started</title><polygon class=\"marker\" points=\"534.5,36.5 545.5,36.5 545.5,47.5 534.5,47.5\" "
                        "fill=\"#0072B2\"/></g>\n"),
              std::string::npos);
    EXPECT_EQ(matches(page, "class=\"tick\"[^>]*>([^<]*)<"),
              (std::vector<std::string>{"21:46:50", "21:47:00", "21:47:10", "21:47:20", "21:47:30", "21:47:40"}));
    EXPECT_EQ(matches(page, "class=\"tick-date\"[^>]*>([^<]*)<"), (std::vector<std::string>{"2026-11-30", "UTC"}));
    EXPECT_EQ(linesStarting(page, "<tr><td>").size(), 1u);
    EXPECT_EQ(page.substr(page.size() - 16), "</body>\n</html>\n");

    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(TimelinePage(events).write(full));
    std::fclose(full);
}

TEST(TimelinePage, ticks_fall_on_round_times_and_label_each_new_date)
{
    std::string page = pageOf({event(T0, 0, Kind::Boot), event(T0 + 6 * 3600, 0, Kind::Boot)});
    EXPECT_EQ(matches(page, "class=\"tick\"[^>]*>([^<]*)<"),
              (std::vector<std::string>{"22:00", "23:00", "00:00", "01:00", "02:00", "03:00"}));
    EXPECT_EQ(matches(page, "class=\"tick-date\"[^>]*>([^<]*)<"),
              (std::vector<std::string>{"2026-11-30", "2026-12-01", "UTC"}));
}

TEST(TimelinePage, each_kind_has_a_shape_and_colour_of_its_own_and_nothing_is_asked_from_outside)
{
    Events events;
    for (Kind kind : {Kind::Boot, Kind::RoleChange, Kind::DaemonDeath, Kind::DaemonRestart, Kind::RebootAsked,
                      Kind::ErrorRecord, Kind::DownLog, Kind::StartupRecord})
        events.push_back(event(T0, 0, kind, Role::Active));
    std::string page = pageOf(events);
    std::vector<std::string> shapes = matches(page, "<li><svg[^>]*>(<[a-z]+ class=\"marker\" [a-z]+=\"[^\"]*\")");
    std::vector<std::string> colours = matches(page, "<li><svg[^>]*><[^>]*fill=\"([^\"]*)\"");
    EXPECT_EQ(shapes.size(), 8u);
    EXPECT_EQ(std::set<std::string>(shapes.begin(), shapes.end()).size(), 8u);
    EXPECT_EQ(std::set<std::string>(colours.begin(), colours.end()).size(), 8u);
    for (const char* reference : {"://", "src=", "href=", "url(", "@import", "@font-face", "<link", "<script",
                                  "<img", "<image", "<use", "<iframe", "<object"})
        EXPECT_EQ(page.find(reference), std::string::npos) << reference;
    // The legend names the kinds shown, and both roles.
    EXPECT_EQ(matches(pageOf({event(T0, 0, Kind::DownLog)}), "<li>(?:<svg.*</svg>|<span[^>]*></span>)([^<]*)</li>"),
              (std::vector<std::string>{"down log", "Active", "Standby"}));
}

} // namespace
