#include "supportmodel.h"

#include "emailaddress.h"
#include "service/appsettings.h"

using namespace Qt::StringLiterals;

namespace tolvane {

const QString SupportModel::supportEmailAddress = u"support@tolvane.example.com"_s;
const QString SupportModel::placeholderAddress = u"you@example.com"_s;

SupportModel::SupportModel(AppSettings& settings, ServiceEndpoints endpoints, QObject* parent)
    : QObject(parent)
    , m_settings(&settings)
    , m_endpoints(std::move(endpoints)) {
    connect(&settings, &AppSettings::supportEmailChanged, this, [this] {
        Q_EMIT emailChanged();
        updateCanSend();
    });
    updateCanSend();
}

SupportModel::~SupportModel() = default;

QString SupportModel::email() const {
    return m_settings ? m_settings->supportEmail() : QString();
}

void SupportModel::setEmail(const QString& value) {
    // The settings announce the change, which this model forwards.
    if (m_settings) {
        m_settings->setSupportEmail(value);
    }
}

void SupportModel::setMessage(const QString& value) {
    if (value == m_message) {
        return;
    }
    m_message = value;
    Q_EMIT messageChanged();
    updateCanSend();
}

bool SupportModel::canSend() const {
    return !m_sending && emailaddress::isValid(email()) && !m_message.trimmed().isEmpty();
}

QString SupportModel::thanksText() const {
    return u"Thanks — a human on the team has your note and will reply to "_s + m_sentTo +
           u" by email."_s;
}

void SupportModel::open() {
    // A send still on its way belongs to the previous presentation.
    ++m_presentation;
    setSending(false);
    setSent(false);
    setError(std::nullopt);
    setMessage(QString());
}

void SupportModel::send() {
    if (m_sending) {
        return;
    }
    setError(std::nullopt);
    const QString address = email().trimmed();
    const QString note = m_message.trimmed();
    if (!emailaddress::isValid(address) || note.isEmpty()) {
        return;
    }
    if (address != email()) {
        setEmail(address);
    }
    setSending(true);
    runSend(m_presentation, address, note);
}

QCoro::Task<void> SupportModel::runSend(quint64 presentation, QString email, QString message) {
    QPointer<SupportModel> self(this);
    const APIClient api(*m_settings, m_endpoints);
    const auto result = co_await api.contactSupport(email, message);
    if (!self || presentation != m_presentation) {
        co_return;
    }
    if (result) {
        m_sentTo = email;
        setSent(true);
    } else {
        // The form keeps the address and the note so the user can retry.
        setError(u"Couldn't send just now — you can email us directly at "_s + supportEmailAddress +
                 u"."_s);
    }
    setSending(false);
}

void SupportModel::setSending(bool value) {
    if (value == m_sending) {
        return;
    }
    m_sending = value;
    Q_EMIT sendingChanged();
    updateCanSend();
}

void SupportModel::setSent(bool value) {
    if (value == m_sent) {
        return;
    }
    m_sent = value;
    Q_EMIT sentChanged();
}

void SupportModel::setError(std::optional<QString> value) {
    if (value == m_error) {
        return;
    }
    m_error = std::move(value);
    Q_EMIT errorChanged();
}

void SupportModel::updateCanSend() {
    const bool value = canSend();
    if (value != m_canSend) {
        m_canSend = value;
        Q_EMIT canSendChanged();
    }
}

} // namespace tolvane
