#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QLocalServer;

namespace tolvane {

// One process at a time owns a conversation folder: each process that writes
// the conversation file rewrites it whole, so two writers would drop each
// other's messages. Ownership is a lock file in the folder (a crashed owner's
// lock is recognised by its process id and taken over, and so is the empty
// lock of a process killed while it was claiming). The app holds it for
// its lifetime and listens on a per-user socket so a second launch can ask it
// to come forward; the command-line tool holds it while it changes the
// conversation.
class ConversationOwner : public QObject {
    Q_OBJECT
public:
    // `directory` is the conversation folder; empty means the default one.
    explicit ConversationOwner(const QString& directory = {}, QObject* parent = nullptr);
    ~ConversationOwner() override;

    // True when this process now owns the folder (or already did); false
    // when another live process does. Taking it over removes the temporary
    // files a killed writer left.
    bool claim();

    // The process that owns the folder, as far as its lock tells: its id and
    // program name ("tolvane", "tolvane-cli"). Nullopt when nobody owns it or
    // the lock can't be read.
    struct Holder {
        qint64 pid = 0;
        QString program;
    };
    std::optional<Holder> holder() const;

    // The owner listens for launches that want it shown.
    void listenForActivation();
    // Asks the owner to show itself; false when it could not be reached.
    bool askOwnerToShow() const;

    // The activation socket's full path, derived from the folder.
    const QString& socketPath() const { return m_socketPath; }

Q_SIGNALS:
    // Another launch asked the owner to show itself.
    void activationRequested();

private:
    QString m_lockPath;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace tolvane
