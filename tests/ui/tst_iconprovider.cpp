#include "ui/chat/chatviewmodel.h"
#include "ui/chat/iconprovider.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

// Every icon name the views ask for: literal names in the QML files and the
// slash menu's commands.
QStringList iconNamesInUse() {
    QSet<QString> names;
    static const QRegularExpression literal(
        uR"((?:\biconName|\bname|\bicon)\s*:\s*"([a-z0-9.]+)\")"_s);
    static const QRegularExpression address(uR"(image://icon/([a-z0-9.]+)\?)"_s);
    QDirIterator files(u":/Tolvane"_s, {u"*.qml"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QString text = QString::fromUtf8(file.readAll());
        for (const QRegularExpression* pattern : {&literal, &address}) {
            auto found = pattern->globalMatch(text);
            while (found.hasNext()) {
                names.insert(found.next().captured(1));
            }
        }
    }
    for (const SlashCommand& command : ChatViewModel::commands()) {
        names.insert(command.icon);
    }
    QStringList sorted(names.begin(), names.end());
    sorted.sort();
    return sorted;
}

} // namespace

class TestIconProvider : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyIconInUseDraws_data() {
        QTest::addColumn<QString>("name");
        const QStringList names = iconNamesInUse();
        // The scan must see the views, or this test checks nothing.
        QVERIFY(names.contains("paperclip"));
        QVERIFY(names.contains("arrow.up.forward.app"));
        QVERIFY(names.contains("exclamationmark.triangle.fill"));
        for (const QString& name : names) {
            QTest::newRow(qPrintable(name)) << name;
        }
    }
    void everyIconInUseDraws() {
        QFETCH(QString, name);
        QVERIFY(QSvgRenderer(IconProvider::svg(name, "#d01030")).isValid());
        IconProvider provider;
        QSize size;
        const QImage image = provider.requestImage(name + "?#d01030", &size, QSize(32, 32));
        QCOMPARE(size, QSize(32, 32));
        // Drawn in the colour asked for.
        int tinted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() == 255 && qAbs(pixel.red() - 0xd0) < 4 &&
                    qAbs(pixel.green() - 0x10) < 4 && qAbs(pixel.blue() - 0x30) < 4) {
                    ++tinted;
                }
            }
        }
        QVERIFY2(tinted >= 8, qPrintable(QString::number(tinted)));
    }

    void unknownNameDrawsNothing() {
        QCOMPARE(IconProvider::svg("no.such.symbol", "#000000"), QByteArray());
        IconProvider provider;
        QSize size;
        const QImage image = provider.requestImage("no.such.symbol?#000000", &size, QSize());
        QCOMPARE(size, QSize(48, 48));
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                QCOMPARE(qAlpha(image.pixel(x, y)), 0);
            }
        }
    }
};

QTEST_MAIN(TestIconProvider)
#include "tst_iconprovider.moc"
