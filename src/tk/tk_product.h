// Who we are: the product's name, maker, version and contact addresses, in this one place.
#pragma once

// A macro as well as a constant, so that the message tables can splice the address into
// their string literals at compile time.
#define TK_SUPPORT_EMAIL "support@quorvane.com"

inline constexpr char tk_product_name[] = "Tabrix";
inline constexpr char tk_product_maker[] = "Quorvane";
// The version comes from the build (the project version in CMakeLists.txt).
inline constexpr int tk_product_major = TABRIX_VERSION_MAJOR;
inline constexpr int tk_product_minor = TABRIX_VERSION_MINOR;
// Printed after the version in titles; empty for the standard edition.
inline constexpr char tk_product_edition[] = "";
inline constexpr char tk_support_email[] = TK_SUPPORT_EMAIL;
inline constexpr char tk_product_web[] = "https://www.quorvane.com";

// The settings key of the product; tk_reg_key keeps it as a file named after the key.
inline constexpr char tk_settings_key[] = "Software\\Quorvane\\Tabrix";
