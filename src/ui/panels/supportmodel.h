#pragma once

#include "service/apiclient.h"
#include "ui/shell/sharedobjects.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include <qcoro/qcorotask.h>

#include <optional>

class QJSEngine;

namespace tolvane {

class AppSettings;

// The support sheet: a note with the user's e-mail address to the team, then a
// thank-you. The address is the remembered setting itself, so it is prefilled
// next time.
class SupportModel : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Support)
    QML_SINGLETON
    Q_PROPERTY(QString email READ email WRITE setEmail NOTIFY emailChanged)
    Q_PROPERTY(QString message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(bool sending READ sending NOTIFY sendingChanged)
    // After a successful send the sheet shows the thank-you instead of the form.
    Q_PROPERTY(bool sent READ sent NOTIFY sentChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    Q_PROPERTY(bool hasError READ hasError NOTIFY errorChanged)
    // A valid address, a message with more than white space, and no send running.
    Q_PROPERTY(bool canSend READ canSend NOTIFY canSendChanged)
    Q_PROPERTY(QString thanksText READ thanksText NOTIFY sentChanged)
    Q_PROPERTY(QString emailPlaceholder READ emailPlaceholder CONSTANT)
    Q_PROPERTY(QString supportAddress READ supportAddress CONSTANT)

public:
    // The instance the view host shares with the views.
    static SupportModel* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<SupportModel>(engine);
    }

    static const QString supportEmailAddress;
    static const QString placeholderAddress;

    explicit SupportModel(AppSettings& settings,
                          ServiceEndpoints endpoints = ServiceEndpoints::builtIn(),
                          QObject* parent = nullptr);
    ~SupportModel() override;

    QString email() const;
    void setEmail(const QString& value);
    QString message() const { return m_message; }
    void setMessage(const QString& value);
    bool sending() const { return m_sending; }
    bool sent() const { return m_sent; }
    QString error() const { return m_error.value_or(QString()); }
    bool hasError() const { return m_error.has_value(); }
    bool canSend() const;
    QString thanksText() const;
    QString emailPlaceholder() const { return placeholderAddress; }
    QString supportAddress() const { return supportEmailAddress; }

    // Every presentation starts with the form, an empty message and the
    // remembered address.
    Q_INVOKABLE void open();
    Q_INVOKABLE void send();

Q_SIGNALS:
    void emailChanged();
    void messageChanged();
    void sendingChanged();
    void sentChanged();
    void errorChanged();
    void canSendChanged();

private:
    QCoro::Task<void> runSend(quint64 presentation, QString email, QString message);
    void setSending(bool value);
    void setSent(bool value);
    void setError(std::optional<QString> value);
    void updateCanSend();

    QPointer<AppSettings> m_settings;
    ServiceEndpoints m_endpoints;
    QString m_message;
    bool m_sending = false;
    bool m_sent = false;
    std::optional<QString> m_error;
    bool m_canSend = false;
    // The address the note went out with, for the thank-you.
    QString m_sentTo;
    quint64 m_presentation = 0;
};

} // namespace tolvane
