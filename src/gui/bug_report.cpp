#include "gui/bug_report.h"

#include "gui/wizard_messages.h"
#include "tk/tk_product.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

bug_report make_bug_report(const QString& message) {
    const QDateTime now = QDateTime::currentDateTime();
    bug_report report;
    report.subject = QStringLiteral("Bug report on ") + wizard_title();
    report.body = message + QStringLiteral("\n\nDate: ") +
                  now.toString(QStringLiteral("yyyy/M/d H:mm")) + QStringLiteral("\nProgram: ") +
                  wizard_title() + QStringLiteral(" (") + QString::fromLatin1(qVersion()) +
                  QStringLiteral(")\n");
    return report;
}

QString bug_report_mailto(const bug_report& report) {
    return QStringLiteral("mailto:") + QString::fromLatin1(tk_support_email) +
           QStringLiteral("?subject=") +
           QString::fromLatin1(QUrl::toPercentEncoding(report.subject)) + QStringLiteral("&body=") +
           QString::fromLatin1(QUrl::toPercentEncoding(report.body));
}

QString send_bug_report(const bug_report& report, QString& failure) {
    failure.clear();
    if (QDesktopServices::openUrl(QUrl::fromEncoded(bug_report_mailto(report).toLatin1())))
        return QString();
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString name =
        QStringLiteral("tabrix-bug-report-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    // A report of the same second is not overwritten.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        failure = file.errorString();
        return path;
    }
    const QByteArray text =
        (QStringLiteral("To: ") + QString::fromLatin1(tk_support_email) +
         QStringLiteral("\nSubject: ") + report.subject + QStringLiteral("\n\n") + report.body)
            .toUtf8();
    if (file.write(text) != text.size() || !file.flush())
        failure = file.errorString();
    return path;
}
