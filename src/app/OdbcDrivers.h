#pragma once

#include <QStringList>

// Names of the ODBC drivers installed on this workstation (the platform's driver registry).
QStringList installedOdbcDrivers();
