// The per-field path of a conversion: text read into a value, the value brought to its
// column's type, and the value printed as text. Each run walks a set of values of one kind
// through the same reused variant, as the record loop does; the counters give values per
// second (ns per value = 1e9 / items_per_second).
#include "ole/ole_variant.h"

#include <benchmark/benchmark.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> integers() {
    return {"  123456", "-42", "2147483647", "0", "   98765", "-1000000", "7", "31337"};
}
std::vector<std::string> decimals() {
    return {"12345.6789", "-0.05", "99999999999999.99",           "1.5", "-1234567.125",
            "0.0001",     "42",    "3.14159265358979323846264338"};
}
std::vector<std::string> dates() {
    return {"20201231",   "2020-12-31 23:59:59",
            "19990101",   "2021-02-03 04:05:06.789",
            "31.12.2020", "20000229",
            "2010/10/10", "12/31/2020 1:05 PM"};
}
std::vector<std::string> texts() {
    return {"Smith & Sons Ltd.",
            "Rue de la Paix 12",
            "",
            "A",
            "Zamowienie nr 12345",
            "The quick brown fox jumps over the lazy dog",
            "  padded  ",
            "Müller"};
}

void text_to_value(benchmark::State& state, std::vector<std::string> values, VARTYPE vt) {
    ole_variant v;
    for (auto _ : state)
        for (const std::string& text : values) {
            v.assign_from_string(text, vt);
            benchmark::DoNotOptimize(v.variant());
        }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}

// Conversion to the column type from a prepared value; the copy into the reused variant is
// part of what the record loop pays.
void change_type(benchmark::State& state, std::vector<std::string> values, VARTYPE from,
                 VARTYPE to) {
    std::vector<ole_variant> prepared;
    for (const std::string& text : values)
        prepared.push_back(ole_variant::from_string(text, from));
    ole_variant v;
    for (auto _ : state)
        for (const ole_variant& value : prepared) {
            v = value;
            if (v.get_type() != VT_EMPTY)
                v.change_type(to);
            benchmark::DoNotOptimize(v.variant());
        }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}

void value_to_text(benchmark::State& state, std::vector<std::string> values, VARTYPE vt) {
    std::vector<ole_variant> prepared;
    for (const std::string& text : values)
        prepared.push_back(ole_variant::from_string(text, vt));
    std::string out;
    for (auto _ : state)
        for (const ole_variant& value : prepared) {
            out.clear();
            value.append_string(out);
            benchmark::DoNotOptimize(out.data());
        }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}

void value_to_string(benchmark::State& state, std::vector<std::string> values, VARTYPE vt) {
    std::vector<ole_variant> prepared;
    for (const std::string& text : values)
        prepared.push_back(ole_variant::from_string(text, vt));
    for (auto _ : state)
        for (const ole_variant& value : prepared) {
            std::string out = value.to_string();
            benchmark::DoNotOptimize(out.data());
        }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}

} // namespace

BENCHMARK_CAPTURE(text_to_value, integer_i4, integers(), VT_I4);
BENCHMARK_CAPTURE(text_to_value, integer_i8, integers(), VT_I8);
BENCHMARK_CAPTURE(text_to_value, decimal, decimals(), VT_DECIMAL);
BENCHMARK_CAPTURE(text_to_value, currency, decimals(), VT_CY);
BENCHMARK_CAPTURE(text_to_value, double_r8, decimals(), VT_R8);
BENCHMARK_CAPTURE(text_to_value, date, dates(), VT_DATE);
BENCHMARK_CAPTURE(text_to_value, text, texts(), VT_BSTR);

BENCHMARK_CAPTURE(change_type, i8_to_i4, integers(), VT_I8, VT_I4);
BENCHMARK_CAPTURE(change_type, i8_to_decimal, integers(), VT_I8, VT_DECIMAL);
BENCHMARK_CAPTURE(change_type, r8_to_i4, integers(), VT_R8, VT_I4);
BENCHMARK_CAPTURE(change_type, decimal_to_cy, decimals(), VT_DECIMAL, VT_CY);
BENCHMARK_CAPTURE(change_type, decimal_to_r8, decimals(), VT_DECIMAL, VT_R8);
BENCHMARK_CAPTURE(change_type, text_to_decimal, decimals(), VT_BSTR, VT_DECIMAL);
BENCHMARK_CAPTURE(change_type, date_to_text, dates(), VT_DATE, VT_BSTR);
BENCHMARK_CAPTURE(change_type, text_to_date, dates(), VT_BSTR, VT_DATE);
BENCHMARK_CAPTURE(change_type, text_same_type, texts(), VT_BSTR, VT_BSTR);

BENCHMARK_CAPTURE(value_to_text, integer_i4, integers(), VT_I4);
BENCHMARK_CAPTURE(value_to_text, integer_i8, integers(), VT_I8);
BENCHMARK_CAPTURE(value_to_text, decimal, decimals(), VT_DECIMAL);
BENCHMARK_CAPTURE(value_to_text, currency, decimals(), VT_CY);
BENCHMARK_CAPTURE(value_to_text, double_r8, decimals(), VT_R8);
BENCHMARK_CAPTURE(value_to_text, date, dates(), VT_DATE);
BENCHMARK_CAPTURE(value_to_text, text, texts(), VT_BSTR);
BENCHMARK_CAPTURE(value_to_string, integer_i4, integers(), VT_I4);
BENCHMARK_CAPTURE(value_to_string, text, texts(), VT_BSTR);

BENCHMARK_MAIN();
