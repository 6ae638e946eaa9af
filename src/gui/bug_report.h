// A bug report for the maker: a mail the user sees and sends from their mail program, or,
// when there is none, a text file whose place the user is told.
#pragma once

#include <QString>

struct bug_report {
    QString subject; // "Bug report on Tabrix 2.3"
    QString body;    // the message, the date and the program's version
};

bug_report make_bug_report(const QString& message);

// The mailto: address that opens the report in a mail composer.
QString bug_report_mailto(const bug_report& report);

// Hands the report to the mail program; when none takes it, saves it as a file in the
// documents folder (the home folder without one) and answers the file's path. Answers an
// empty text when the mail program took it; raises nothing.
QString send_bug_report(const bug_report& report, QString& failure);
