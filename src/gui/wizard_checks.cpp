#include "gui/wizard_checks.h"

#include "gui/qt_text.h"
#include "gui/wizard_messages.h"
#include "gui/wizard_settings.h"

#include <QDir>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;

wizard_problem message(const QString& text) {
    return {wizard_problem::kind::message, text};
}

wizard_problem error(const QString& text) {
    return {wizard_problem::kind::error, text};
}

fs::path to_path(const std::u16string& text) {
    return fs::path(to_qt(text).toStdString());
}

QString reason(const std::error_code& ec) {
    return QString::fromLocal8Bit(ec.message().c_str());
}

std::optional<wizard_problem> check_script(const wizard_settings& settings,
                                           const fs::path& folder) {
    const QString script = to_qt(settings.source().destination);
    const fs::path path = fs::absolute(to_path(settings.source().destination));
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return error(QStringLiteral("'%1' is a folder.\nYou should enter T-SQL script file name")
                         .arg(script));
    if (!fs::is_directory(path.parent_path(), ec))
        return error(QStringLiteral("The folder of the T-SQL script '%1' does not exist.\nPlease "
                                    "verify the correct path was given.")
                         .arg(script));
    // A script written over a table or memo file of the source would destroy it.
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        if (fs::equivalent(it->path(), path, ignored))
            return error(QStringLiteral("The T-SQL script '%1' is a file of the DBF database "
                                        "folder.\nPlease choose another file name.")
                             .arg(script));
    }
    const wizard_script_settings s = settings.script();
    if (settings.source().definitions_only && !s.create_table)
        return error(QStringLiteral("'Convert table definitions only' writes the 'CREATE TABLE' "
                                    "statements, which the script settings leave out.\nTick "
                                    "Insert 'CREATE TABLE' statements, or convert the records "
                                    "too."));
    return std::nullopt;
}

} // namespace

std::optional<wizard_problem> wizard_check_source(const wizard_settings& settings) {
    const wizard_source_settings s = settings.source();
    if (s.folder.empty())
        return message(QStringLiteral("You should enter path to DBF database"));
    if (s.destination.empty())
        return message(settings.direct()
                           ? QStringLiteral("You should enter MS SQL database name")
                           : QStringLiteral("You should enter T-SQL script file name"));
    const fs::path folder = to_path(s.folder);
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (status.type() == fs::file_type::not_found)
        return error(QStringLiteral(
            "Path to DBF database does not exist.\nPlease verify the correct path was given."));
    if (!ec && !fs::is_directory(status))
        return error(QStringLiteral("You should enter path to DBF database, not a file name"));
    if (!ec)
        fs::directory_iterator(folder, ec);
    if (ec)
        return error(QStringLiteral("The DBF database folder '%1' cannot be read: %2.")
                         .arg(to_qt(s.folder), reason(ec)));
    if (!settings.direct())
        return check_script(settings, folder);
    return std::nullopt;
}

void wizard_show(const wizard_problem& problem) {
    if (problem.how == wizard_problem::kind::message)
        wizard_message(problem.text);
    else
        wizard_error(problem.text);
}

bool wizard_script_exists(const wizard_settings& settings) {
    std::error_code ec;
    return fs::exists(to_path(settings.source().destination), ec);
}
