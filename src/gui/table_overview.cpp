#include "gui/table_overview.h"

#include "dbf/dbf_database.h"
#include "dbf/dbf_recordset.h"
#include "gui/gui_error_reporter.h"
#include "gui/qt_text.h"
#include "tk/tk_error_handler.h"

namespace {

// Collects what the table reports while it is opened, instead of asking the user.
class collecting_reporter : public error_reporter {
public:
    explicit collecting_reporter(QStringList& notes) : notes_(notes) {}
    void show_error(const std::string& text) override { notes_ << QString::fromUtf8(text); }
    tk_continue_answer ask_continue(const std::string& text) override {
        notes_ << QString::fromUtf8(text);
        return {};
    }
    void show_internal_error(const std::string& text) override {
        notes_ << QString::fromUtf8(text);
    }

private:
    QStringList& notes_;
};

// The wizard's dialogs stay away while a table is only being looked at. What is reported
// enters the error list too, which each run empties before it starts.
class quiet_reports {
public:
    explicit quiet_reports(QStringList& notes) : handler_(error_handler::try_instance()) {
        if (handler_)
            handler_->set_reporter(std::make_unique<collecting_reporter>(notes));
    }
    ~quiet_reports() {
        if (handler_)
            handler_->set_reporter(std::make_unique<gui_error_reporter>());
    }
    quiet_reports(const quiet_reports&) = delete;
    quiet_reports& operator=(const quiet_reports&) = delete;

private:
    error_handler* handler_;
};

QString value_text(const ole_variant& value) {
    QString text = to_qt(value.to_wstring());
    text.replace(QLatin1Char('\n'), QChar(0x21B5));
    text.remove(QLatin1Char('\r'));
    if (text.size() > 80)
        text = text.left(79) + QChar(0x2026);
    return text;
}

} // namespace

QString dbf_layout_name(uint8_t version) {
    switch (version) {
    case 0x02:
        return QStringLiteral("FoxBase / dBASE II");
    case 0x03:
        return QStringLiteral("dBASE III / FoxPro");
    case 0x04:
        return QStringLiteral("dBASE level 7");
    case 0x30:
    case 0x31:
    case 0x32:
        return QStringLiteral("Visual FoxPro");
    case 0x43:
    case 0x63:
    case 0x8B:
    case 0xCB:
        return QStringLiteral("dBASE IV with memo");
    case 0x83:
        return QStringLiteral("dBASE III with memo");
    case 0x8C:
        return QStringLiteral("dBASE level 7 with memo");
    case 0xF5:
        return QStringLiteral("FoxPro 2 with memo");
    case 0xFB:
        return QStringLiteral("FoxBASE");
    default:
        return QStringLiteral("version 0x%1").arg(uint(version), 2, 16, QLatin1Char('0'));
    }
}

table_overview read_table_overview(const std::u16string& folder, const std::u16string& name,
                                   uint32_t encoding, uint32_t default_codepage, int max_rows) {
    table_overview o;
    quiet_reports quiet(o.notes);
    try {
        dbf_database database(folder, true, encoding, default_codepage);
        std::unique_ptr<udb_recordset> table = database.get_table(name, udb_open_mode::read);
        const auto* dbf = dynamic_cast<const dbf_recordset*>(table.get());
        o.records = table->get_record_count();
        if (dbf) {
            o.layout = dbf_layout_name(dbf->get_version());
            o.codepage = dbf->get_codepage();
            o.codepage_guessed = dbf->is_codepage_guessed();
        }
        for (const t_ftd& column : table->get_schema())
            o.columns << to_qt(column.name);
        table->reset();
        for (int row = 0; row < max_rows && !table->is_eof(); ++row, table->next()) {
            const udb_record* record = table->get_item();
            if (!record)
                break;
            QStringList values;
            for (size_t i = 0; i < record->size(); ++i)
                values << value_text((*record)[i]);
            o.rows.push_back(values);
        }
    } catch (const tk_exception& e) {
        o.failure = QString::fromUtf8(e.message());
    } catch (const std::exception& e) {
        o.failure = QString::fromUtf8(e.what());
    }
    return o;
}
