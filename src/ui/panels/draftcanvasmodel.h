#pragma once

#include "service/accountrecords.h"
#include "service/apiclient.h"
#include "ui/shell/sharedobjects.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>

class QJSEngine;

namespace tolvane {

class AppSettings;
class ConversationStore;

// The side panel in which the draft named by `token` is edited beside a
// LinkedIn-style preview and posted or scheduled; a message's "Edit post"
// action sets the token.
//
// The panel is open exactly while it holds a token: opening starts a fresh
// panel (empty text, "Post now", a time one hour ahead) and loads the profile
// and then the draft; a different token while open reloads into the same
// panel. Replies that belong to an older token are dropped.
class DraftCanvasModel : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Draft)
    QML_SINGLETON
    Q_PROPERTY(QString token READ token WRITE setToken NOTIFY tokenChanged)
    Q_PROPERTY(bool isOpen READ isOpen NOTIFY tokenChanged)
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(bool scheduleNow READ scheduleNow WRITE setScheduleNow NOTIFY scheduleNowChanged)
    // The chosen publication time; never earlier than now.
    Q_PROPERTY(QDateTime when READ when WRITE setWhen NOTIFY whenChanged)
    // `when` in local time, for the picker: its day, hour and minute, and the
    // day as the picker's button shows it.
    Q_PROPERTY(int whenYear READ whenYear NOTIFY whenChanged)
    Q_PROPERTY(int whenMonth READ whenMonth NOTIFY whenChanged)
    Q_PROPERTY(int whenDay READ whenDay NOTIFY whenChanged)
    Q_PROPERTY(int whenHour READ whenHour NOTIFY whenChanged)
    Q_PROPERTY(int whenMinute READ whenMinute NOTIFY whenChanged)
    Q_PROPERTY(QString whenDayText READ whenDayText NOTIFY whenChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    // Loading and busy both block the main button; an empty text does not.
    Q_PROPERTY(bool canSubmit READ canSubmit NOTIFY canSubmitChanged)
    Q_PROPERTY(QString buttonText READ buttonText NOTIFY scheduleNowChanged)
    Q_PROPERTY(int characterCount READ characterCount NOTIFY textChanged)
    Q_PROPERTY(QString characterCountText READ characterCountText NOTIFY textChanged)

    Q_PROPERTY(StatusKind statusKind READ statusKind NOTIFY statusChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusChanged)

    // The preview card.
    Q_PROPERTY(QString displayName READ displayName NOTIFY previewChanged)
    Q_PROPERTY(QString displayHandle READ displayHandle NOTIFY previewChanged)
    Q_PROPERTY(QString headline READ headline NOTIFY previewChanged)
    Q_PROPERTY(QString previewName READ previewName NOTIFY previewChanged)
    Q_PROPERTY(QString previewInitial READ previewInitial NOTIFY previewChanged)
    // Empty when the card shows no subtitle line.
    Q_PROPERTY(QString previewSubtitle READ previewSubtitle NOTIFY previewChanged)
    // A data URL of the profile picture; empty when the initial is shown.
    Q_PROPERTY(QUrl avatarUrl READ avatarUrl NOTIFY previewChanged)
    Q_PROPERTY(bool hasAvatar READ hasAvatar NOTIFY previewChanged)
    Q_PROPERTY(QString previewBody READ previewBody NOTIFY textChanged)
    Q_PROPERTY(bool previewBodyIsPlaceholder READ previewBodyIsPlaceholder NOTIFY textChanged)
    Q_PROPERTY(QString previewMeta READ previewMeta CONSTANT)
    Q_PROPERTY(QString previewFooter READ previewFooter CONSTANT)

public:
    // The instance the view host shares with the views.
    static DraftCanvasModel* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<DraftCanvasModel>(engine);
    }

    enum class StatusKind { Hidden, Ok, Error };
    Q_ENUM(StatusKind)

    DraftCanvasModel(ConversationStore& store, AppSettings& settings,
                     ServiceEndpoints endpoints = ServiceEndpoints::builtIn(),
                     QObject* parent = nullptr);
    ~DraftCanvasModel() override;

    QString token() const { return m_token; }
    void setToken(const QString& token);
    bool isOpen() const { return !m_token.isEmpty(); }
    QString text() const { return m_text; }
    void setText(const QString& text);
    bool scheduleNow() const { return m_scheduleNow; }
    void setScheduleNow(bool value);
    QDateTime when() const { return m_when; }
    int whenYear() const { return m_when.toLocalTime().date().year(); }
    // 1 to 12.
    int whenMonth() const { return m_when.toLocalTime().date().month(); }
    int whenDay() const { return m_when.toLocalTime().date().day(); }
    int whenHour() const { return m_when.toLocalTime().time().hour(); }
    int whenMinute() const { return m_when.toLocalTime().time().minute(); }
    QString whenDayText() const;
    void setWhen(const QDateTime& value);
    bool loading() const { return m_loading; }
    bool busy() const { return m_busy; }
    bool canSubmit() const { return !m_busy && !m_loading; }
    QString buttonText() const;
    int characterCount() const;
    QString characterCountText() const;

    StatusKind statusKind() const { return m_statusKind; }
    QString statusMessage() const { return m_statusMessage; }

    const ProfileIdentity& profile() const { return m_profile; }
    QString displayName() const;
    QString displayHandle() const;
    QString headline() const { return m_profile.headline; }
    QString previewName() const;
    QString previewInitial() const;
    QString previewSubtitle() const;
    QUrl avatarUrl() const { return m_avatarUrl; }
    bool hasAvatar() const { return !m_avatarUrl.isEmpty(); }
    QString previewBody() const;
    bool previewBodyIsPlaceholder() const { return m_text.isEmpty(); }
    QString previewMeta() const;
    QString previewFooter() const;

    // The earliest time the date picker may offer: now.
    Q_INVOKABLE QDateTime earliestWhen() const;
    // The picker's edits of `when`, in local time; each keeps the other
    // parts, and a result before now becomes now. Month is 1 to 12.
    Q_INVOKABLE void setWhenDay(int year, int month, int day);
    Q_INVOKABLE void setWhenTime(int hour, int minute);
    Q_INVOKABLE void shiftWhen(int days, int minutes);
    // Whether the picker offers the day: today and later.
    Q_INVOKABLE bool isDayOffered(int year, int month, int day) const;

    // Posts the text now or schedules it for `when`. Ignored while a request
    // runs or the draft is loading.
    Q_INVOKABLE void submit();
    // The close button: clears the token, which closes the panel.
    Q_INVOKABLE void close();

    // "EEE MMM d, h:mm a" in the user's locale and time zone.
    static QString formatScheduledTime(const QDateTime& at, const QLocale& locale = QLocale());

    // For tests: the clock behind "now", and the pause between a successful
    // schedule and the panel closing (one second).
    void setClock(std::function<QDateTime()> clock);
    void setCloseDelay(std::chrono::milliseconds delay) { m_closeDelay = delay; }

Q_SIGNALS:
    void tokenChanged();
    void textChanged();
    void scheduleNowChanged();
    void whenChanged();
    void loadingChanged();
    void busyChanged();
    void canSubmitChanged();
    void statusChanged();
    void previewChanged();

private:
    struct Preview {
        QString displayName;
        QString displayHandle;
        QString headline;
        QUrl avatarUrl;
        friend bool operator==(const Preview&, const Preview&) = default;
    };

    void open();
    void endPresentation();
    void load();
    QCoro::Task<void> runLoad(quint64 generation, QString token);
    QCoro::Task<void> runSchedule(quint64 presentation, QString token, QString text, QString when);
    APIClient client() const;
    Preview currentPreview() const;
    void setProfile(ProfileIdentity profile);
    void setLoading(bool value);
    void setBusy(bool value);
    void setStatus(StatusKind kind, const QString& message);
    // Announces the preview when it looks different from what was last shown.
    void updatePreview();

    QPointer<ConversationStore> m_store;
    QPointer<AppSettings> m_settings;
    ServiceEndpoints m_endpoints;
    std::function<QDateTime()> m_clock;
    std::chrono::milliseconds m_closeDelay{1000};

    QString m_token;
    QString m_text;
    bool m_scheduleNow = true;
    QDateTime m_when;
    bool m_loading = false;
    bool m_busy = false;
    StatusKind m_statusKind = StatusKind::Hidden;
    QString m_statusMessage;
    ProfileIdentity m_profile;
    QUrl m_avatarUrl;
    Preview m_preview;

    // Which load may still change the panel: a new token starts a new one.
    quint64 m_loadGeneration = 0;
    // Which opening of the panel a schedule request reports into.
    quint64 m_presentation = 0;
};

} // namespace tolvane
