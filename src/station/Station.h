#pragma once

#include <QObject>
#include <memory>

class LabDatabase;
class Messages;
class StationWindow;

// The running station: the window and the rooms that give it behaviour, over one lab database.
class Station : public QObject {
    Q_OBJECT
public:
    Station(LabDatabase& lab, Messages& messages, QObject* parent = nullptr);
    ~Station() override;

    void show();
    StationWindow& window() { return *m_window; }
    LabDatabase& lab() { return m_lab; }
    Messages& messages() { return m_messages; }

private:
    LabDatabase& m_lab;
    Messages& m_messages;
    std::unique_ptr<StationWindow> m_window;
};
