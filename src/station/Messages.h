#pragma once

#include <QString>

// Every modal message of the station goes through here, so a test (or an unattended run) can
// answer it. The real one is a message box with the application's title and an OK button.
class Messages {
public:
    enum class Icon { None, Warning };

    virtual ~Messages() = default;
    // Returns when the user has closed the message.
    virtual void show(const QString& text, Icon icon) = 0;
};

class MessageBoxMessages : public Messages {
public:
    void show(const QString& text, Icon icon) override;
};
