#include "support/test_support.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_exception.h"

#include <cerrno>

using tabrix_test::recording_reporter;
using tabrix_test::reporter_log;

namespace {

struct handler_fixture {
    reporter_log log;
    std::vector<int> exits;
    error_handler handler{tk_odb_error_table(), std::make_unique<recording_reporter>(log)};

    handler_fixture() {
        handler.set_exit_function([this](int status) { exits.push_back(status); });
    }
};

const int odb_bad_login = 0x80E4D;

} // namespace

TEST(tk_exception, messages_codes_and_levels) {
    tk_exception plain;
    EXPECT_STREQ(plain.what(), "Unknown exception");
    EXPECT_EQ(plain.level(), 0);
    EXPECT_EQ(tk_exception(std::string()).message(), "Unknown exception");
    tk_exception wide(u"Таблица", tk_exception::stop_run, 7);
    EXPECT_EQ(wide.message(), "\xD0\xA2\xD0\xB0\xD0\xB1\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0");
    EXPECT_EQ(wide.code(), 7);

    errno = ENOENT;
    tk_exception_ex from_errno;
    EXPECT_EQ(from_errno.message(), "No such file or directory");
    EXPECT_EQ(from_errno.code(), ENOENT);
    EXPECT_EQ(from_errno.level(), 1);
    tk_exception_ex prefixed("Cannot convert to UTF8 string: ", 0, EILSEQ);
    EXPECT_EQ(prefixed.message(),
              "Cannot convert to UTF8 string: Invalid or incomplete multibyte or wide character");

    // "a.cpp\12" written as hexadecimal, two digits a character.
    tk_mail_assertion assertion("/src/tk/a.cpp", 12);
    EXPECT_EQ(assertion.message(), "Internal error: \ncode=612e6370705c3132");
    EXPECT_EQ(assertion.level(), tk_exception::internal);
    EXPECT_THROW(TK_ASSERT(1 + 1 == 3), tk_mail_assertion);
    EXPECT_NO_THROW(TK_ASSERT(1 + 1 == 2));
}

TEST(error_handler, level_0_asks_and_continues_or_aborts) {
    handler_fixture f;
    f.handler.handle(tk_exception("Bad value"), false);
    EXPECT_EQ(f.log.questions, std::vector<std::string>{"Bad value"});
    EXPECT_TRUE(f.log.errors.empty());

    f.log.answers = {{.abort = true}, {.abort = true}};
    EXPECT_THROW(f.handler.handle(tk_exception("Second"), false), tk_final_exception);
    // Where the caller ends its work anyway, Abort throws nothing.
    EXPECT_NO_THROW(f.handler.handle(tk_exception("Third"), true));
    EXPECT_EQ(f.log.questions.size(), 3u);
    EXPECT_EQ(f.handler.errors(), (std::vector<std::string>{"Bad value", "Second", "Third"}));
    EXPECT_FALSE(f.handler.quiet());
    EXPECT_TRUE(f.exits.empty());
}

TEST(error_handler, quiet_silences_later_errors_but_keeps_listing_them) {
    handler_fixture f;
    f.log.answers = {{.quiet = true}};
    f.handler.handle(tk_exception("First"), false);
    EXPECT_TRUE(f.handler.quiet());

    f.handler.handle(tk_exception("Silent"), false);
    EXPECT_EQ(f.log.questions.size(), 1u);
    // A level-1 error still stops the run, without its message.
    EXPECT_THROW(f.handler.handle(tk_exception("Stop", tk_exception::stop_run), false),
                 tk_final_exception);
    EXPECT_TRUE(f.log.errors.empty());
    EXPECT_EQ(f.handler.errors(), (std::vector<std::string>{"First", "Silent", "Stop"}));
}

TEST(error_handler, level_1_shows_the_error_and_stops_the_run) {
    handler_fixture f;
    EXPECT_THROW(f.handler.handle(tk_exception("Disk full", tk_exception::stop_run), false),
                 tk_final_exception);
    EXPECT_NO_THROW(f.handler.handle(tk_exception("At the end", tk_exception::stop_run), true));
    EXPECT_EQ(f.log.errors, (std::vector<std::string>{"Disk full", "At the end"}));
    EXPECT_TRUE(f.log.questions.empty());
    EXPECT_EQ(f.handler.errors().size(), 2u);
}

TEST(error_handler, level_2_shows_the_internal_error_and_ends_the_program) {
    handler_fixture f;
    f.handler.set_context(std::string("ORDERS"));
    tk_mail_assertion e("x.cpp", 1);
    f.handler.handle(e, false);
    f.handler.handle(e, true);
    EXPECT_EQ(f.log.internal, (std::vector<std::string>{e.message(), e.message()}));
    EXPECT_EQ(f.exits, (std::vector<int>{-1, -1}));
    EXPECT_TRUE(f.handler.errors().empty());
    EXPECT_TRUE(f.log.questions.empty());
}

TEST(error_handler, texts_carry_the_context_and_table_messages_on_one_line) {
    handler_fixture f;
    f.handler.set_context(u"Заказы");
    f.handler.handle(tk_exception("provider text", 0, odb_bad_login), false);
    f.handler.set_record_context(u"ORDERS", 12);
    f.handler.handle(tk_exception("two\nlines"), false);
    f.handler.clear_context();
    f.handler.handle(tk_exception("own text", 0, 0x80E00), false);
    f.handler.handle(tk_exception("x", 0, 0x80E09), false);
    EXPECT_EQ(
        f.log.questions,
        (std::vector<std::string>{
            "\xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7\xD1\x8B: Invalid user name or password.",
            "ORDERS, record #12: two lines", "own text",
            "You are not allowed to access MS SQL database. Ask your system administrator "
            "to grant you necessary privileges."}));
    EXPECT_EQ(f.handler.errors(), f.log.questions);
}

TEST(error_handler, the_list_keeps_twenty_errors_while_dialogs_go_on) {
    handler_fixture f;
    for (int i = 1; i <= 25; ++i)
        f.handler.handle(tk_exception("error " + std::to_string(i)), false);
    EXPECT_EQ(f.log.questions.size(), 25u);
    std::vector<std::string> kept = f.handler.errors();
    ASSERT_EQ(kept.size(), error_handler::max_errors);
    EXPECT_EQ(kept.front(), "error 1");
    EXPECT_EQ(kept.back(), "error 20");
    f.handler.clear_errors();
    EXPECT_TRUE(f.handler.errors().empty());
}

TEST(console_error_reporter, prints_and_answers_for_the_command_line) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    console_error_reporter keep_going(false, out);
    tk_continue_answer a = keep_going.ask_continue("bad record");
    EXPECT_FALSE(a.abort);
    EXPECT_FALSE(a.quiet);
    console_error_reporter strict(true, out);
    EXPECT_TRUE(strict.ask_continue("bad record").abort);
    strict.show_error("stopped");
    strict.show_internal_error("Internal error: \ncode=00");

    std::rewind(out);
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    EXPECT_EQ(text, "Error: bad record\nError: bad record\nError: stopped\n"
                    "Internal error: Internal error: \ncode=00\n");
}
