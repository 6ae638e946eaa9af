// libFuzzer target for the DBF table and memo readers.
//
// Input: the table's length as 4 little-endian bytes, the table's bytes, then the memo file's
// bytes (what follows the table). Both are written to a private folder as t.dbf and as the
// memo file the table's version names; then the table is opened and every record decoded,
// every value turned into text. Failures the readers report (tk_exception) are fine; a crash,
// an out-of-bounds access, undefined behaviour or a leak is a finding.
#include "dbf/dbf_header.h"
#include "dbf/dbf_memo_file.h"
#include "dbf/dbf_recordset.h"
#include "tk/tk_exception.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// Records read per input: enough to reach every layout path, few enough to stay fast.
constexpr uint32_t max_records = 500;

// The private folder, made once and removed when the process ends.
char folder_name[] = "/tmp/tabrix-fuzz-XXXXXX";

const std::string& folder() {
    static const std::string path = [] {
        if (!mkdtemp(folder_name))
            std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder_name, ec);
        });
        return std::string(folder_name);
    }();
    return path;
}

void write(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

void remove_memo_files() {
    for (const char* ext : {"dbt", "fpt", "smt", "dct"})
        std::remove((folder() + "/t." + ext).c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    size_t table_size =
        size_t(data[0]) | size_t(data[1]) << 8 | size_t(data[2]) << 16 | size_t(data[3]) << 24;
    data += 4;
    size -= 4;
    if (table_size > size)
        table_size = size;

    const std::string table = folder() + "/t.dbf";
    write(table, data, table_size);
    remove_memo_files();
    if (table_size >= 32) {
        // The memo file goes where the table's version byte and flags send the reader; with
        // no memo kind it still goes beside the table as .dbt, for tables whose memo fields
        // make the reader look for one.
        int32_t kind = dbf_get_memo_type(data[0], data[28]);
        const char* ext = dbf_memo_file::extension(kind == dbf_memo_none ? dbf_memo_old : kind);
        write(folder() + "/t." + ext, data + table_size, size - table_size);
    }

    try {
        dbf_recordset recordset(table, dbf_recordset::mode_read);
        uint32_t n = 0;
        for (recordset.reset(); !recordset.is_eof() && n < max_records; recordset.next(), ++n) {
            udb_record* record = recordset.get_item();
            if (!record)
                break;
            for (size_t i = 0; i < record->size(); ++i)
                (void)(*record)[i].to_wstring();
        }
    } catch (const tk_exception&) {
    }
    return 0;
}
