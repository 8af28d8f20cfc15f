#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

#include <optional>

namespace tolvane {

// What the app knows about the local coach service, with the text the banner
// and the settings window show for it. A plain value: the manager publishes a
// new one whenever it differs from the current one.
class ServerStatus {
    Q_GADGET
public:
    enum class Case {
        notManaged,
        probing,
        external,
        starting,
        managed,
        binaryMissing,
        portConflict,
        configMismatch,
        failed,
    };
    Q_ENUM(Case)

    // The port the local coach service is built to listen on; the conflict
    // text names it.
    static constexpr quint16 defaultPort = 20511;

    ServerStatus() = default;

    static ServerStatus notManaged() { return ServerStatus(Case::notManaged); }
    static ServerStatus probing() { return ServerStatus(Case::probing); }
    static ServerStatus external() { return ServerStatus(Case::external); }
    static ServerStatus starting() { return ServerStatus(Case::starting); }
    static ServerStatus managed() { return ServerStatus(Case::managed); }
    static ServerStatus binaryMissing() { return ServerStatus(Case::binaryMissing); }
    // `holder` names what holds the port.
    static ServerStatus portConflict(QString holder);
    static ServerStatus configMismatch(QString message);
    static ServerStatus failed(QString message);

    Case kind() const { return m_case; }
    // The text of `portConflict`, `configMismatch` and `failed`; empty otherwise.
    const QString& payload() const { return m_payload; }

    // What the user reads; none for `notManaged`.
    std::optional<QString> text() const;
    // Whether the coach can be talked to as far as the app knows; also true
    // when the app does not manage one at all.
    bool isRunning() const;
    // Whether the root window shows a banner with Retry for this status.
    bool showsBanner() const;

    friend bool operator==(const ServerStatus& a, const ServerStatus& b);

private:
    explicit ServerStatus(Case c, QString payload = {})
        : m_case(c)
        , m_payload(std::move(payload)) {}

    Case m_case = Case::probing;
    QString m_payload;
};

} // namespace tolvane

Q_DECLARE_METATYPE(tolvane::ServerStatus)
