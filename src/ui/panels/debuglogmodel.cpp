#include "debuglogmodel.h"

#include "debuglogdetail.h"
#include "service/appsettings.h"

using namespace Qt::StringLiterals;

namespace tolvane {

DebugLogModel::DebugLogModel(AppSettings& settings, ServiceEndpoints endpoints, QObject* parent)
    : QObject(parent)
    , m_settings(&settings)
    , m_endpoints(std::move(endpoints)) {
    connect(&m_calls, &DebugLogCallList::countChanged, this, [this] {
        Q_EMIT countChanged();
        updateShowEmpty();
    });
}

DebugLogModel::~DebugLogModel() = default;

APIClient DebugLogModel::client() const {
    return APIClient(*m_settings, m_endpoints);
}

QString DebugLogModel::errorHeading() const {
    return u"Couldn't load the log"_s;
}

QString DebugLogModel::emptyText() const {
    return u"No AI calls recorded yet."_s;
}

QString DebugLogModel::detailPlaceholder() const {
    return u"Select a request to see the full prompt and reply."_s;
}

bool DebugLogModel::showEmpty() const {
    return !m_error && !m_loading && m_calls.count() == 0;
}

void DebugLogModel::updateShowEmpty() {
    const bool value = showEmpty();
    if (value != m_showEmpty) {
        m_showEmpty = value;
        Q_EMIT showEmptyChanged();
    }
}

void DebugLogModel::open() {
    ++m_opening;
    // Replies still on their way belong to the previous opening.
    ++m_listGeneration;
    ++m_detailGeneration;
    m_calls.setCalls({});
    setError(std::nullopt);
    setLoading(false);
    setSelection(std::nullopt);
    if (!m_mineOnly) {
        m_mineOnly = true;
        Q_EMIT mineOnlyChanged();
    }
    load();
}

void DebugLogModel::refresh() {
    load();
}

void DebugLogModel::setMineOnly(bool value) {
    if (value == m_mineOnly) {
        return;
    }
    m_mineOnly = value;
    Q_EMIT mineOnlyChanged();
    load();
}

void DebugLogModel::load() {
    ++m_listGeneration;
    setLoading(true);
    runLoad(m_listGeneration, m_mineOnly);
}

QCoro::Task<void> DebugLogModel::runLoad(quint64 generation, bool mineOnly) {
    QPointer<DebugLogModel> self(this);
    const APIClient api = client();
    auto result = co_await api.llmCalls(mineOnly, limit);
    if (!self || generation != m_listGeneration) {
        co_return;
    }
    if (result) {
        m_calls.setCalls(std::move(result).value());
        setError(std::nullopt);
        if (m_selectedID && !m_calls.contains(*m_selectedID)) {
            setSelection(std::nullopt);
        }
    } else {
        setError(result.error().description());
    }
    setLoading(false);
}

void DebugLogModel::select(qint64 id) {
    if (m_selectedID == id || !m_calls.contains(id)) {
        return;
    }
    setSelection(id);
    runDetail(m_detailGeneration, id);
}

void DebugLogModel::clearSelection() {
    setSelection(std::nullopt);
}

QCoro::Task<void> DebugLogModel::runDetail(quint64 generation, qint64 id) {
    QPointer<DebugLogModel> self(this);
    const APIClient api = client();
    auto result = co_await api.llmCall(id);
    if (!self || generation != m_detailGeneration) {
        co_return;
    }
    if (result) {
        setDetail(std::move(result).value());
    } else {
        setError(result.error().description());
    }
}

void DebugLogModel::clear() {
    runClear(m_opening);
}

QCoro::Task<void> DebugLogModel::runClear(quint64 opening) {
    QPointer<DebugLogModel> self(this);
    const APIClient api = client();
    const auto result = co_await api.clearLLMCalls();
    if (!self) {
        co_return;
    }
    if (!result) {
        if (opening == m_opening) {
            setError(result.error().description());
        }
        co_return;
    }
    // The log is gone on the service whichever opening asked for it, so the
    // list is loaded again either way.
    setSelection(std::nullopt);
    load();
}

void DebugLogModel::setLoading(bool value) {
    if (value == m_loading) {
        return;
    }
    m_loading = value;
    Q_EMIT loadingChanged();
    updateShowEmpty();
}

void DebugLogModel::setError(std::optional<QString> value) {
    if (value == m_error) {
        return;
    }
    m_error = std::move(value);
    Q_EMIT errorChanged();
    updateShowEmpty();
}

void DebugLogModel::setSelection(std::optional<qint64> id) {
    // A new selection (or none) always drops the detail being shown or loaded.
    ++m_detailGeneration;
    setDetail(std::nullopt);
    if (id == m_selectedID) {
        return;
    }
    m_selectedID = id;
    m_calls.setSelectedID(id);
    Q_EMIT selectionChanged();
}

void DebugLogModel::setDetail(std::optional<LLMCallDetail> detail) {
    if (detail == m_detail) {
        return;
    }
    m_detail = std::move(detail);
    m_detailItems = m_detail
                        ? DebugLogDetailItem::toVariantList(DebugLogDetailItem::build(*m_detail))
                        : QVariantList();
    Q_EMIT detailChanged();
}

} // namespace tolvane
