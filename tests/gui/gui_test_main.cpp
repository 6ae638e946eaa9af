// The wizard's tests run without a display (the offscreen platform unless another is
// given), with the settings store and the home folder in a scratch folder of their own.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// The offscreen platform says for every window what it cannot do with it; nothing to see.
void quiet_platform(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QStringLiteral("This plugin does not support")))
        return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, text).toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quiet_platform);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const QString home = QDir::temp().filePath(
        QStringLiteral("tabrix-gui-tests-%1").arg(QCoreApplication::applicationPid()));
    QDir().mkpath(home);
    QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("HOME", home.toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", home.toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home + QStringLiteral("/config")).toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    QDir(home).removeRecursively();
    return status;
}
