#include "ole/ole_date.h"
#include "ole/ole_guid_extractor.h"
#include "ole/ole_variant.h"

#include <gtest/gtest.h>

namespace {

std::string iso(std::string_view text) {
    return ole_date(text).to_string(true);
}

TEST(ole_date, timestamps_and_their_fall_through) {
    ole_date stamp("20201231235959");
    EXPECT_EQ(stamp.type(), ole_date::date_time);
    EXPECT_EQ(stamp.to_string(false), "2020-12-31 23:59:59");
    ole_date day("20201231");
    EXPECT_EQ(day.type(), ole_date::date_only);
    EXPECT_EQ(day.to_string(false), "2020-12-31");
    // Month 13 fails the timestamp rule; no later form reads eight bare digits either.
    EXPECT_FALSE(ole_date("20201331").is_valid());
    // Fourteen characters that are not a timestamp go on to the later forms.
    EXPECT_EQ(iso("2020-1-2 3:4:5"), "2020-01-02 03:04:05");
    EXPECT_EQ(iso(" 2020-12-31 "), "2020-12-31");
}

TEST(ole_date, separated_forms_in_their_order) {
    EXPECT_EQ(iso("2020-12-31 10:11:12"), "2020-12-31 10:11:12");
    EXPECT_EQ(iso("2020/12/31"), "2020-12-31");
    EXPECT_EQ(iso("2020.12.31 10:11:12"), "2020-12-31 10:11:12");
    // Year below 32 with a day above 31 was day.month.year: swapped.
    ole_date swapped("31.12.2020");
    EXPECT_EQ(swapped.type(), ole_date::date_only);
    EXPECT_EQ(swapped.system_time().wYear, 2020);
    EXPECT_EQ(swapped.system_time().wDay, 31);
    EXPECT_EQ(iso("31/12/2020 08:00:00"), "2020-12-31 08:00:00");
    // Month 31 fails the slash form; the en-US reader takes it as month/day/year.
    EXPECT_EQ(iso("12/31/2020"), "2020-12-31");
    EXPECT_EQ(iso("12/31/2020 1:05:09 PM"), "2020-12-31 13:05:09");
    EXPECT_EQ(iso("Dec 31, 2020"), "2020-12-31");
    // A date and time without seconds is not a separated form either.
    EXPECT_EQ(iso("2020-12-31 10:30"), "2020-12-31 10:30:00");
    // A date and time at midnight is a date.
    ole_date midnight("2020-12-31 00:00:00");
    EXPECT_EQ(midnight.type(), ole_date::date_only);
    // Day 31 of February is accepted as it stands.
    EXPECT_EQ(iso("2021-02-31"), "2021-02-31");
}

TEST(ole_date, times_seconds_and_milliseconds) {
    ole_date time("10:30");
    EXPECT_EQ(time.type(), ole_date::time_only);
    EXPECT_EQ(time.to_string(false), "0000-00-00 10:30:00");
    EXPECT_EQ(time.to_wstring(false), u"10:30:00");
    ole_date fraction("10:30:15.5");
    EXPECT_EQ(fraction.system_time().wSecond, 15);
    EXPECT_EQ(fraction.system_time().wMilliseconds, 500);
    EXPECT_EQ(fraction.to_wstring(false), u"10:30:15.500");
    // Three digits: 50 ms must not print as ".50", which reads back as 500 ms.
    EXPECT_EQ(iso("2020-12-31 10:30:15.05"), "2020-12-31 10:30:15.050");
    EXPECT_EQ(ole_date("2020-12-31 10:30:15.05").to_string(false), "2020-12-31 10:30:15");
    // Truncated, not rounded, and exact for the decimals given.
    EXPECT_EQ(ole_date("10:30:15.123").system_time().wMilliseconds, 123);
    EXPECT_EQ(ole_date("10:30:01.001").system_time().wMilliseconds, 1);
    EXPECT_EQ(ole_date("10:30:15.9999").system_time().wMilliseconds, 999);
    // Seconds are checked once they are read.
    EXPECT_FALSE(ole_date("10:30:75").is_valid());
    EXPECT_FALSE(ole_date("2020-12-31 10:30:75").is_valid());
}

TEST(ole_date, am_and_pm) {
    EXPECT_EQ(iso("2020-01-02 03:04:05 PM"), "2020-01-02 15:04:05");
    EXPECT_EQ(iso("2020-01-02 03:04:05 pm"), "2020-01-02 15:04:05");
    EXPECT_EQ(iso("2020-01-02 03:04:05 AM"), "2020-01-02 03:04:05");
    // 12 AM is the first hour of the day, 12 PM stays noon.
    EXPECT_EQ(ole_date("12:30 AM").to_wstring(false), u"00:30:00");
    EXPECT_EQ(ole_date("12:30 PM").to_wstring(false), u"12:30:00");
    EXPECT_EQ(iso("2020-01-02 12:00:01 am"), "2020-01-02 00:00:01");
}

TEST(ole_date, invalid_text_and_printing_rules) {
    for (std::string_view bad :
         {"", "2020", "10:3", "abcdefgh", "2020-13-01", "45.12.2020", "00:61:00", "hello world"})
        EXPECT_FALSE(ole_date(bad).is_valid()) << bad;
    EXPECT_EQ(ole_date("2020").to_string(true), "");
    EXPECT_EQ(ole_date(u"2020-12-31").to_string(true), "2020-12-31");

    SYSTEMTIME st{};
    st.wYear = 5;
    st.wMonth = 6;
    st.wDay = 7;
    EXPECT_EQ(ole_date(st).to_string(true), "2005-06-07");
    EXPECT_EQ(ole_date(st).to_wstring(true), u"2005-06-07");
    st.wYear = 75;
    EXPECT_EQ(ole_date(st).to_string(true), "1975-06-07");
    st.wHour = 10;
    st.wMilliseconds = 250;
    EXPECT_EQ(ole_date(st).to_string(true), "1975-06-07 10:00:00.250");
    EXPECT_EQ(ole_date(st).to_string(false), "1975-06-07 10:00:00");
}

TEST(ole_date, variants_in_and_out) {
    ole_date parsed("2020-12-31 10:11:12.345");
    ole_variant v = parsed.to_variant();
    EXPECT_EQ(v.get_type(), VT_DATE);
    EXPECT_EQ(v.to_string(), "2020-12-31 10:11:12.345");
    EXPECT_DOUBLE_EQ(v.get_date(), 44196.0 + (10 * 3600 + 11 * 60 + 12.345) / 86400);
    ole_date back(v);
    EXPECT_EQ(back.type(), ole_date::date_time);
    EXPECT_EQ(back.to_string(true), "2020-12-31 10:11:12.345");
    EXPECT_FALSE(ole_date(ole_variant()).is_valid());
    ole_variant null_value;
    null_value.set_null();
    EXPECT_FALSE(ole_date(null_value).is_valid());
    EXPECT_THROW(ole_date(ole_variant(5)), tk_mail_assertion);
}

TEST(ole_guid_extractor, finds_a_guid_after_the_word) {
    ole_guid_extractor braced(u"guid{12345678-1234-1234-1234-123456789012}");
    EXPECT_TRUE(braced.is_valid());
    EXPECT_EQ(braced.get_guid(), u"12345678-1234-1234-1234-123456789012}");
    ole_guid_extractor upper(u"  GUID 12345678-1234-1234-1234-123456789012  ");
    EXPECT_TRUE(upper.is_valid());
    EXPECT_EQ(upper.get_guid(), u" 12345678-1234-1234-1234-123456789012");
    EXPECT_FALSE(ole_guid_extractor(u"{12345678-1234-1234-1234-123456789012}").is_valid());
    EXPECT_FALSE(ole_guid_extractor(u"guid{1234}").is_valid());
    EXPECT_FALSE(
        ole_guid_extractor(u"the guid is {12345678-1234-1234-1234-123456789012}").is_valid());
    EXPECT_FALSE(ole_guid_extractor(u"Guid{12345678-1234-1234-1234-123456789012}").is_valid());
    EXPECT_EQ(ole_guid_extractor(u"nothing").get_guid(), u"");
}

} // namespace
