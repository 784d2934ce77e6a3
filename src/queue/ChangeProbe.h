#pragma once

#include <QString>
#include <optional>

class LabDatabase;

// Asks the lab database one cheap question (LabDatabase::changeProbe): how many item rows the
// recent window holds and the newest Transdate among them. The window gained a request when the
// newest moved or the count grew; rows ageing out of the window only lower the count, which
// alone is no change. The first answer counts as a change: the list is empty until then.
class ChangeProbe {
public:
    explicit ChangeProbe(LabDatabase& lab);

    // Sends the probe; true when the answer shows a change. Throws Failure when the database does
    // not answer; the last answer stays.
    bool poll();
    // The next answer counts as a change (the station could not act on this one).
    void forget() { m_last.reset(); }

private:
    struct Answer {
        qint64 items = 0;
        QString newest;
    };

    LabDatabase& m_lab;
    std::optional<Answer> m_last;
};
