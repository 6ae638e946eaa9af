#include "app/tabrix_sample.h"

#include "dbf/dbf_database.h"
#include "dbf/dbf_file_lookup.h"
#include "dbf/dbf_recordset.h"
#include "tk/tk_exception.h"
#include "tk/tk_huge_file.h"
#include "tk/tk_text.h"
#include "udb/udb_record.h"
#include "udb/udb_schema.h"

#include <initializer_list>

namespace {

// Header facts of a DBF file: the header length (bytes 8-9) and record length (10-11), both
// little-endian; byte 29 is the language driver, which names the code page of the text.
constexpr uint64_t language_driver_offset = 29;
constexpr uint8_t ld_windows_latin1 = 0x03;
constexpr uint8_t ld_russian_dos = 0x65;

t_ftd text_column(const char16_t* name, uint32_t size) {
    return t_ftd(size, name, VT_BSTR);
}

t_ftd memo_column(const char16_t* name) {
    return t_ftd(0, name, VT_BSTR);
}

t_ftd decimal_column(const char16_t* name, uint32_t precision, uint32_t scale) {
    return t_ftd(0, name, VT_DECIMAL, false, false, ole_variant(), precision * 256 + scale);
}

t_ftd date_column(const char16_t* name) {
    return t_ftd(0, name, VT_DATE, false, false, ole_variant(), t_ftd::date_only);
}

// Values given as text and read as their column's types; an empty text is an empty value.
struct sample_row {
    std::initializer_list<std::u16string_view> values;
    bool deleted = false;
};

// Creates the table, sets its code page, appends the rows and marks the deleted ones.
tabrix_sample_table write_table(dbf_database& folder, const std::u16string& name,
                                const udb_schema& schema, uint8_t language_driver,
                                std::initializer_list<sample_row> rows) {
    if (folder.is_table_exist(name))
        folder.delete_tab(name);
    folder.create_table(name, schema, udb_indexes());
    const std::string path = folder.get_table_path(name);

    // A new table has no code page of its own; the rows are written after this is set, so
    // their text is stored in it.
    tk_huge_file(path, true).put_at(language_driver_offset, &language_driver, 1);

    std::vector<uint32_t> deleted;
    {
        dbf_recordset table(path, dbf_recordset::mode_write, 0, &folder);
        udb_record record;
        for (const t_ftd& column : schema)
            record.add_field(column.name, column.size);
        for (const sample_row& row : rows) {
            size_t i = 0;
            for (std::u16string_view text : row.values) {
                if (text.empty())
                    record[i] = ole_variant();
                else
                    record[i].assign_from_wstring(text, schema[i].vartype);
                ++i;
            }
            if (row.deleted)
                deleted.push_back(table.get_record_count());
            table.append_record(record);
        }
        table.finish();
    }

    tk_huge_file file(path, true);
    const uint64_t data_offset = file.u16_at(8);
    const uint64_t record_length = file.u16_at(10);
    const uint8_t mark = '*';
    for (uint32_t index : deleted)
        file.put_at(data_offset + index * record_length, &mark, 1);
    return {name, uint32_t(rows.size()), uint32_t(deleted.size())};
}

} // namespace

std::vector<tabrix_sample_table> tabrix_write_sample(const std::filesystem::path& folder,
                                                     bool replace) {
    std::error_code ec;
    if (!replace && std::filesystem::is_directory(folder, ec)) {
        for (const char* name : {"customers", "orders", "stock"}) {
            for (const char* extension : {".dbf", ".dbt"}) {
                const std::string found =
                    dbf_find_file((folder / (std::string(name) + extension)).string());
                if (!found.empty())
                    throw tabrix_sample_exists("'" + found + "' exists");
            }
        }
    }
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw tk_exception("Cannot create the folder " + folder.string() + ": " + ec.message(),
                           tk_exception::stop_run);
    dbf_database database(tk_from_ansi(folder.string()), true, 0);
    std::vector<tabrix_sample_table> written;

    udb_schema customers;
    customers.push_back(t_ftd(0, u"ID", VT_I4));
    customers.push_back(text_column(u"NAME", 30));
    customers.push_back(text_column(u"CITY", 20));
    customers.push_back(date_column(u"SINCE"));
    customers.push_back(decimal_column(u"BALANCE", 10, 2));
    customers.push_back(t_ftd(0, u"ACTIVE", VT_BOOL));
    customers.push_back(memo_column(u"NOTES"));
    written.push_back(write_table(
        database, u"customers", customers, ld_windows_latin1,
        {
            {{u"1", u"Müller & Söhne GmbH", u"München", u"1998-03-14", u"12500.75", u"true",
              u"Stammkunde seit 1998.\r\nLiefert nur dienstags – bitte vorher anrufen."}},
            {{u"2", u"Crème Brûlée SARL", u"Besançon", u"2003-11-02", u"-320.10", u"false",
              u"Paiement à 30 jours. «Très bon client»"}},
            {{u"3", u"O'Brien's Pub", u"Dublin", u"1975-07-30", u"0", u"true",
              u"An apostrophe in a name: it's doubled in the script."}},
            {{u"4", u"Ærø Fiskeri ApS", u"Ærøskøbing", u"1968-01-05", u"98765.43", u"true", u""}},
            {{u"5", u"Closed Account Ltd.", u"Leeds", u"2001-09-09", u"1.00", u"false",
              u"This record carries the deleted mark."},
             true},
            {{u"6", u"José Núñez", u"Sevilla", u"", u"450", u"false",
              u"Año nuevo: ¡pedido especial! Fecha de alta desconocida."}},
        }));

    udb_schema orders;
    orders.push_back(t_ftd(0, u"ORDER_NO", VT_I4));
    orders.push_back(t_ftd(0, u"CUSTOMER", VT_I4));
    orders.push_back(date_column(u"ORDERED"));
    orders.push_back(decimal_column(u"TOTAL", 12, 2));
    orders.push_back(t_ftd(0, u"PAID", VT_BOOL));
    orders.push_back(memo_column(u"REMARK"));
    written.push_back(
        write_table(database, u"orders", orders, ld_windows_latin1,
                    {
                        {{u"1001", u"1", u"2023-01-15", u"1499.90", u"true", u"Express delivery"}},
                        {{u"1002", u"2", u"2023-02-28", u"89.50", u"false", u""}},
                        {{u"1003", u"1", u"2024-02-29", u"0.99", u"true", u"Leap day order"}},
                        {{u"1004", u"6", u"1999-12-31", u"1000000.00", u"false",
                          u"Millennium order; remark with\r\ntwo lines"}},
                    }));

    udb_schema stock;
    stock.push_back(text_column(u"CODE", 8));
    stock.push_back(text_column(u"NAME", 30));
    stock.push_back(t_ftd(0, u"QTY", VT_I4));
    stock.push_back(decimal_column(u"PRICE", 8, 2));
    stock.push_back(date_column(u"ARRIVED"));
    stock.push_back(memo_column(u"NOTE"));
    written.push_back(
        write_table(database, u"stock", stock, ld_russian_dos,
                    {
                        {{u"TEA-01", u"Чай зелёный", u"120", u"245.50", u"2024-05-06",
                          u"Хранить в сухом месте."}},
                        {{u"HON-02", u"Мёд липовый", u"35", u"610.00", u"2024-06-17", u""}},
                        {{u"MLK-03", u"Сгущёнка", u"0", u"89.90", u"2023-12-01",
                          u"Снято с продажи.\r\nОстаток списан."}},
                    }));
    return written;
}
