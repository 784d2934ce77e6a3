#pragma once

#include <QWidget>
#include <memory>

class QAction;
class QPrintPreviewWidget;
class QPrinter;
class QTreeWidget;
class Report;

// The report viewer control crViewer1: a print preview of one report, a tool bar with Print and
// zoom, and a group tree (the report and its pages) beside the pages. It does not own the report.
class ReportViewerControl : public QWidget {
    Q_OBJECT
public:
    explicit ReportViewerControl(QWidget* parent = nullptr);
    ~ReportViewerControl() override;

    // The report to show; nullptr detaches it. The report must outlive its attachment.
    void setReportSource(Report* report);
    Report* reportSource() const { return m_report; }
    void setDisplayGroupTree(bool shown);
    void setEnableGroupTree(bool usable);
    // 1 fits the page to the viewer's width, 2 shows the whole page, 25 to 400 are percent.
    void zoom(qint16 level);
    // Renders the report's pages into the viewer.
    void viewReport();
    // Prints the report to the printer its template names, with no dialog. Throws Failure.
    void printReport();

    QPrintPreviewWidget* preview() const { return m_preview; }
    QTreeWidget* groupTree() const { return m_groupTree; }
    QAction* printAction() const { return m_print; }

Q_SIGNALS:
    // The Print button was pressed. The control prints nothing by itself: its owner prints (the
    // argument is the handler's to read or change, and the control does not look at it again).
    void printButtonClicked(bool& useDefault);

private:
    void paintPages(QPrinter* printer);
    void fillGroupTree();
    void onPrintButton();

    Report* m_report = nullptr;
    std::unique_ptr<QPrinter> m_printer;
    QPrintPreviewWidget* m_preview = nullptr;
    QTreeWidget* m_groupTree = nullptr;
    QAction* m_print = nullptr;
};
