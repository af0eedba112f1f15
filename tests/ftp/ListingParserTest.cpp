// Listing lines whose expected date depends on today, and null arguments
// (the lines of the four styles are in transcripts/listing).
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "ftp/CFtp.h"

namespace velkor {
namespace {

// Seconds since 1970 of a local date and time, as the parsers compute it.
std::int32_t Local(int year, int month, int day, int hour = 0, int minute = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    return static_cast<std::int32_t>(std::mktime(&tm));
}

TEST(ListingLine, RecentDateAheadOfTodayBelongsToLastYear) {
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    // Tomorrow's month and day (or the same when today is 31 December, which
    // is then this year's and tested for it).
    std::tm tomorrow = today;
    tomorrow.tm_mday += 1;
    const std::time_t t = std::mktime(&tomorrow);
    localtime_r(&t, &tomorrow);
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::string line = std::string("-rw-r--r-- 1 u g 1 ") + months[tomorrow.tm_mon] + " " +
                             std::to_string(tomorrow.tm_mday) + " 08:00 f";
    CFtpFile f;
    ASSERT_TRUE(CFtp::Parse_ls(line.c_str(), &f));
    const int year = tomorrow.tm_year > today.tm_year ? today.tm_year + 1900
                                                      : today.tm_year + 1900 - 1;
    EXPECT_EQ(f.m_tModified, Local(year, tomorrow.tm_mon + 1, tomorrow.tm_mday, 8, 0)) << line;
    f.FreeStrings();
}

TEST(ListingLine, NullArgumentsAreRefused) {
    CFtpFile f;
    EXPECT_FALSE(CFtp::Parse_ls(nullptr, &f));
    EXPECT_FALSE(CFtp::Parse_ls("total 1", nullptr));
}

}  // namespace
}  // namespace velkor
