#pragma once

#include "release.h"

#include <QObject>

#include <qcoro/qcorotask.h>

#include <optional>

namespace tolvane {

// Asks the release feed once whether a newer release exists and publishes it
// for the update banner. Every failure is silent.
class AppUpdate : public QObject {
    Q_OBJECT
public:
    explicit AppUpdate(QObject* parent = nullptr);

    const std::optional<Release>& available() const { return m_available; }
    // The banner's dismiss: empty for the rest of the run.
    void dismiss();

    // `baseURL` is the service root; the feed is "download/version.json" below
    // it. `runningVersion` is this build's version ("0" when empty).
    QCoro::Task<void> check(QString baseURL, QString runningVersion);

Q_SIGNALS:
    void availableChanged();

private:
    std::optional<Release> m_available;
};

} // namespace tolvane
