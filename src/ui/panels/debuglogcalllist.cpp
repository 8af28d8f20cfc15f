#include "debuglogcalllist.h"

#include "debuglogrow.h"

namespace tolvane {

DebugLogCallList::DebugLogCallList(QObject* parent)
    : QAbstractListModel(parent) {}

int DebugLogCallList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant DebugLogCallList::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const LLMCall& call = m_calls.at(index.row());
    switch (role) {
    case CallIdRole:
        return call.id;
    case Qt::DisplayRole:
    case TitleRole:
        return DebugLogRow::title(call);
    case FailedRole:
        return DebugLogRow::failed(call);
    case IntentRole:
        return call.intent;
    case TimeRole:
        return DebugLogRow::time(call);
    case ModelRole:
        return call.model;
    case UsageRole:
        return DebugLogRow::usage(call);
    case SelectedRole:
        return m_selectedID == call.id;
    default:
        return {};
    }
}

QHash<int, QByteArray> DebugLogCallList::roleNames() const {
    return {
        {CallIdRole, "callId"}, {TitleRole, "title"},       {FailedRole, "failed"},
        {IntentRole, "intent"}, {TimeRole, "time"},         {ModelRole, "model"},
        {UsageRole, "usage"},   {SelectedRole, "selected"},
    };
}

bool DebugLogCallList::contains(qint64 id) const {
    return rowOf(id) >= 0;
}

int DebugLogCallList::rowOf(std::optional<qint64> id) const {
    if (!id) {
        return -1;
    }
    for (qsizetype row = 0; row < m_calls.size(); ++row) {
        if (m_calls.at(row).id == *id) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

void DebugLogCallList::setCalls(QList<LLMCall> calls) {
    if (calls == m_calls) {
        return;
    }
    const int before = count();
    beginResetModel();
    m_calls = std::move(calls);
    endResetModel();
    if (count() != before) {
        Q_EMIT countChanged();
    }
}

void DebugLogCallList::setSelectedID(std::optional<qint64> id) {
    if (id == m_selectedID) {
        return;
    }
    const int oldRow = rowOf(m_selectedID);
    m_selectedID = id;
    const int newRow = rowOf(m_selectedID);
    for (const int row : {oldRow, newRow}) {
        if (row >= 0) {
            const QModelIndex changed = index(row);
            Q_EMIT dataChanged(changed, changed, {SelectedRole});
        }
    }
}

} // namespace tolvane
