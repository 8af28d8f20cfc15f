#include "imagebytes.h"
#include "ui/chat/imagepreviewmodel.h"
#include "ui/chat/imagestore.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvane;
using namespace tolvane::test;

class TestImagePreviewModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // The viewer file goes to the temporary folder: a private one here.
        QVERIFY(m_temp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
        QCOMPARE(QDir::tempPath(), QDir::cleanPath(m_temp.path()));
        for (const QColor& color : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue)}) {
            m_pictures.append(picture(color, {12, 9}));
            m_sources.append(ImageStore::shared().retain(encoded(m_pictures.last(), "PNG")));
        }
    }

    void zoomSteps_data() {
        QTest::addColumn<int>("ins");
        QTest::addColumn<int>("outs");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("text");
        QTest::newRow("opens at half size") << 0 << 0 << 0.5 << "50%";
        QTest::newRow("one step in") << 1 << 0 << 0.75 << "75%";
        QTest::newRow("fourteen steps reach the top") << 14 << 0 << 4.0 << "400%";
        QTest::newRow("and stay there") << 20 << 0 << 4.0 << "400%";
        QTest::newRow("one step out reaches the bottom") << 0 << 1 << 0.25 << "25%";
        QTest::newRow("and stays there") << 0 << 5 << 0.25 << "25%";
        QTest::newRow("from the top back down") << 20 << 3 << 3.25 << "325%";
    }
    void zoomSteps() {
        QFETCH(int, ins);
        QFETCH(int, outs);
        QFETCH(double, zoom);
        QFETCH(QString, text);
        ImagePreviewModel model;
        model.open(m_sources, 0);
        for (int i = 0; i < ins; ++i) {
            model.zoomIn();
        }
        for (int i = 0; i < outs; ++i) {
            model.zoomOut();
        }
        QCOMPARE(model.zoom(), zoom);
        QCOMPARE(model.zoomText(), text);
    }

    void thirteenStepsStopShortOfTheTop() {
        ImagePreviewModel model;
        model.open(m_sources, 0);
        for (int i = 0; i < 13; ++i) {
            model.zoomIn();
        }
        QCOMPARE(model.zoom(), 3.75);
        model.resetZoom();
        QCOMPARE(model.zoom(), 0.5);
        // Opening again starts at half size too.
        model.zoomIn();
        model.open(m_sources, 1);
        QCOMPARE(model.zoom(), 0.5);
    }

    void startIndexIsClamped_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("counter");
        QTest::addColumn<bool>("paged");
        QTest::newRow("inside") << 3 << 1 << 1 << "2/3" << true;
        QTest::newRow("past the end") << 3 << 7 << 2 << "3/3" << true;
        QTest::newRow("negative") << 3 << -2 << 0 << "1/3" << true;
        QTest::newRow("two pictures page") << 2 << 0 << 0 << "1/2" << true;
        QTest::newRow("one picture does not page") << 1 << 4 << 0 << "1/1" << false;
    }
    void startIndexIsClamped() {
        QFETCH(int, count);
        QFETCH(int, start);
        QFETCH(int, index);
        QFETCH(QString, counter);
        QFETCH(bool, paged);
        ImagePreviewModel model;
        model.open(m_sources.mid(0, count), start);
        QCOMPARE(model.index(), index);
        QCOMPARE(model.counterText(), counter);
        QCOMPARE(model.paged(), paged);
        QCOMPARE(model.current(), m_sources.at(index));
    }

    void pagingStopsAtBothEnds() {
        ImagePreviewModel model;
        model.open(m_sources, 0);
        model.previous();
        QCOMPARE(model.index(), 0);
        for (int i = 0; i < 4; ++i) {
            model.next();
        }
        QCOMPARE(model.index(), 2);
        QCOMPARE(model.counterText(), QString("3/3"));
        model.previous();
        QCOMPARE(model.counterText(), QString("2/3"));
    }

    void openInViewerWritesTheCurrentPicture() {
        ImagePreviewModel model;
        model.open(m_sources, 0);
        model.next();
        const QString path = model.openInViewer();
        QVERIFY(!path.isEmpty());
        const QFileInfo written(path);
        QCOMPARE(written.absolutePath(), QDir::tempPath());
        QVERIFY2(written.fileName().startsWith("tolvane-card-"), qPrintable(path));
        QVERIFY(written.fileName().endsWith(".png"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(isPng(bytes));
        QVERIFY(samePixels(bytes, m_pictures.at(1)));

        // Each call writes a file of its own.
        const QString second = model.openInViewer();
        QVERIFY(!second.isEmpty());
        QVERIFY(second != path);

        // A picture that is gone writes nothing.
        model.open({"image://tolvane/unknown"}, 0);
        QCOMPARE(model.openInViewer(), QString());
        QCOMPARE(QDir(QDir::tempPath()).entryList({"tolvane-card-*"}).size(), 2);
    }

private:
    QTemporaryDir m_temp;
    QList<QImage> m_pictures;
    QStringList m_sources;
};

QTEST_MAIN(TestImagePreviewModel)
#include "tst_imagepreviewmodel.moc"
