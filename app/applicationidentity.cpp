#include "app/applicationidentity.h"

#include <QCoreApplication>
#include <QString>

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orvanta"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvanta.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Parlink"));
    // The version comes from the resource-style text that the Windows build stamps into the executable.
    QCoreApplication::setApplicationVersion(QStringLiteral("1,0,229,0").replace(QLatin1Char(','), QLatin1Char('.')));
}
