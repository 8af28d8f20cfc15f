#include "ui/shell/palette.h"

#include <QMetaProperty>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;

class TestPalette : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The ratio itself, against values WCAG's own examples and common tools
    // give, so a wrong formula cannot pass the check below.
    void contrastFormula_data() {
        QTest::addColumn<QColor>("a");
        QTest::addColumn<QColor>("b");
        QTest::addColumn<double>("expected");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
        QTest::newRow("same colour") << QColor(0x0A66C2) << QColor(0x0A66C2) << 1.0;
        QTest::newRow("order does not matter") << QColor(Qt::white) << QColor(0x767676) << 4.54;
        QTest::newRow("brand blue on the dark raised surface")
            << QColor(0x0A66C2) << QColor(0x2C2D31) << 2.42;
    }
    void contrastFormula() {
        QFETCH(QColor, a);
        QFETCH(QColor, b);
        QFETCH(double, expected);
        QVERIFY2(qAbs(Palette::contrast(a, b) - expected) < 0.01,
                 qPrintable(QString::number(Palette::contrast(a, b))));
    }

    // Every text colour reads on every surface it is drawn on (WCAG AA for
    // normal text), in both schemes.
    void textPairsReachAA_data() {
        QTest::addColumn<int>("scheme");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("background");
        for (const auto scheme : {Palette::Scheme::light, Palette::Scheme::dark}) {
            for (const Palette::TextPair& pair : Palette::textPairs()) {
                QTest::addRow("%s %s on %s", scheme == Palette::Scheme::dark ? "dark" : "light",
                              pair.text, pair.background)
                    << int(scheme) << QByteArray(pair.text) << QByteArray(pair.background);
            }
        }
    }
    void textPairsReachAA() {
        QFETCH(int, scheme);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, background);
        Palette palette;
        palette.force(Palette::Scheme(scheme));
        const QColor fore = palette.colour(text.constData());
        const QColor back = palette.colour(background.constData());
        QVERIFY(fore.isValid() && back.isValid());
        const double ratio = Palette::contrast(fore, back);
        QVERIFY2(
            ratio >= 4.5,
            qPrintable(u"%1 on %2: %3:1"_s.arg(fore.name(), back.name()).arg(ratio, 0, 'f', 2)));
    }

    // Every text colour of the palette is in the checked pairs.
    void everyTextColourIsChecked() {
        Palette palette;
        const QMetaObject* meta = palette.metaObject();
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QByteArray name = meta->property(i).name();
            if (!name.startsWith("text") && !name.endsWith("Text")) {
                continue;
            }
            bool checked = false;
            for (const Palette::TextPair& pair : Palette::textPairs()) {
                checked = checked || name == pair.text;
            }
            QVERIFY2(checked, name.constData());
        }
    }
};

QTEST_MAIN(TestPalette)
#include "tst_palette.moc"
