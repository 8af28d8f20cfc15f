#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tolvane::coach {

// Draws what a post will look like: the LinkedIn-style feed card of a draft
// and the slides of a carousel, as PNG bytes.
class PreviewRenderer {
public:
    struct Card {
        QString name;     // empty draws "Your Name"
        QString headline; // may be empty
        QString text;
        QString status; // draft, scheduled, published
    };

    struct Theme {
        QString key;
        QString name;
        QString background;
        QString accent;
        QString text;
    };

    static QByteArray renderCard(const Card& card);
    static const QList<Theme>& themes();
    static Theme theme(const QString& key);
    // One PNG per slide; the first slide is the title, the last the call to action.
    static QList<QByteArray> renderCarousel(const QStringList& slides, const QString& author,
                                            const Theme& theme);
};

} // namespace tolvane::coach
