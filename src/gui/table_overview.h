// What the table page shows of one table before it is converted: its record count, file
// layout and code page, and its first records decoded in the code page chosen, so that text
// read in the wrong code page shows before the conversion rather than after.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

struct table_overview {
    uint32_t records = 0;
    QString layout; // "dBASE III", "Visual FoxPro", ...
    uint32_t codepage = 0;
    bool codepage_guessed = false; // the table names none: the default or UTF-8 was taken
    QStringList columns;
    std::vector<QStringList> rows; // the first records, each value as text
    QStringList notes;             // what reading the table reported (a memo file missing)
    QString failure;               // why the table cannot be read; empty when it can
};

// Reads the table `name` of `folder` with the wizard's encoding setting (0 for the table's
// own) and default code page. Never raises: a table that cannot be read has `failure`.
// Failures met on the way are collected in `notes` rather than shown.
table_overview read_table_overview(const std::u16string& folder, const std::u16string& name,
                                   uint32_t encoding, uint32_t default_codepage, int max_rows);

// The layout of a DBF version byte ("FoxPro 2 with memo"), or "version 0x.." when unknown.
QString dbf_layout_name(uint8_t version);
