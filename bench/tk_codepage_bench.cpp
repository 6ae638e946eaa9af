// Decoding and encoding one DBF text field, as the record loop does for every C field.
#include "tk/tk_text.h"

#include <benchmark/benchmark.h>

namespace {

std::string field_of(uint32_t codepage, size_t width) {
    // Letters of the page's upper half mixed with ASCII, as national text is.
    std::u16string text;
    const std::u16string sample = codepage == 1251  ? u"Заказ номер "
                                  : codepage == 932 ? u"注文番号 "
                                                    : u"Zamówienie nr ";
    while (text.size() < width)
        text += sample;
    text.resize(width);
    return tk_to_codepage(text, codepage);
}

void decode_field(benchmark::State& state) {
    const uint32_t codepage = static_cast<uint32_t>(state.range(0));
    const std::string bytes = field_of(codepage, static_cast<size_t>(state.range(1)));
    const tk_codepage& page = tk_codepage::get(codepage);
    std::u16string out;
    for (auto _ : state) {
        page.decode(bytes, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void lookup_and_decode_field(benchmark::State& state) {
    const std::string bytes = field_of(1251, 40);
    for (auto _ : state) {
        std::u16string out = tk_from_codepage(bytes, 1251);
        benchmark::DoNotOptimize(out.data());
    }
}

void encode_field(benchmark::State& state) {
    const uint32_t codepage = static_cast<uint32_t>(state.range(0));
    std::u16string text;
    tk_codepage::get(codepage).decode(field_of(codepage, 40), text);
    const tk_codepage& page = tk_codepage::get(codepage);
    std::string out;
    for (auto _ : state) {
        page.encode(text, out);
        benchmark::DoNotOptimize(out.data());
    }
}

} // namespace

BENCHMARK(decode_field)->Args({1251, 40})->Args({1251, 254})->Args({620, 40})->Args({932, 40});
BENCHMARK(lookup_and_decode_field);
BENCHMARK(encode_field)->Arg(1251)->Arg(620)->Arg(65001);
BENCHMARK_MAIN();
