#pragma once

#include "service/accountrecords.h"

#include <QAbstractListModel>
#include <QList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace tolvane {

// The rows of the AI call log, in the order the service sent them.
class DebugLogCallList : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the call log")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        CallIdRole = Qt::UserRole + 1,
        TitleRole,
        FailedRole,
        IntentRole,
        TimeRole,
        ModelRole,
        UsageRole,
        SelectedRole,
    };
    Q_ENUM(Role)

    explicit DebugLogCallList(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return static_cast<int>(m_calls.size()); }
    const QList<LLMCall>& calls() const { return m_calls; }
    bool contains(qint64 id) const;

    void setCalls(QList<LLMCall> calls);
    // Marks the row with `id` as selected (none: no row).
    void setSelectedID(std::optional<qint64> id);

Q_SIGNALS:
    void countChanged();

private:
    int rowOf(std::optional<qint64> id) const;

    QList<LLMCall> m_calls;
    std::optional<qint64> m_selectedID;
};

} // namespace tolvane
