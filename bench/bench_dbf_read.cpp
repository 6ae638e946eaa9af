// Decoding throughput of the DBF reader: a generated table of 1,000,000 records with memo
// fields is walked record by record, every field decoded, as a conversion reads its source.
//
// Counters: records per second, MB per second (table and memo bytes read), and the process's
// peak resident memory, which stays at the size of a record and a memo, not of the table.
//   bench_dbf_read [--benchmark_min_time=...]   TABRIX_BENCH_RECORDS=n changes the size
#include "dbf/dbf_memo_file.h"
#include "dbf/dbf_recordset.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct field_spec {
    const char* name;
    char type;
    uint8_t len;
    uint8_t dec;
};

// A Visual FoxPro table: whole number, text, decimal, date, logical, date-time, double, memo.
constexpr field_spec vfp_fields[] = {
    {"ID", 'I', 4, 0},     {"NAME", 'C', 30, 0}, {"AMOUNT", 'N', 12, 2}, {"BORN", 'D', 8, 0},
    {"ACTIVE", 'L', 1, 0}, {"SEEN", 'T', 8, 0},  {"RATIO", 'B', 8, 0},   {"NOTE", 'M', 4, 0},
};

// A dBASE III table with its old-layout memo file.
constexpr field_spec dbase3_fields[] = {
    {"ID", 'N', 9, 0},   {"NAME", 'C', 30, 0},  {"AMOUNT", 'N', 12, 2},
    {"BORN", 'D', 8, 0}, {"ACTIVE", 'L', 1, 0}, {"NOTE", 'M', 10, 0},
};

void put16(std::string& s, size_t at, uint32_t v) {
    s[at] = char(v);
    s[at + 1] = char(v >> 8);
}
void put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + size_t(i)] = char(v >> (8 * i));
}
void put32be(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + size_t(i)] = char(v >> (8 * (3 - i)));
}

// Right-aligned decimal text of `width` characters.
void put_number(char* at, size_t width, uint64_t v) {
    for (size_t i = width; i-- > 0;) {
        at[i] = v || i == width - 1 ? char('0' + v % 10) : ' ';
        v /= 10;
    }
}

class generated_table {
public:
    generated_table(bool vfp, uint32_t records) : vfp_(vfp) {
        char templ[] = "/tmp/tabrix-bench-XXXXXX";
        if (!mkdtemp(templ))
            std::abort();
        folder_ = templ;
        table_ = folder_ + "/bench.dbf";
        write(records);
    }
    ~generated_table() {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    const std::string& path() const { return table_; }
    uint64_t bytes() const { return bytes_; }

private:
    void write(uint32_t records) {
        const field_spec* fields = vfp_ ? vfp_fields : dbase3_fields;
        const size_t count = vfp_ ? std::size(vfp_fields) : std::size(dbase3_fields);
        uint32_t rec_size = 1;
        for (size_t i = 0; i < count; ++i)
            rec_size += fields[i].len;
        const uint32_t header_size = 32 + uint32_t(count) * 32 + 1 + (vfp_ ? 263 : 0);

        std::string header(header_size, '\0');
        header[0] = char(vfp_ ? 0x30 : 0x83);
        put32(header, 4, records);
        put16(header, 8, header_size);
        put16(header, 10, rec_size);
        header[28] = char(vfp_ ? 0x02 : 0);
        header[29] = 0x03; // Windows ANSI
        uint32_t offset = 1;
        for (size_t i = 0; i < count; ++i) {
            const size_t d = 32 + i * 32;
            header.replace(d, std::char_traits<char>::length(fields[i].name), fields[i].name);
            header[d + 11] = fields[i].type;
            put32(header, d + 12, offset);
            header[d + 16] = char(fields[i].len);
            header[d + 17] = char(fields[i].dec);
            offset += fields[i].len;
        }
        header[32 + count * 32] = 0x0d;

        FILE* table = std::fopen(table_.c_str(), "wb");
        FILE* memo = std::fopen((folder_ + (vfp_ ? "/bench.fpt" : "/bench.dbt")).c_str(), "wb");
        std::fwrite(header.data(), 1, header.size(), table);

        // Memo files: FoxPro with 64-byte blocks, the old layout with its fixed 512.
        const uint32_t block_size = vfp_ ? 64 : 512;
        std::string memo_header(512, '\0');
        uint32_t next_block = 512 / block_size;
        std::fwrite(memo_header.data(), 1, memo_header.size(), memo);

        std::string record(rec_size, ' ');
        std::string block;
        for (uint32_t r = 0; r < records; ++r) {
            char* p = record.data() + 1;
            const std::string note = "Note " + std::to_string(r) +
                                     ": delivered in two parts, invoice sent, customer informed.";
            // Every fifth record has no memo.
            const bool has_memo = r % 5 != 0;
            if (vfp_) {
                put32(record, 1, r + 1);
                p += 4;
            } else {
                put_number(p, 9, r + 1);
                p += 9;
            }
            std::snprintf(p, 31, "%-30s",
                          ("Customer " + std::to_string(r * 7919 % 100000)).c_str());
            p += 30;
            put_number(p, 9, r % 1000000);
            p[9] = '.';
            put_number(p + 10, 2, r % 100);
            if (p[10] == ' ')
                p[10] = '0';
            p += 12;
            std::snprintf(p, 9, "%04u%02u%02u", 1950 + r % 60, 1 + r % 12, 1 + r % 28);
            p += 8;
            *p++ = r % 2 ? 'T' : 'F';
            if (vfp_) {
                put32(record, size_t(p - record.data()), 2451545 + r % 8000);
                put32(record, size_t(p - record.data()) + 4, (r * 1000) % 86400000);
                p += 8;
                const double ratio = r / 7.0;
                std::memcpy(p, &ratio, 8);
                p += 8;
                put32(record, size_t(p - record.data()), has_memo ? next_block : 0);
            } else if (has_memo) {
                put_number(p, 10, next_block);
            } else {
                std::memset(p, ' ', 10);
            }
            std::fwrite(record.data(), 1, record.size(), table);

            if (!has_memo)
                continue;
            if (vfp_) {
                block.assign(8, '\0');
                put32be(block, 0, 1);
                put32be(block, 4, uint32_t(note.size()));
                block += note;
            } else {
                block = note + "\x1a\x1a";
            }
            const uint32_t blocks = uint32_t((block.size() + block_size - 1) / block_size);
            block.resize(size_t(blocks) * block_size, '\0');
            std::fwrite(block.data(), 1, block.size(), memo);
            next_block += blocks;
        }
        std::fputc(0x1a, table);

        // The memo header's next free block.
        memo_header.assign(8, '\0');
        if (vfp_) {
            put32be(memo_header, 0, next_block);
            memo_header[6] = char(block_size >> 8);
            memo_header[7] = char(block_size);
        } else {
            put32(memo_header, 0, next_block);
        }
        std::fseek(memo, 0, SEEK_SET);
        std::fwrite(memo_header.data(), 1, memo_header.size(), memo);
        std::fclose(memo);
        std::fclose(table);
        bytes_ = uint64_t(header_size) + uint64_t(rec_size) * records;
    }

    bool vfp_;
    std::string folder_;
    std::string table_;
    uint64_t bytes_ = 0;
};

uint32_t record_count() {
    const char* n = std::getenv("TABRIX_BENCH_RECORDS");
    return n ? uint32_t(std::strtoul(n, nullptr, 10)) : 1'000'000;
}

double peak_rss_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void read_table(benchmark::State& state, bool vfp) {
    const uint32_t records = record_count();
    const generated_table table(vfp, records);
    uint64_t memo_bytes = 0;
    uint64_t values = 0;
    for (auto _ : state) {
        dbf_recordset recordset(table.path(), dbf_recordset::mode_read);
        memo_bytes = 0;
        for (recordset.reset(); !recordset.is_eof(); recordset.next()) {
            udb_record* record = recordset.get_item();
            const udb_field& note = (*record)[record->size() - 1];
            if (note.get_type() == VT_BSTR)
                memo_bytes += note.to_wstring().size();
            values += record->size();
            benchmark::DoNotOptimize(record);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * records);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(table.bytes() + memo_bytes));
    state.counters["records"] = records;
    state.counters["memo_MB"] = double(memo_bytes) / 1e6;
    state.counters["peak_rss_MB"] = peak_rss_mb();
    benchmark::DoNotOptimize(values);
}

void BM_read_vfp_with_fpt_memo(benchmark::State& state) {
    read_table(state, true);
}
void BM_read_dbase3_with_dbt_memo(benchmark::State& state) {
    read_table(state, false);
}

BENCHMARK(BM_read_vfp_with_fpt_memo)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_read_dbase3_with_dbt_memo)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
