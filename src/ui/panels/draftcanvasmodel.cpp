#include "draftcanvasmodel.h"

#include "common/iso8601.h"
#include "conversation/conversationstore.h"
#include "linkedinpreview.h"
#include "paneltext.h"
#include "service/appsettings.h"

#include <QTimer>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {
constexpr auto linkedIn = "linkedin";
constexpr qint64 defaultLeadSeconds = 3600;
} // namespace

DraftCanvasModel::DraftCanvasModel(ConversationStore& store, AppSettings& settings,
                                   ServiceEndpoints endpoints, QObject* parent)
    : QObject(parent)
    , m_store(&store)
    , m_settings(&settings)
    , m_endpoints(std::move(endpoints))
    , m_clock([] { return QDateTime::currentDateTime(); }) {
    m_when = m_clock().addSecs(defaultLeadSeconds);
    // The preview falls back to the settings' name and handle, so their edits
    // show at once.
    connect(&settings, &AppSettings::authorNameChanged, this, &DraftCanvasModel::updatePreview);
    connect(&settings, &AppSettings::authorHandleChanged, this, &DraftCanvasModel::updatePreview);
    m_preview = currentPreview();
}

DraftCanvasModel::~DraftCanvasModel() = default;

void DraftCanvasModel::setClock(std::function<QDateTime()> clock) {
    m_clock = std::move(clock);
}

APIClient DraftCanvasModel::client() const {
    return APIClient(*m_settings, m_endpoints);
}

void DraftCanvasModel::setToken(const QString& token) {
    if (token == m_token) {
        return;
    }
    const bool wasOpen = isOpen();
    m_token = token;
    Q_EMIT tokenChanged();
    if (!isOpen()) {
        endPresentation();
        return;
    }
    if (!wasOpen) {
        open();
    }
    load();
}

void DraftCanvasModel::open() {
    ++m_presentation;
    setText(QString());
    setScheduleNow(true);
    const QDateTime when = m_clock().addSecs(defaultLeadSeconds);
    if (when != m_when) {
        m_when = when;
        Q_EMIT whenChanged();
    }
    setStatus(StatusKind::Hidden, QString());
    setBusy(false);
    setProfile(ProfileIdentity{});
}

void DraftCanvasModel::endPresentation() {
    // Whatever still runs for the closed panel must not reach the next one.
    ++m_presentation;
    ++m_loadGeneration;
    setLoading(false);
    setBusy(false);
}

void DraftCanvasModel::load() {
    ++m_loadGeneration;
    setLoading(true);
    runLoad(m_loadGeneration, m_token);
}

QCoro::Task<void> DraftCanvasModel::runLoad(quint64 generation, QString token) {
    QPointer<DraftCanvasModel> self(this);
    const APIClient api = client();

    auto profile = co_await api.profile(QString::fromLatin1(linkedIn));
    if (!self || generation != m_loadGeneration) {
        co_return;
    }
    // Without a profile the card shows the settings' name and handle.
    if (profile) {
        setProfile(std::move(profile).value());
    }

    auto draft = co_await api.draft(token);
    if (!self || generation != m_loadGeneration) {
        co_return;
    }
    if (draft) {
        setText(draft->text);
    } else {
        setStatus(StatusKind::Error, draft.error().description());
    }
    setLoading(false);
}

void DraftCanvasModel::submit() {
    if (!canSubmit() || !isOpen()) {
        return;
    }
    setStatus(StatusKind::Hidden, QString());
    setBusy(true);
    const QString when = m_scheduleNow ? QString() : iso8601::formatSeconds(m_when);
    runSchedule(m_presentation, m_token, m_text, when);
}

QCoro::Task<void> DraftCanvasModel::runSchedule(quint64 presentation, QString token, QString text,
                                                QString when) {
    QPointer<DraftCanvasModel> self(this);
    QPointer<ConversationStore> store(m_store);
    const APIClient api = client();

    const auto result = co_await api.schedule(token, text, when);
    const bool samePanel = self && presentation == m_presentation;

    if (!result || result->outcome == ScheduleResult::Outcome::error) {
        if (samePanel) {
            setStatus(StatusKind::Error, result ? result->message.value_or(u"Could not schedule."_s)
                                                : result.error().description());
            setBusy(false);
        }
        co_return;
    }

    const QString w = result->at ? formatScheduledTime(*result->at) : u"now"_s;
    const QString m = result->mode.value_or(QString());
    if (samePanel) {
        setStatus(StatusKind::Ok, u"Scheduled for "_s + w + u" · "_s + m);
    }
    // The post went out whether or not the panel is still there to say so, so
    // the conversation records it either way.
    if (store) {
        ChatMessage message;
        message.role = ChatMessage::Role::coach;
        message.text = u"scheduled for "_s + w + u" ("_s + m + u"). nice one."_s;
        store->appendMessage(std::move(message));
    }
    if (!samePanel) {
        co_return;
    }

    // A timer of the panel's, not a sleeping coroutine: should the panel go
    // first, the timer goes with it and nothing is left waiting.
    QTimer::singleShot(m_closeDelay, this, [this, presentation, token] {
        if (presentation != m_presentation) {
            return;
        }
        // Closes only the draft that was posted: if another draft was opened
        // in the meantime, the panel stays for it.
        if (m_token == token) {
            close();
        }
        setBusy(false);
    });
}

void DraftCanvasModel::close() {
    setToken(QString());
}

QString DraftCanvasModel::formatScheduledTime(const QDateTime& at, const QLocale& locale) {
    // "Ap" keeps the locale's own am/pm text, like the pattern's "a".
    return locale.toString(at.toLocalTime(), u"ddd MMM d, h:mm Ap"_s);
}

QDateTime DraftCanvasModel::earliestWhen() const {
    return m_clock();
}

void DraftCanvasModel::setText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    Q_EMIT textChanged();
}

void DraftCanvasModel::setScheduleNow(bool value) {
    if (value == m_scheduleNow) {
        return;
    }
    m_scheduleNow = value;
    Q_EMIT scheduleNowChanged();
}

void DraftCanvasModel::setWhen(const QDateTime& value) {
    if (!value.isValid()) {
        return;
    }
    const QDateTime earliest = earliestWhen();
    const QDateTime when = value < earliest ? earliest : value;
    if (when == m_when) {
        return;
    }
    m_when = when;
    Q_EMIT whenChanged();
}

QString DraftCanvasModel::whenDayText() const {
    return QLocale().toString(m_when.toLocalTime().date(), u"ddd d MMM yyyy"_s);
}

namespace {

// A local wall-clock time that the clocks skip when they go forward becomes
// the time as far past the change as it was asked for past the start of the
// day (02:30 on a night when 02:00 becomes 03:00 is 03:30).
QDateTime localTime(QDate date, QTime time) {
    const QDateTime exact(date, time);
    if (exact.isValid()) {
        return exact;
    }
    return date.startOfDay().addSecs(QTime(0, 0).secsTo(time));
}

} // namespace

void DraftCanvasModel::setWhenDay(int year, int month, int day) {
    const QDate date(year, month, day);
    if (date.isValid()) {
        setWhen(localTime(date, m_when.toLocalTime().time()));
    }
}

void DraftCanvasModel::setWhenTime(int hour, int minute) {
    const QTime time(hour, minute);
    if (time.isValid()) {
        setWhen(localTime(m_when.toLocalTime().date(), time));
    }
}

void DraftCanvasModel::shiftWhen(int days, int minutes) {
    setWhen(m_when.toLocalTime().addDays(days).addSecs(qint64(minutes) * 60));
}

bool DraftCanvasModel::isDayOffered(int year, int month, int day) const {
    const QDate date(year, month, day);
    return date.isValid() && date >= earliestWhen().toLocalTime().date();
}

QString DraftCanvasModel::buttonText() const {
    return m_scheduleNow ? u"Post now"_s : u"Schedule"_s;
}

int DraftCanvasModel::characterCount() const {
    return paneltext::characterCount(m_text);
}

QString DraftCanvasModel::characterCountText() const {
    return QString::number(characterCount()) + u" characters"_s;
}

QString DraftCanvasModel::displayName() const {
    if (!paneltext::trimSpacesAndTabs(m_profile.name).isEmpty()) {
        return m_profile.name;
    }
    return m_settings ? m_settings->authorName() : QString();
}

QString DraftCanvasModel::displayHandle() const {
    if (!m_profile.handle.isEmpty()) {
        return m_profile.handle;
    }
    return m_settings ? m_settings->authorHandle() : QString();
}

QString DraftCanvasModel::previewName() const {
    return linkedinpreview::name(displayName());
}

QString DraftCanvasModel::previewInitial() const {
    return linkedinpreview::initial(displayName());
}

QString DraftCanvasModel::previewSubtitle() const {
    return linkedinpreview::subtitle(m_profile.headline, displayHandle());
}

QString DraftCanvasModel::previewBody() const {
    return linkedinpreview::body(m_text);
}

QString DraftCanvasModel::previewMeta() const {
    return linkedinpreview::meta;
}

QString DraftCanvasModel::previewFooter() const {
    return linkedinpreview::footer;
}

DraftCanvasModel::Preview DraftCanvasModel::currentPreview() const {
    return {displayName(), displayHandle(), m_profile.headline, m_avatarUrl};
}

void DraftCanvasModel::updatePreview() {
    Preview next = currentPreview();
    if (next != m_preview) {
        m_preview = std::move(next);
        Q_EMIT previewChanged();
    }
}

void DraftCanvasModel::setProfile(ProfileIdentity profile) {
    m_avatarUrl = linkedinpreview::avatarUrl(profile.avatarB64).value_or(QUrl());
    m_profile = std::move(profile);
    updatePreview();
}

void DraftCanvasModel::setLoading(bool value) {
    if (value == m_loading) {
        return;
    }
    const bool could = canSubmit();
    m_loading = value;
    Q_EMIT loadingChanged();
    if (could != canSubmit()) {
        Q_EMIT canSubmitChanged();
    }
}

void DraftCanvasModel::setBusy(bool value) {
    if (value == m_busy) {
        return;
    }
    const bool could = canSubmit();
    m_busy = value;
    Q_EMIT busyChanged();
    if (could != canSubmit()) {
        Q_EMIT canSubmitChanged();
    }
}

void DraftCanvasModel::setStatus(StatusKind kind, const QString& message) {
    if (kind == m_statusKind && message == m_statusMessage) {
        return;
    }
    m_statusKind = kind;
    m_statusMessage = message;
    Q_EMIT statusChanged();
}

} // namespace tolvane
