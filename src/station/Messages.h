#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

class StationActivity;

// Every modal message of the station goes through here, so a test (or an unattended run) can
// answer it. The real one is a message box with the application's title and an OK button.
class Messages {
public:
    enum class Icon { None, Warning };

    virtual ~Messages() = default;
    // Returns when the user has closed the message.
    virtual void show(const QString& text, Icon icon) = 0;
    // Asks the user to pick one of choices or, with freeText, to type another; nothing when the
    // user cancelled (and where nobody can be asked).
    virtual std::optional<QString> choose(const QString& text, const QStringList& choices,
                                          bool freeText) {
        Q_UNUSED(text);
        Q_UNUSED(choices);
        Q_UNUSED(freeText);
        return std::nullopt;
    }
};

class MessageBoxMessages : public Messages {
public:
    void show(const QString& text, Icon icon) override;
    std::optional<QString> choose(const QString& text, const QStringList& choices,
                                  bool freeText) override;
};

// A person's box never opens inside another routine's yield: that routine (a refresh, a print
// job) would wait for the person, holding what it holds. Such a box waits until no routine runs,
// then opens; boxes open one at a time, in the order they came.
class HeldMessages : public QObject, public Messages {
    Q_OBJECT
public:
    HeldMessages(Messages& inner, StationActivity& activity);
    void show(const QString& text, Icon icon) override;
    // A question is a person's own step: it opens at once.
    std::optional<QString> choose(const QString& text, const QStringList& choices,
                                  bool freeText) override {
        return m_inner.choose(text, choices, freeText);
    }
    int waiting() const { return int(m_waiting.size()); }

private:
    void showWaiting();

    struct Message {
        QString text;
        Icon icon;
    };
    Messages& m_inner;
    StationActivity& m_activity;
    QList<Message> m_waiting;
    bool m_showing = false;
};
