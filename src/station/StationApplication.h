#pragma once

#include <QCoreApplication>
#include <memory>

// The application object the station window needs, named and versioned as the station. Made here
// so that the program's entry stays clear of window headers.
std::unique_ptr<QCoreApplication> makeStationApplication(int& argc, char** argv);
