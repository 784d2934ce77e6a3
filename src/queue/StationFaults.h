#pragma once

#include <QMap>
#include <QString>
#include <functional>

// Station-wide faults: the lab database refuses writes, the print log cannot be appended, the
// printer or the label template cannot be used. While one is held, nothing prints; before
// printing again, a cheap check of the failed part must pass.
class StationFaults {
public:
    enum class Source { Database, PrintLog, Printer };
    // Returns when the part works; throws Failure saying what is still wrong.
    using Check = std::function<void()>;

    void setCheck(Source source, const Check& check);
    void raise(Source source, const QString& reason);
    bool held() const { return !m_held.isEmpty(); }
    // What is wrong, one line per failed part; empty when nothing is held.
    QString reason() const;

    // True when no fault is held, or when the check of every held fault passes now (those
    // faults are then dropped). A check that still fails keeps its fault, with its new reason.
    bool clearIfMended();

private:
    QMap<Source, Check> m_checks;
    QMap<Source, QString> m_held;
};
