#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace tolvane {

// One process at a time owns a conversation folder: each process that writes
// the conversation file rewrites it whole, so two writers would drop each
// other's messages. The app claims the folder for its lifetime through a
// per-user local socket; a second launch asks the first to come forward and
// quits, and the command-line tool refuses to change a conversation the app
// has open.
class ConversationOwner : public QObject {
    Q_OBJECT
public:
    // `directory` is the conversation folder; empty means the default one.
    explicit ConversationOwner(const QString& directory = {}, QObject* parent = nullptr);
    ~ConversationOwner() override;

    // True when this process now owns the folder. False when another process
    // does; that process has been asked to come forward.
    bool claim();
    // Whether some other process owns the folder right now.
    bool isClaimedElsewhere() const;

    // The socket's name, derived from the folder's absolute path.
    const QString& name() const { return m_name; }

Q_SIGNALS:
    // Another launch asked the owner to show itself.
    void activationRequested();

private:
    bool reachOwner(bool askToActivate) const;

    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace tolvane
