#pragma once

#include "app/LabDatabase.h"

#include <QString>
#include <memory>

// The laboratory database behind the open named connection, in the dialect of its driver:
// QODBC speaks to SQL Server, QSQLITE to a reference database file. Throws Failure when the
// connection is not open, when its driver is neither, or when a SQLite file lacks the tables
// of a laboratory database. The connection must outlive the returned object.
std::unique_ptr<LabDatabase> makeLabDatabase(const QString& connectionName);
