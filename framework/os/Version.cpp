#include "Version.h"

#include <QSysInfo>

#ifndef BRONTAL_VERSION
#error "BRONTAL_VERSION comes from the project's version"
#endif

namespace fw {

QString appVersion()
{
    return QStringLiteral(BRONTAL_VERSION);
}

QString osVersionText()
{
    return QString("%1 (%2 %3, %4)")
        .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
             QSysInfo::currentCpuArchitecture())
        .trimmed();
}

} // namespace fw
