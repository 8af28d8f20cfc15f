#include "app/viewhost.h"
#include "conversation/conversationstore.h"
#include "service/appsettings.h"
#include "studio/videostudiocontroller.h"
#include "ui/shell/desktopappearance.h"
#include "ui/shell/palette.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QProcess>
#include <QQuickWindow>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;

} // namespace

// The settings part of a desktop portal, as much as the app asks of it.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    uint scheme = 1;

public Q_SLOTS:
    // Portals answer Read with the value wrapped in one variant more.
    QDBusVariant Read(const QString& group, const QString& key) {
        if (group != "org.freedesktop.appearance" || key != "color-scheme") {
            return QDBusVariant(QVariant::fromValue(QDBusVariant(QString("unknown"))));
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(scheme)));
    }

Q_SIGNALS:
    void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value);
};

class TestDesktopAppearance : public QObject {
    Q_OBJECT

private:
    QTemporaryFile m_config;
    QProcess m_bus;
    QString m_address;

    QDBusConnection connect(const QString& name) {
        return QDBusConnection::connectToBus(m_address, name);
    }

private Q_SLOTS:
    void initTestCase() {
        // A private session bus, so the test neither needs nor touches the
        // desktop's.
        // Its own configuration, with no service folders, so no real portal
        // a machine may have installed is started on it.
        QVERIFY(m_config.open());
        m_config.write("<busconfig>\n"
                       "  <type>session</type>\n"
                       "  <listen>unix:tmpdir=/tmp</listen>\n"
                       "  <auth>EXTERNAL</auth>\n"
                       "  <policy context=\"default\">\n"
                       "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                       "    <allow eavesdrop=\"true\"/>\n"
                       "    <allow own=\"*\"/>\n"
                       "  </policy>\n"
                       "</busconfig>\n");
        m_config.close();
        m_bus.start("dbus-daemon",
                    {"--config-file=" + m_config.fileName(), "--nofork", "--print-address=1"});
        QVERIFY2(m_bus.waitForStarted(5000), "dbus-daemon is not installed");
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.canReadLine(), 5000);
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
    }

    void cleanupTestCase() {
        m_bus.kill();
        m_bus.waitForFinished(5000);
    }

    void portalValues_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("expected"); // -1 none, 0 light, 1 dark
        QTest::newRow("dark") << QVariant(1u) << 1;
        QTest::newRow("light") << QVariant(2u) << 0;
        QTest::newRow("no preference") << QVariant(0u) << -1;
        QTest::newRow("out of range") << QVariant(7u) << -1;
        QTest::newRow("wrapped dark") << QVariant::fromValue(QDBusVariant(1u)) << 1;
        QTest::newRow("text") << QVariant(QString("1")) << -1;
        QTest::newRow("nothing") << QVariant() << -1;
    }
    void portalValues() {
        QFETCH(QVariant, value);
        QFETCH(int, expected);
        const auto got = DesktopAppearance::fromPortalValue(value);
        QCOMPARE(got.has_value() ? int(*got) : -1, expected);
    }

    // Asked at start, followed when the desktop switches, and the palette
    // goes along with it.
    void followsThePortal() {
        FakePortal portal;
        QDBusConnection portalBus = connect("portal");
        QVERIFY(portalBus.isConnected());
        QVERIFY(portalBus.registerObject(portalPath, &portal,
                                         QDBusConnection::ExportAllSlots |
                                             QDBusConnection::ExportAllSignals));
        QVERIFY(portalBus.registerService(portalService));

        DesktopAppearance appearance(connect("app"));
        Palette palette;
        palette.followDesktop(&appearance);
        QTRY_COMPARE_WITH_TIMEOUT(appearance.prefersDark(), std::optional<bool>(true), 5000);
        QVERIFY(palette.dark());
        QCOMPARE(palette.appBackground(), QColor(0x1A, 0x1A, 0x1B));

        QSignalSpy changed(&appearance, &DesktopAppearance::changed);
        Q_EMIT portal.SettingChanged("org.freedesktop.appearance", "color-scheme",
                                     QDBusVariant(2u));
        QVERIFY(changed.wait(5000));
        QCOMPARE(appearance.prefersDark(), std::optional<bool>(false));
        QVERIFY(!palette.dark());

        // Other settings changing say nothing about the colours.
        Q_EMIT portal.SettingChanged("org.freedesktop.appearance", "accent-color",
                                     QDBusVariant(1u));
        QVERIFY(!changed.wait(300));

        portalBus.unregisterService(portalService);
        QDBusConnection::disconnectFromBus("portal");
        QDBusConnection::disconnectFromBus("app");
    }

    // The running app's windows switch with the desktop, both ways, without a
    // restart: the app's own session bus is the private one here.
    void windowFollowsLiveChanges() {
        FakePortal portal;
        portal.scheme = 2;
        QDBusConnection portalBus = connect("portal-live");
        QVERIFY(portalBus.registerObject(portalPath, &portal,
                                         QDBusConnection::ExportAllSlots |
                                             QDBusConnection::ExportAllSignals));
        QVERIFY(portalBus.registerService(portalService));
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());

        QTemporaryDir home;
        AppSettings settings(
            std::make_unique<QSettings>(home.filePath("s.ini"), QSettings::IniFormat));
        ConversationStore store(settings, home.path(),
                                ServiceEndpoints::forRoot("http://127.0.0.1:9/"));
        VideoStudioController studio;
        ViewHost views(settings, store, studio, ServiceEndpoints::forRoot("http://127.0.0.1:9/"),
                       QSize(800, 600));
        QQuickWindow* window = views.load();
        QVERIFY(window);
        const QColor light(0xF3, 0xF2, 0xEF);
        const QColor dark(0x1A, 0x1A, 0x1B);
        QTRY_COMPARE_WITH_TIMEOUT(views.appearance.prefersDark(), std::optional<bool>(false), 5000);
        QCOMPARE(window->color(), light);

        for (const auto& [scheme, colour] :
             {std::pair{1u, dark}, std::pair{2u, light}, std::pair{1u, dark}}) {
            Q_EMIT portal.SettingChanged("org.freedesktop.appearance", "color-scheme",
                                         QDBusVariant(scheme));
            QTRY_COMPARE_WITH_TIMEOUT(window->color(), colour, 5000);
        }
        portalBus.unregisterService(portalService);
        QDBusConnection::disconnectFromBus("portal-live");
    }

    // A desktop without a portal, or without a bus at all: no preference,
    // and nothing waits.
    void withoutAPortal() {
        DesktopAppearance alone(connect("alone"));
        QSignalSpy changed(&alone, &DesktopAppearance::changed);
        QVERIFY(!changed.wait(500));
        QVERIFY(!alone.prefersDark());
        QDBusConnection::disconnectFromBus("alone");
    }
};

QTEST_MAIN(TestDesktopAppearance)
#include "tst_desktopappearance.moc"
