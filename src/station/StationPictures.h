#pragma once

#include <QIcon>
#include <QPixmap>

// The station's own pictures, drawn rather than shipped as files.
namespace StationPictures {

QPixmap searchSign(); // 49 x 50: white magnifying glass on a blue disc
QPixmap keyboard();   // 36 x 31
QIcon windowIcon();   // 32 x 32: a barcode label

} // namespace StationPictures
