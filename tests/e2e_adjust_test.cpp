// The real binary asked to set the clock, in a process that cannot: it must say so, or say why
// the reply was refused, and never step anything.

#include <gtest/gtest.h>

#include "e2e_support.hpp"
#include "report_lines.hpp"

namespace {

TEST(EndToEndAdjust, AskingToSetTheClockWithoutTheRight) {
    ASSERT_TRUE(clock_cannot_be_set_here()) << "refusing to run: this process could set the clock";
    ServerBehaviour kiss;
    kiss.patches = {{0, 0xDC}, {1, 0}, {12, 'R'}, {13, 'A'}, {14, 'T'}, {15, 'E'}};
    ServerBehaviour unsynchronized;
    unsynchronized.patches = {{0, 0xDC}};
    const struct {
        const char* what;
        ServerBehaviour behaviour;
        std::string status;
        std::string expected_after_offset;
    } cases[] = {
        {"good reply", ServerBehaviour{}, "ADJUST_TIME", "## Error ##: Can NOT Adujust time."},
        {"kiss", kiss, "ADJUST_TIME",
         "## Error ##: Reply rejected (kiss code RATE); local time not adjusted."},
        {"not synchronized", unsynchronized, "ADJUST_TIME",
         "## Error ##: Reply rejected (server clock not synchronized); local time not adjusted."},
        {"lower case", ServerBehaviour{}, "adjust_time", "System   Time = "},
        {"trailing blank", kiss, "ADJUST_TIME ", "System   Time = "},
    };
    for (const auto& c : cases) {
        TestServer server(c.behaviour);
        const ClientRun run = run_client_without_clock_right(
            {"NTP_SERVER_NAME=" + server.endpoint(), "STATUS_OF_EXECUTION=" + c.status});
        EXPECT_EQ(run.exit_status, 0) << c.what;
        const auto lines = lines_of(run.out);
        const std::string offset = line_starting(run.out, "Local Clock Offset = ");
        const auto at = std::find(lines.begin(), lines.end(), offset);
        ASSERT_TRUE(at != lines.end() && at + 1 != lines.end()) << run.out;
        EXPECT_EQ((at + 1)->rfind(c.expected_after_offset, 0), 0u) << c.what << "\n" << run.out;
        expect_lines_in_order(run.out, COMPLETE_REPORT);
    }
}

} // namespace
