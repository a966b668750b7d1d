#include "testsupport/sample_installation.h"

#include "admin.h"
#include "platform/error.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace quill::component::testing {

QString componentLibraryPath()
{
    return QString::fromUtf8(QUILL_COMPONENT_PATH);
}

QString adminToolPath()
{
    return QString::fromUtf8(QUILL_ADMIN_TOOL_PATH);
}

SampleInstallation makeSampleInstallation(const QString& dir)
{
    if (!QStandardPaths::isTestModeEnabled())
        throw platform::Error(u"makeSampleInstallation needs QStandardPaths test mode"_s);
    // A private home keeps test-mode standard paths (the registry among them) apart from other test
    // processes that ctest runs at the same time.
    const QString home = QDir(dir).filePath(u"home"_s);
    if (!QDir().mkpath(home) || !qputenv("HOME", QFile::encodeName(home)))
        throw platform::Error(u"Unable to make the test home "_s + home);
    const QString dataDir = QDir(dir).filePath(u"data"_s);
    const admin::SampleInfo info = admin::makeSample(dataDir);

    SampleInstallation result;
    result.dataDir = info.dataDir;
    result.libraryPath = componentLibraryPath();
    result.dominoPath = QFileInfo(result.libraryPath).absolutePath();
    result.registryPath = platform::registryFilePath();
    result.serverName = info.serverName;
    result.userName = info.userName;
    result.password = info.password;
    result.guestName = info.guestName;
    result.guestPassword = info.guestPassword;

    admin::InstallOptions options;
    options.registryFile = result.registryPath;
    options.dominoPath = result.dominoPath;
    options.dataPath = result.dataDir;
    options.libraryPath = result.libraryPath;
    admin::install(options);
    return result;
}

} // namespace quill::component::testing
