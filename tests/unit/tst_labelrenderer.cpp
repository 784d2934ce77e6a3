#include "app/Failure.h"
#include "labels/BarcodeSymbol.h"
#include "labels/LabelRenderer.h"
#include "labels/LabelTemplate.h"
#include "tst_labeltools.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <cmath>

namespace {

const QStringList sevenValues(const QString& barcode) {
    return {barcode,
            QStringLiteral("DELA CRUZ, JUANA"),
            QStringLiteral("123456"),
            QStringLiteral("CHEM"),
            QStringLiteral("2024-01-15 10:30:45"),
            QStringLiteral("W3"),
            QStringLiteral("42/F")};
}

LabelTemplate shipped() {
    return LabelTemplate::load(QCoreApplication::applicationDirPath() +
                               QStringLiteral("/LabBarcodeLabel.rpt"));
}

QImage blankLabel(const LabelTemplate& label, int dpi) {
    const double dotsPerMm = dpi / 25.4;
    QImage image(int(std::lround(label.size.width() * dotsPerMm)),
                 int(std::lround(label.size.height() * dotsPerMm)), QImage::Format_RGB32);
    image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    image.fill(Qt::white);
    return image;
}

QImage render(const LabelTemplate& label, const QStringList& values, int dpi) {
    QImage image = blankLabel(label, dpi);
    QPainter painter(&image);
    LabelRenderer::render(painter, label, values, QStringLiteral("Quillon"));
    return image;
}

bool dark(const QImage& image, int x, int y) {
    return qGray(image.pixel(x, y)) < 128;
}

} // namespace

class TestLabelRenderer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Bars and spaces are whole multiples of one module of whole dots, the widest that fits the
    // box, and the label scans back.
    void modulesAreWholeDots_data() {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("barcode");
        QTest::newRow("203 dpi digits") << 203 << "2401150001";
        QTest::newRow("203 dpi long") << 203 << "LAB-24-000123";
        QTest::newRow("300 dpi quote and blanks") << 300 << "AB\"12 34";
        QTest::newRow("600 dpi") << 600 << "2401150001";
    }
    void modulesAreWholeDots() {
        QFETCH(int, dpi);
        QFETCH(QString, barcode);
        const LabelTemplate label = shipped();
        const auto& item = std::get<LabelBarcode>(label.items.at(3));
        const QImage image = render(label, sevenValues(barcode), dpi);

        const double dotsPerMm = dpi / 25.4;
        const int boxWidth = int(std::floor((item.box.right()) * dotsPerMm + 1e-6)) -
                             int(std::ceil(item.box.left() * dotsPerMm - 1e-6));
        const int modules =
            int(BarcodeSymbol::encode(item.symbology, barcode, true).size().width());
        const int module = boxWidth / modules;
        QVERIFY(module >= 1);

        const int row = int((item.box.top() + 3) * dotsPerMm);
        QList<int> runs;
        int first = -1;
        int last = -1;
        for (int x = 0; x < image.width(); ++x) {
            if (dark(image, x, row)) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        QVERIFY(first >= 0);
        int length = 1;
        for (int x = first + 1; x <= last + 1; ++x) {
            if (x <= last && dark(image, x, row) == dark(image, x - 1, row)) {
                ++length;
            } else {
                runs.append(length);
                length = 1;
            }
        }
        for (int run : runs)
            QVERIFY2(run % module == 0,
                     qPrintable(QStringLiteral("run %1, module %2").arg(run).arg(module)));
        QCOMPARE(*std::min_element(runs.begin(), runs.end()), module);

        if (!labeltest::toolsInstalled())
            QSKIP("zbarimg is not installed");
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("label.png"));
        QVERIFY(image.save(png));
        const QString scanned = labeltest::run(
            QStringLiteral("zbarimg"), {QStringLiteral("-q"), QStringLiteral("--raw"), png});
        QCOMPARE(scanned, barcode + QLatin1Char('\n'));
    }

    // A long text shrinks and is cut rather than spill over its neighbours.
    void longTextStaysInItsBox() {
        const LabelTemplate label = LabelTemplate::parse(
            R"({ "width": 50, "height": 25, "fields": ["Name"], "items": [
                 { "type": "text", "field": "Name", "x": 10, "y": 10, "width": 20, "height": 4, "size": 10 } ] })",
            QStringLiteral("t.rpt"), QString());
        const QImage image = render(
            label, {QStringLiteral("MONTENEGRO-VILLALOBOS, MARIA CONCEPCION ESPERANZA")}, 300);
        const QRect box(QPoint(int(10 * 300 / 25.4) - 1, int(10 * 300 / 25.4) - 1),
                        QPoint(int(30 * 300 / 25.4) + 1, int(14 * 300 / 25.4) + 1));
        int inside = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (!dark(image, x, y))
                    continue;
                QVERIFY2(box.contains(x, y),
                         qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
                ++inside;
            }
        }
        QVERIFY(inside > 0);
    }

    // A fault of the value is the request's; a fault of the template's own text or box is not.
    void unprintableBarcodes_data() {
        QTest::addColumn<QByteArray>("items"); // replace the shipped template's when not empty
        QTest::addColumn<QString>("barcode");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("requestData");
        QTest::newRow("not Latin-1")
            << QByteArray() << QStringLiteral("\u4e2d\u6587") << 203
            << QStringLiteral("The barcode text \"\u4e2d\u6587\" cannot be printed as CODE128")
            << true;
        QTest::newRow("euro") << QByteArray() << QStringLiteral("B3\u20ac0") << 203
                              << QStringLiteral("cannot be printed as CODE128") << true;
        QTest::newRow("empty") << QByteArray() << QString() << 203
                               << QStringLiteral(
                                      "The barcode text \"\" cannot be printed as CODE128")
                               << true;
        QTest::newRow("too long") << QByteArray()
                                  << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ-ABCDEFGHIJKLMNOP")
                                  << 203
                                  << QStringLiteral(
                                         "does not fit its 47.0 x 11.7 mm box on the label")
                                  << true;
        QTest::newRow("fixed text not encodable")
            << QByteArray(R"({ "type": "barcode", "text": "B3\u20ac0", "x": 1, "y": 1,
                               "width": 47, "height": 11 })")
            << QStringLiteral("2401150001") << 203 << QStringLiteral("cannot be printed as CODE128")
            << false;
        QTest::newRow("readable line fills the box")
            << QByteArray(R"({ "type": "barcode", "field": "Barcode", "size": 12, "x": 1, "y": 1,
                               "width": 47, "height": 3 })")
            << QStringLiteral("2401150001") << 203 << QStringLiteral("does not fit its 47.0 x 3.0")
            << false;
    }
    void unprintableBarcodes() {
        QFETCH(QByteArray, items);
        QFETCH(QString, barcode);
        QFETCH(int, dpi);
        QFETCH(QString, message);
        QFETCH(bool, requestData);
        const LabelTemplate label = items.isEmpty()
                                        ? shipped()
                                        : LabelTemplate::parse(R"({ "width": 50, "height": 25,
                                  "fields": ["Barcode"], "items": [)" +
                                                                   items + "] }",
                                                               QStringLiteral("t.rpt"), QString());
        QImage image = blankLabel(label, dpi);
        QPainter painter(&image);
        try {
            LabelRenderer::render(painter, label, sevenValues(barcode), QString());
            QFAIL("the label was drawn");
        } catch (const Failure& failure) {
            QVERIFY2(failure.description().contains(message), qPrintable(failure.description()));
            QCOMPARE(dynamic_cast<const RequestDataFailure*>(&failure) != nullptr, requestData);
        }
    }
};

QTEST_MAIN(TestLabelRenderer)
#include "tst_labelrenderer.moc"
