#include "station/StationWindow.h"

#include "station/CheckList.h"
#include "station/RequestGrid.h"
#include "station/ResizeRule.h"
#include "station/StationFrame.h"
#include "station/StationPictures.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>

namespace {

QFont designFont(const char* family, qreal points, bool bold = false, bool italic = false) {
    QFont font{QLatin1String(family)};
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QString rgb(const QColor& c) {
    return QStringLiteral("rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

void setColours(QWidget* w, const QColor& text, const QColor& back) {
    w->setStyleSheet(QStringLiteral("color:%1;background-color:%2;").arg(rgb(text), rgb(back)));
}

// A button's background as a style sheet would give it, but through the palette. A style sheet
// recolours a copy of the palette at every paint of the button, and the style caches a picture of
// the button under each new palette: the keyboard button, repainted whenever its frame is enabled
// or disabled, filled that cache at every request.
void setButtonBackground(QPushButton* button, const QColor& back) {
    QPalette colours = button->palette();
    colours.setColor(QPalette::Button, back);
    colours.setColor(QPalette::Window, back);
    colours.setColor(QPalette::Light, back.lighter(115));
    colours.setColor(QPalette::Midlight, back.lighter(107));
    colours.setColor(QPalette::Dark, back.darker(150));
    colours.setColor(QPalette::Shadow, back.darker(300));
    button->setPalette(colours);
}

void setTextColour(QWidget* w, const QColor& text) {
    w->setStyleSheet(QStringLiteral("color:%1;background:transparent;").arg(rgb(text)));
}

// Gives a new control its design font and place (twips converted by the caller).
template <typename Widget> Widget* place(Widget* widget, const QFont& font, const QRect& geometry) {
    widget->setFont(font);
    widget->setGeometry(geometry);
    return widget;
}

qreal screenDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

} // namespace

StationWindow::StationWindow(QWidget* parent)
    : QWidget(parent)
    , m_twips(screenDpi()) {
    setObjectName(QStringLiteral("frmQuillon"));
    setWindowTitle(QStringLiteral(" Quillon"));
    setWindowIcon(StationPictures::windowIcon());
    setFont(designFont("Arial", 9.75));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(64, 64, 64));
    setPalette(pal);
    buildControls();
    setTabOrder();
    resize(m_twips.toPixels(designClientWidthTwips), m_twips.toPixels(designClientHeightTwips));
}

void StationWindow::buildControls() {
    StationControls& c = m_controls;
    const Twips& t = m_twips;
    const QColor grey(128, 128, 128);
    const QColor hint(192, 192, 0);

    c.fraMain = new StationFrame(QString(), designFont("MS Sans Serif", 8.25), this);
    c.fraMain->setObjectName(QStringLiteral("fraMain"));
    c.fraMain->setGeometry(t.rect(120, 120, 12465, 10155));

    c.Label5 = new QLabel(QStringLiteral("Quillon"), c.fraMain);
    c.Label5->setFont(designFont("Calibri", 15.75, true));
    setTextColour(c.Label5, QColor(64, 64, 64));
    c.Label5->setGeometry(t.rect(120, 240, 12075, 585));

    c.cmdRefresh = place(new QPushButton(QStringLiteral("&Refresh"), c.fraMain),
                         designFont("Arial", 12, true), t.rect(7560, 360, 1845, 465));

    c.cmdPrintNow = place(new QPushButton(QStringLiteral("Print Now"), c.fraMain),
                          designFont("Arial", 12, true), t.rect(9480, 360, 1845, 465));

    c.cmdUnprinted = place(new QPushButton(QStringLiteral("Unprinted"), c.fraMain),
                           designFont("Arial", 12, true), t.rect(5640, 360, 1845, 465));
    c.cmdUnprinted->setObjectName(QStringLiteral("cmdUnprinted"));
    c.cmdUnprinted->hide();

    c.Grid1 =
        place(new RequestGrid(c.fraMain), designFont("Arial", 9), t.rect(120, 840, 12135, 3375));
    c.Grid1->setStyleSheet(QStringLiteral("QTableView{gridline-color:rgb(192,192,192);"
                                          "background-color:white;}"));

    c.Label3 = new QLabel(QStringLiteral("Legend: Printed"), c.fraMain);
    c.Label3->setAlignment(Qt::AlignCenter);
    setColours(c.Label3, Qt::black, QColor(163, 194, 241));
    c.Label3->setGeometry(t.rect(9840, 4200, 2415, 255));

    c.lblStatus = new QLabel(c.fraMain);
    c.lblStatus->setObjectName(QStringLiteral("lblStatus"));
    c.lblStatus->setFont(designFont("Arial", 8.25, true));
    setTextColour(c.lblStatus, QColor(128, 0, 0));
    c.lblStatus->setGeometry(t.rect(120, 4215, 9600, 270));

    c.vkchkAutoPrintRequests =
        new QCheckBox(QStringLiteral("Auto Print Incoming Requests"), c.fraMain);
    c.vkchkAutoPrintRequests->setFont(designFont("Arial", 12, true));
    setColours(c.vkchkAutoPrintRequests, grey, QColor(251, 251, 251));
    c.vkchkAutoPrintRequests->setChecked(true);
    c.vkchkAutoPrintRequests->setGeometry(t.rect(240, 4560, 3840, 345));

    c.fraSearch = new StationFrame(QStringLiteral("Manual Printing"), designFont("Arial", 9, true),
                                   c.fraMain);
    c.fraSearch->setObjectName(QStringLiteral("fraSearch"));
    c.fraSearch->setGeometry(t.rect(120, 5040, 5955, 1785));

    c.Image1 = new QLabel(c.fraSearch);
    c.Image1->setPixmap(StationPictures::searchSign());
    c.Image1->setScaledContents(true);
    c.Image1->setGeometry(t.rect(180, 390, 735, 750));

    c.Label1 =
        new QLabel(QStringLiteral("To Search Patient, scan the barcode of patient"), c.fraSearch);
    c.Label1->setFont(designFont("Tahoma", 8.25, true));
    setTextColour(c.Label1, hint);
    c.Label1->setGeometry(t.rect(1050, 420, 4935, 195));

    c.Label2 =
        new QLabel(QStringLiteral(" or type in the chargeslip no. of the patient."), c.fraSearch);
    c.Label2->setFont(designFont("Tahoma", 8.25, true));
    setTextColour(c.Label2, hint);
    c.Label2->setGeometry(t.rect(1050, 660, 4575, 195));

    c.txtNumber = new QLineEdit(c.fraSearch);
    c.txtNumber->setObjectName(QStringLiteral("txtNumber"));
    c.txtNumber->setFont(designFont("Tahoma", 18));
    c.txtNumber->setStyleSheet(QStringLiteral("QLineEdit{border:1px solid rgb(49,106,197);"
                                              "border-radius:3px;background:white;}"));
    c.txtNumber->setGeometry(t.rect(1020, 960, 3855, 585));

    c.cmdKeyboard = new QPushButton(c.fraSearch);
    c.cmdKeyboard->setFont(designFont("MS Sans Serif", 8.25));
    c.cmdKeyboard->setIcon(QIcon(StationPictures::keyboard()));
    c.cmdKeyboard->setIconSize(QSize(36, 31));
    setButtonBackground(c.cmdKeyboard, Qt::white);
    c.cmdKeyboard->setGeometry(t.rect(4920, 960, 735, 615));
    // Switched off in the design: visible, but nothing enables it.
    c.cmdKeyboard->setEnabled(false);

    c.txtExams = new QPlainTextEdit(c.fraMain);
    c.txtExams->setGeometry(t.rect(600, 7080, 4815, 1815));

    c.fraExams =
        new StationFrame(QStringLiteral("Barcode"), designFont("Arial", 9, true), c.fraMain);
    c.fraExams->setObjectName(QStringLiteral("fraExams"));
    c.fraExams->setGeometry(t.rect(6120, 4560, 6075, 5415));

    c.lblPatientName = new QLabel(QStringLiteral("[Patient Name]"), c.fraExams);
    c.lblPatientName->setFont(designFont("Arial", 14.25, true));
    c.lblPatientName->setAlignment(Qt::AlignCenter);
    setColours(c.lblPatientName, QColor(128, 0, 0), Qt::white);
    c.lblPatientName->setGeometry(t.rect(180, 360, 5715, 480));

    c.lstExams = new CheckList(c.fraExams);
    c.lstExams->setFont(designFont("Arial", 14.25, true));
    c.lstExams->setStyleSheet(QStringLiteral("QListView{color:rgb(128,128,128);"
                                             "border:1px solid rgb(192,192,192);}"));
    c.lstExams->setGeometry(t.rect(480, 840, 5415, 2850));

    c.chkAll = new QCheckBox(QStringLiteral("Check All"), c.fraExams);
    c.chkAll->setFont(designFont("Arial", 12, true));
    setColours(c.chkAll, grey, Qt::white);
    c.chkAll->setGeometry(t.rect(495, 3720, 2400, 465));

    c.vkLabel1 = new QLabel(QStringLiteral("Number of Copies :"), c.fraExams);
    c.vkLabel1->setFont(designFont("Arial", 12, true));
    c.vkLabel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setColours(c.vkLabel1, grey, Qt::white);
    c.vkLabel1->setGeometry(t.rect(2400, 3810, 2760, 285));

    c.txtCopies = new QLineEdit(QStringLiteral("1"), c.fraExams);
    c.txtCopies->setFont(designFont("Arial", 14.25, true));
    c.txtCopies->setStyleSheet(QStringLiteral("QLineEdit{border:1px solid rgb(192,192,192);"
                                              "background:white;}"));
    c.txtCopies->setGeometry(t.rect(5280, 3720, 600, 465));

    c.cmdGenerate = place(new QPushButton(QStringLiteral("Print"), c.fraExams),
                          designFont("Arial", 12, true), t.rect(720, 4320, 2445, 960));

    c.cmdNew = place(new QPushButton(QStringLiteral("Reset"), c.fraExams),
                     designFont("Arial", 12, true), t.rect(3390, 4320, 2445, 960));

    c.cmdExit = place(new QPushButton(QStringLiteral("Exit"), c.fraMain),
                      designFont("Arial", 12, true), t.rect(120, 9360, 1845, 600));

    c.lblORVANT = new QLabel(QStringLiteral("Wrenfold by ORVANT"), this);
    c.lblORVANT->setFont(designFont("Calibri", 14.25, true, true));
    c.lblORVANT->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setTextColour(c.lblORVANT, QColor(192, 192, 192));
    c.lblORVANT->setGeometry(t.rect(360, 10320, 12075, 345));

    c.tmrCheckRequests = new QTimer(c.fraMain);
    c.tmrCheckRequests->setInterval(60000);
    c.tmrAutoPrint = new QTimer(c.fraMain);
    c.tmrAutoPrint->setInterval(60000);
    // Both timers run from the moment the window exists, as designed.
    c.tmrCheckRequests->start();
    c.tmrAutoPrint->start();
}

void StationWindow::setTabOrder() {
    const StationControls& c = m_controls;
    QWidget* const order[] = {c.txtNumber,   c.cmdKeyboard, c.lstExams,
                              c.cmdGenerate, c.cmdNew,      c.chkAll,
                              c.txtCopies,   c.cmdExit,     c.vkchkAutoPrintRequests,
                              c.Grid1,       c.cmdRefresh,  c.cmdPrintNow,
                              c.txtExams};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void StationWindow::applyResizeRule(float outerWidthTwips, float outerHeightTwips) {
    const CentredPlaces p = centredPlaces(outerWidthTwips, outerHeightTwips);
    const StationControls& c = m_controls;
    c.fraMain->move(m_twips.toPixels(p.mainLeft), m_twips.toPixels(p.mainTop));
    c.lblORVANT->move(m_twips.toPixels(p.bannerLeft), m_twips.toPixels(p.bannerTop));
}

void StationWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The rule works on the outer size, frame and title bar included.
    const QSize outer = frameGeometry().size() - geometry().size() + event->size();
    applyResizeRule(static_cast<float>(m_twips.fromPixels(outer.width())),
                    static_cast<float>(m_twips.fromPixels(outer.height())));
}
