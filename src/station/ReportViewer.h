#pragma once

#include <QDialog>
#include <exception>

class LabelPrinting;
class ReportViewerControl;

// The report viewer window frmReportViewer: shows ActiveReport in its one control crViewer1,
// which fills the window at any size, and prints it from there. Escape, the close box and the
// Print button close it; however it closes, ActiveReport is released.
class ReportViewer : public QDialog {
    Q_OBJECT
public:
    static constexpr int designClientWidthTwips = 4650;
    static constexpr int designClientHeightTwips = 3165;

    explicit ReportViewer(LabelPrinting& printing, QWidget* parent = nullptr);
    ~ReportViewer() override;

    // Write-only window state, false until set.
    void setShowGroupTree(bool show) { m_showGroupTree = show; }
    void setDirectPrint(bool directPrint) { m_directPrint = directPrint; }

    // Attaches ActiveReport, fits it to the width and sets the group tree; then prints it
    // (DirectPrint) or displays it. Runs once, at the latest when the window is first shown.
    void load();

    // The viewer path of presentReport: a new window with the caller's settings, shown modally
    // until it closes. A failure inside the window passes to the caller once it has closed.
    static void present(LabelPrinting& printing, bool showGroupTree, const QString& caption,
                        bool directPrint);
    // Lets printing show its reports in this window.
    static void install(LabelPrinting& printing);

    ReportViewerControl* crViewer1 = nullptr;

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void unload();
    void onPrintButtonClicked(bool& useDefault);

    LabelPrinting& m_printing;
    bool m_showGroupTree = false;
    bool m_directPrint = false;
    bool m_loaded = false;
    std::exception_ptr m_failure;
};
