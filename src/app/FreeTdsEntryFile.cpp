#include "app/FreeTdsEntryFile.h"

#include "app/Failure.h"
#include "app/OdbcConnectionString.h"

#include <QDir>
#include <QFileInfo>

namespace {
constexpr char variable[] = "FREETDSCONF";
}

FreeTdsEntryFile::FreeTdsEntryFile(const ConnectionSettings& settings)
    : m_file(QDir::tempPath() + QStringLiteral("/quillon-freetds-XXXXXX.conf")) {
    // FreeTDS would only log an unreadable CA file and then refuse every server alike.
    if (!settings.caFile.isEmpty() && !QFileInfo(settings.caFile).isReadable())
        throw Failure(QStringLiteral("The CA file \"%1\" (CAFile in [Connection]) cannot be read "
                                     "by this user.")
                          .arg(settings.caFile));
    const QByteArray entry = OdbcConnectionString::freeTdsEntry(settings).toUtf8();
    if (!m_file.open() || m_file.write(entry) != entry.size() || !m_file.flush())
        throw Failure(QStringLiteral("The FreeTDS server entry cannot be written in %1: %2")
                          .arg(QDir::toNativeSeparators(QDir::tempPath()), m_file.errorString()));
    m_hadPrevious = qEnvironmentVariableIsSet(variable);
    m_previous = qgetenv(variable);
    qputenv(variable, QFile::encodeName(m_file.fileName()));
}

FreeTdsEntryFile::~FreeTdsEntryFile() {
    if (m_hadPrevious)
        qputenv(variable, m_previous);
    else
        qunsetenv(variable);
}
