#pragma once

#include <QString>

// Messages of unattended work (automatic printing, timed refreshes): shown without waiting for
// anyone, and kept where the lab's IT can read them later.
class Notices {
public:
    virtual ~Notices() = default;
    virtual void notice(const QString& text) = 0;
};
