// Values read and print the same whatever decimal separator the process locale uses.
#include "ole/ole_date.h"
#include "ole/ole_variant.h"
#include "support/test_support.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

// Switches the process to a locale with a decimal comma for the life of the object: an
// installed one, or else one compiled into a scratch folder from the system's definitions.
class decimal_comma_locale {
public:
    decimal_comma_locale() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
            if (std::setlocale(LC_ALL, name)) {
                active_ = true;
                return;
            }
        if (!std::filesystem::exists("/usr/share/i18n/locales/de_DE"))
            return;
        std::string command = "localedef -i de_DE -f UTF-8 '" +
                              (scratch_ / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            return;
        ::setenv("LOCPATH", scratch_.path().c_str(), 1);
        active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~decimal_comma_locale() {
        std::setlocale(LC_ALL, "C");
        ::unsetenv("LOCPATH");
    }
    bool active() const { return active_ && std::localeconv()->decimal_point[0] == ','; }

private:
    tabrix_test::scratch_dir scratch_;
    bool active_ = false;
};

TEST(ole_locale, decimal_comma_changes_no_text) {
    decimal_comma_locale locale;
    if (!locale.active())
        GTEST_SKIP() << "no locale with a decimal comma is installed or can be built";

    EXPECT_EQ(ole_variant::from_string("1234.5678", VT_DECIMAL).to_string(), "1234.5678");
    EXPECT_EQ(ole_variant::from_string("-0,25", VT_DECIMAL).to_string(), "-0.25");
    EXPECT_EQ(ole_variant::from_string("7.5", VT_CY).to_string(), "7.5");
    EXPECT_EQ(ole_variant::from_string("7,5", VT_CY).to_wstring(), u"7.5");
    EXPECT_EQ(ole_variant::from_string("12.5", VT_R8).to_double(), 12.5);
    EXPECT_EQ(ole_variant::from_string("12,5", VT_R4).to_double(), 12.5);
    EXPECT_EQ(ole_variant(1.5).to_string(), "1.5000000000000000e+00");
    EXPECT_EQ(ole_variant(1.5f).to_string(), "1.50000000e+00");
    ole_variant r8(0.25);
    r8.change_type(VT_BSTR);
    EXPECT_EQ(r8.to_string(), "0.25");
    ole_variant text(std::string_view("3.75"));
    text.change_type(VT_DECIMAL);
    EXPECT_EQ(text.to_string(), "3.75");
    EXPECT_EQ(ole_date("10:30:15.5").system_time().wMilliseconds, 500);
}

} // namespace
