#pragma once

#include <QByteArray>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

// The independent check of what a ZPL printer receives: each job rendered by another ZPL
// renderer (tests/zpl/render.js, the npm package zpl-renderer-js under Node), and the barcodes on
// every rendered label read back with zbarimg.
namespace ZplCheck {

// Empty when node, the renderer (installed by scripts/setup.sh) and zbarimg are there, else what
// is missing.
QString missing();

// For each job, the barcodes read from its labels, in label order; a label without one reads
// as nothing. A job the renderer refuses fails the test.
QList<QStringList> scan(const QList<QByteArray>& jobs, QSizeF labelMm, int dpi);

} // namespace ZplCheck
