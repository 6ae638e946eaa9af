#include "support/test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_string.h"
#include "tk/tk_thread.h"

#include <atomic>
#include <future>

// The program trims, replaces and lower-cases only wide text (banners, view text, table names).
TEST(tk_string, trimming_removes_blanks_only) {
    EXPECT_EQ(tk_wstring::trim(u"  Заказы  "), u"Заказы");
    EXPECT_EQ(tk_wstring::trim(u"   "), u"");
    EXPECT_EQ(tk_wstring::trim(u"\tx\t"), u"\tx\t");
    EXPECT_EQ(tk_wstring::trim(u"\u00A0x\u00A0"), u"\u00A0x\u00A0"); // no-break space is data
}

TEST(tk_string, replace_all_continues_after_each_replacement) {
    EXPECT_EQ(tk_wstring::replace_all(u"banana", u"a", u"aa"), u"baanaanaa");
    EXPECT_EQ(tk_wstring::replace_all(u"aaa", u"aa", u"b"), u"ba");
    EXPECT_EQ(tk_wstring::replace_all(u"[x]]", u"]", u"]]"), u"[x]]]]");
    EXPECT_EQ(tk_wstring::replace_all(u"a-b-c", u"-", u""), u"abc");
    EXPECT_EQ(tk_wstring::replace_all(u"text", u"", u"x"), u"text");
    EXPECT_EQ(tk_wstring::replace_all(u"", u"a", u"b"), u"");
}

TEST(tk_string, lower_case) {
    EXPECT_EQ(tk_wstring::to_lower(u"ÀÉÎ ORDERS Ж"), u"àéî orders ж");
    EXPECT_EQ(tk_wstring::to_lower(u"\U00010400"), u"\U00010428"); // outside the BMP
    EXPECT_EQ(tk_wstring::to_lower(u"a\xD800Z"), u"a\xD800z");     // a lone surrogate stays
}

namespace {

class counting_functor : public tk_thread_functor {
public:
    bool done() override { return steps_ == 5; }
    void step() override { ++steps_; }
    int finish() override { return steps_ * 10; }
    int steps() const { return steps_; }

private:
    int steps_ = 0;
};

class waiting_functor : public tk_thread_functor {
public:
    int run() override {
        started.set_value();
        release.get_future().wait();
        return 7;
    }
    std::promise<void> started, release;
};

class failing_functor : public tk_thread_functor {
public:
    int run() override { throw tk_exception("worker failed", tk_exception::stop_run); }
};

} // namespace

TEST(tk_thread, refuses_to_start_while_running_and_starts_again_afterwards) {
    waiting_functor first;
    tk_thread thread;
    thread.start(first);
    first.started.get_future().wait();
    EXPECT_TRUE(thread.is_running());
    counting_functor second;
    EXPECT_THROW(thread.start(second), tk_mail_assertion);
    first.release.set_value();
    thread.join();
    EXPECT_EQ(thread.result(), 7);

    thread.start(second);
    thread.join();
    EXPECT_EQ(thread.result(), 50);
}

TEST(tk_thread, an_exception_of_the_worker_reaches_the_joining_thread) {
    failing_functor work;
    tk_thread thread;
    thread.start(work);
    try {
        thread.join();
        ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.message(), "worker failed");
    }
    EXPECT_NO_THROW(thread.join());
}
