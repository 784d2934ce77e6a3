#pragma once

#include <QString>

// Cuts source at the first delimiter (exact case): returns the text before it and leaves the text
// after it in source. Without a delimiter the whole source is returned and source is emptied.
QString TakeToken(QString& source, const QString& delimiter);
