#pragma once

#include <QListView>

class ExamChecklistModel;

// The exam checklist lstExams, a view of a request's labels, each with a check box. Entries are
// counted from 1 as the station's routines count them.
class CheckList : public QListView {
    Q_OBJECT
public:
    explicit CheckList(QWidget* parent = nullptr);

    void setChecklistModel(ExamChecklistModel* model);
    ExamChecklistModel* checklistModel() const { return m_model; }

    int entryCount() const;
    QString entryText(int n) const;
    bool isTicked(int n) const;
    void setTicked(int n, bool ticked);
    void tickAll();
    void untickAll();

private:
    ExamChecklistModel* m_model = nullptr;
};
