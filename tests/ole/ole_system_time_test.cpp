#include "ole/ole_system_time.h"

#include <gtest/gtest.h>

namespace {

SYSTEMTIME make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(y);
    st.wMonth = static_cast<uint16_t>(mo);
    st.wDay = static_cast<uint16_t>(d);
    st.wHour = static_cast<uint16_t>(h);
    st.wMinute = static_cast<uint16_t>(mi);
    st.wSecond = static_cast<uint16_t>(s);
    st.wMilliseconds = static_cast<uint16_t>(ms);
    return st;
}

SYSTEMTIME from_date(DATE value) {
    SYSTEMTIME st{};
    EXPECT_TRUE(VariantTimeToSystemTime(value, st)) << value;
    st.wDayOfWeek = 0;
    return st;
}

TEST(ole_system_time, dates_count_days_from_1899_12_30) {
    DATE d = -1;
    EXPECT_TRUE(SystemTimeToVariantTime(make(1899, 12, 30), d));
    EXPECT_EQ(d, 0.0);
    EXPECT_TRUE(SystemTimeToVariantTime(make(2020, 12, 31), d));
    EXPECT_EQ(d, 44196.0);
    EXPECT_TRUE(SystemTimeToVariantTime(make(2020, 12, 31, 18), d));
    EXPECT_EQ(d, 44196.75);
    EXPECT_TRUE(SystemTimeToVariantTime(make(100, 1, 1), d));
    EXPECT_EQ(d, DATE_MIN);
    EXPECT_EQ(from_date(44196.75), make(2020, 12, 31, 18));
    EXPECT_EQ(from_date(2958465.0), make(9999, 12, 31));

    SYSTEMTIME st{};
    EXPECT_TRUE(VariantTimeToSystemTime(44196.0, st));
    EXPECT_EQ(st.wDayOfWeek, 4); // a Thursday
    EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, st));
    EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, st));
    EXPECT_FALSE(SystemTimeToVariantTime(make(99, 1, 1), d));
    EXPECT_FALSE(SystemTimeToVariantTime(make(2020, 13, 1), d));
    EXPECT_FALSE(SystemTimeToVariantTime(make(2020, 1, 1, 24), d));
    EXPECT_FALSE(SystemTimeToVariantTime(make(0, 0, 0, 10, 30), d));
}

TEST(ole_system_time, negative_dates_count_the_time_forward) {
    DATE d = 0;
    EXPECT_TRUE(SystemTimeToVariantTime(make(1899, 12, 29, 6), d));
    EXPECT_EQ(d, -1.25);
    EXPECT_EQ(from_date(-1.25), make(1899, 12, 29, 6));
    // Between -1 and 0 the whole part is the epoch itself.
    EXPECT_EQ(from_date(-0.25), make(1899, 12, 30, 6));
    EXPECT_EQ(from_date(0.25), make(1899, 12, 30, 6));
    EXPECT_TRUE(SystemTimeToVariantTime(make(1800, 1, 1, 12), d));
    EXPECT_EQ(from_date(d), make(1800, 1, 1, 12));
}

TEST(ole_system_time, milliseconds_survive_the_round_trip) {
    for (int ms : {1, 50, 500, 999}) {
        SYSTEMTIME st = make(2021, 3, 4, 23, 59, 59, ms);
        DATE d = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(st, d));
        EXPECT_EQ(from_date(d), st) << ms;
        st = make(1850, 6, 7, 1, 2, 3, ms);
        ASSERT_TRUE(SystemTimeToVariantTime(st, d));
        EXPECT_EQ(from_date(d), st) << ms;
    }
    // Within half a millisecond of midnight is the next day.
    EXPECT_EQ(from_date(44196.0 + 0.99999999999), make(2021, 1, 1));
    EXPECT_EQ(from_date(-1.99999999999), make(1899, 12, 30));
}

SYSTEMTIME parse(std::u16string_view text) {
    DATE d = 0;
    EXPECT_EQ(VarDateFromStr(text, LOCALE_EN_US, 0, d), S_OK)
        << std::string(text.begin(), text.end());
    return from_date(d);
}

TEST(ole_system_time, date_reader_takes_en_us_forms) {
    EXPECT_EQ(parse(u"12/31/2020"), make(2020, 12, 31));
    EXPECT_EQ(parse(u"1/2/2020"), make(2020, 1, 2));
    EXPECT_EQ(parse(u"12-31-2020"), make(2020, 12, 31));
    EXPECT_EQ(parse(u"12/31/20"), make(2020, 12, 31));
    EXPECT_EQ(parse(u"12/31/99"), make(1999, 12, 31));
    EXPECT_EQ(parse(u"31/12/2020"), make(2020, 12, 31));
    EXPECT_EQ(parse(u"2020/12/31"), make(2020, 12, 31));
    EXPECT_EQ(parse(u"12/31/2020 1:05:09 PM"), make(2020, 12, 31, 13, 5, 9));
    EXPECT_EQ(parse(u"12/31/2020 12:30 am"), make(2020, 12, 31, 0, 30));
    EXPECT_EQ(parse(u"12/31/2020 12:30 PM"), make(2020, 12, 31, 12, 30));
    EXPECT_EQ(parse(u"12/31/2020 23:59:58.25"), make(2020, 12, 31, 23, 59, 58, 250));
    EXPECT_EQ(parse(u"Dec 31, 2020"), make(2020, 12, 31));
    EXPECT_EQ(parse(u"december 31 2020 10:00"), make(2020, 12, 31, 10));
    EXPECT_EQ(parse(u"31 Dec 2020"), make(2020, 12, 31));
    EXPECT_EQ(parse(u"31-DEC-2020"), make(2020, 12, 31));
    EXPECT_EQ(parse(u"2020 Sept 1"), make(2020, 9, 1));
    EXPECT_EQ(parse(u"Thursday, December 31, 2020"), make(2020, 12, 31));
    EXPECT_EQ(parse(u"1:05 PM"), make(1899, 12, 30, 13, 5));
    EXPECT_EQ(parse(u"  10:30:15  "), make(1899, 12, 30, 10, 30, 15));
}

TEST(ole_system_time, date_reader_refuses_other_text) {
    for (std::u16string_view bad :
         {u"", u"abc", u"12/31", u"2/30/2021", u"13/13/2020", u"12/31-2020", u"12/31/2020 25:00",
          u"12/31/2020 10:61", u"13:00 PM", u"12/31/2020 PM", u"Foo 31, 2020", u"12/31/2020x",
          u"1/1/99999", u"12.31.2020 10:5"}) {
        DATE d = 0;
        EXPECT_EQ(VarDateFromStr(bad, LOCALE_EN_US, 0, d), DISP_E_TYPEMISMATCH)
            << std::string(bad.begin(), bad.end());
    }
}

} // namespace
