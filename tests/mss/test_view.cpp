// View text rewritten for MS SQL.
#include "mss/mss_view.h"

#include <gtest/gtest.h>

TEST(MssView, RewritesOutsideQuotesOnly) {
    EXPECT_EQ(refine_view(u"select `a`, `b c` from `t`"), u"select [a], [b c] from [t]");
    EXPECT_EQ(refine_view(u"select 'x `y` now()' from t"), u"select 'x `y` now()' from t");
    EXPECT_EQ(refine_view(u"select now() from t"), u"select getdate() from t");
    EXPECT_EQ(refine_view(u"select NOW(),nowhere from t"), u"select getdate(),nowhere from t");
    EXPECT_EQ(refine_view(u"select _utf8'abc', _latin1 'x', _cp1251'y' from t"),
              u"select 'abc',  'x', 'y' from t");
}

TEST(MssView, RewritesCallsUpToTheirClosingParenthesis) {
    EXPECT_EQ(refine_view(u"select isnull(a) from t"), u"select (a) is null from t");
    EXPECT_EQ(refine_view(u"select isnull(f(a, ')')) x"), u"select (f(a, ')')) is null x");
    EXPECT_EQ(refine_view(u"select from_unixtime(ts) from t"),
              u"select DateAdd(ss,(ts),'01-01-1970') from t");
    EXPECT_EQ(refine_view(u"select curdate(), curtime() from t"),
              u"select cast(getdate() as date), convert(time, getdate()) from t");
    EXPECT_EQ(refine_view(u"select (isnull(from_unixtime(x))) y"),
              u"select ((DateAdd(ss,(x),'01-01-1970')) is null) y");
    // A word that is not called stays as it is.
    EXPECT_EQ(refine_view(u"select isnull from t"), u"select isnull from t");
    EXPECT_EQ(refine_view(u"select IFNULL(a,0), ifnull(b,1) from t"),
              u"select ISNULL(a,0), isnull(b,1) from t");
}
