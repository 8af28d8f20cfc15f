#pragma once

#include "debuglogcalllist.h"
#include "service/accountrecords.h"
#include "service/apiclient.h"
#include "ui/shell/sharedobjects.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <qcoro/qcorotask.h>

#include <optional>

class QJSEngine;

namespace tolvane {

class AppSettings;

// The AI call log sheet: the service's recent AI calls on the left, the full
// request and answer of the selected one on the right.
//
// Only the newest list load and the detail of the current selection may change
// what is shown; a reply that arrives after it was superseded is dropped, so
// the list always matches the "Only me" box and the detail the selected row.
class DebugLogModel : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(DebugLog)
    QML_SINGLETON
    Q_PROPERTY(tolvane::DebugLogCallList* calls READ calls CONSTANT)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    Q_PROPERTY(bool mineOnly READ mineOnly WRITE setMineOnly NOTIFY mineOnlyChanged)
    // The last failure's description; the list pane then shows the error view.
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    Q_PROPERTY(bool hasError READ hasError NOTIFY errorChanged)
    // No calls, nothing loading and no error: the pane says so.
    Q_PROPERTY(bool showEmpty READ showEmpty NOTIFY showEmptyChanged)
    Q_PROPERTY(bool hasSelection READ hasSelection NOTIFY selectionChanged)
    Q_PROPERTY(qint64 selectedID READ selectedID NOTIFY selectionChanged)
    // False while nothing is selected or the selected call's detail loads.
    Q_PROPERTY(bool hasDetail READ hasDetail NOTIFY detailChanged)
    // Maps with "kind" (title, meta, heading, text, block, note), "text" and
    // "tone" (normal, error, response), top to bottom.
    Q_PROPERTY(QVariantList detailItems READ detailItems NOTIFY detailChanged)
    Q_PROPERTY(QString errorHeading READ errorHeading CONSTANT)
    Q_PROPERTY(QString emptyText READ emptyText CONSTANT)
    Q_PROPERTY(QString detailPlaceholder READ detailPlaceholder CONSTANT)

public:
    // The instance the view host shares with the views.
    static DebugLogModel* create(QQmlEngine* engine, QJSEngine*) {
        return sharedWithViews<DebugLogModel>(engine);
    }

    static constexpr int limit = 100;

    explicit DebugLogModel(AppSettings& settings,
                           ServiceEndpoints endpoints = ServiceEndpoints::builtIn(),
                           QObject* parent = nullptr);
    ~DebugLogModel() override;

    DebugLogCallList* calls() { return &m_calls; }
    const DebugLogCallList& callList() const { return m_calls; }
    int count() const { return m_calls.count(); }
    bool loading() const { return m_loading; }
    bool mineOnly() const { return m_mineOnly; }
    // Reloads when the value changes.
    void setMineOnly(bool value);
    QString error() const { return m_error.value_or(QString()); }
    bool hasError() const { return m_error.has_value(); }
    bool showEmpty() const;
    bool hasSelection() const { return m_selectedID.has_value(); }
    qint64 selectedID() const { return m_selectedID.value_or(0); }
    bool hasDetail() const { return m_detail.has_value(); }
    const std::optional<LLMCallDetail>& detail() const { return m_detail; }
    QVariantList detailItems() const { return m_detailItems; }
    QString errorHeading() const;
    QString emptyText() const;
    QString detailPlaceholder() const;

    // Every opening of the sheet starts over with "Only me" ticked and loads.
    Q_INVOKABLE void open();
    Q_INVOKABLE void refresh();
    // Deletes the log on the service, then loads again.
    Q_INVOKABLE void clear();
    // Selects a loaded call and loads its detail; ids not in the list are ignored.
    Q_INVOKABLE void select(qint64 id);
    Q_INVOKABLE void clearSelection();

Q_SIGNALS:
    void countChanged();
    void loadingChanged();
    void mineOnlyChanged();
    void errorChanged();
    void showEmptyChanged();
    void selectionChanged();
    void detailChanged();

private:
    void load();
    QCoro::Task<void> runLoad(quint64 generation, bool mineOnly);
    QCoro::Task<void> runDetail(quint64 generation, qint64 id);
    QCoro::Task<void> runClear(quint64 opening);
    APIClient client() const;
    void setLoading(bool value);
    void setError(std::optional<QString> value);
    // Changes the selection and forgets the detail of the previous one.
    void setSelection(std::optional<qint64> id);
    void setDetail(std::optional<LLMCallDetail> detail);
    // Announces `showEmpty` when it flipped.
    void updateShowEmpty();

    QPointer<AppSettings> m_settings;
    ServiceEndpoints m_endpoints;
    DebugLogCallList m_calls;
    bool m_loading = false;
    bool m_mineOnly = true;
    std::optional<QString> m_error;
    std::optional<qint64> m_selectedID;
    std::optional<LLMCallDetail> m_detail;
    QVariantList m_detailItems;
    bool m_showEmpty = true;

    // The newest list load and detail load; older replies are dropped.
    quint64 m_listGeneration = 0;
    quint64 m_detailGeneration = 0;
    // Counts the sheet's openings, so a late failure of an earlier one stays out.
    quint64 m_opening = 0;
};

} // namespace tolvane
