#include "iconprovider.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

// Stroked outlines use "C" for the colour; filled shapes say so themselves.
const QHash<QString, QString>& bodies() {
    static const QHash<QString, QString> table{
        {u"paperclip"_s,
         uR"(<path d="M16.5 6.5l-7.8 7.8a2 2 0 0 0 2.8 2.8l8-8a4 4 0 0 0-5.6-5.6l-8.2 8.2a6 6 0 0 0 8.5 8.5l7-7"/>)"_s},
        {u"arrow.up.circle.fill"_s,
         uR"(<circle cx="12" cy="12" r="11" fill="C" stroke="none"/><path d="M12 17V7M7.5 11.5L12 7l4.5 4.5" stroke="#fff"/>)"_s},
        {u"mic.fill"_s,
         uR"(<rect x="8.5" y="2.5" width="7" height="12" rx="3.5" fill="C" stroke="none"/><path d="M5.5 11a6.5 6.5 0 0 0 13 0M12 17.5V21M8.5 21h7"/>)"_s},
        {u"stop.circle.fill"_s,
         uR"(<circle cx="12" cy="12" r="11" fill="C" stroke="none"/><rect x="8" y="8" width="8" height="8" rx="1.5" fill="#fff" stroke="none"/>)"_s},
        {u"gearshape"_s,
         uR"(<circle cx="12" cy="12" r="3.2"/><path d="M12 2.5v3M12 18.5v3M2.5 12h3M18.5 12h3M5.3 5.3l2.1 2.1M16.6 16.6l2.1 2.1M5.3 18.7l2.1-2.1M16.6 7.4l2.1-2.1"/><circle cx="12" cy="12" r="6.5"/>)"_s},
        {u"questionmark.circle"_s,
         uR"(<circle cx="12" cy="12" r="10"/><path d="M9.2 9.3a2.9 2.9 0 0 1 5.6 1c0 2-2.8 2.4-2.8 4.2"/><circle cx="12" cy="17.6" r="0.6" fill="C"/>)"_s},
        {u"ladybug"_s,
         uR"(<ellipse cx="12" cy="14" rx="6" ry="7"/><path d="M12 7v14M9 7.5a3 3 0 0 1 6 0M6 11H3M21 11h-3M6 16H3M21 16h-3M8 5L6 3M16 5l2-2"/>)"_s},
        {u"video.fill"_s,
         uR"(<rect x="1.5" y="6" width="14" height="12" rx="2.5" fill="C" stroke="none"/><path d="M17 10.2l5.5-3.2v10l-5.5-3.2z" fill="C" stroke="none"/>)"_s},
        {u"xmark"_s, uR"(<path d="M6 6l12 12M18 6L6 18"/>)"_s},
        {u"xmark.circle.fill"_s,
         uR"(<circle cx="12" cy="12" r="11" fill="C" stroke="none"/><path d="M8 8l8 8M16 8l-8 8" stroke="#fff"/>)"_s},
        {u"exclamationmark.triangle.fill"_s,
         uR"(<path d="M12 2.5L22.5 21h-21z" fill="C" stroke-linejoin="round"/><path d="M12 9v6" stroke="#fff"/><circle cx="12" cy="18" r="0.9" fill="#fff" stroke="none"/>)"_s},
        {u"arrow.down.circle.fill"_s,
         uR"(<circle cx="12" cy="12" r="11" fill="C" stroke="none"/><path d="M12 7v10M7.5 12.5L12 17l4.5-4.5" stroke="#fff"/>)"_s},
        {u"minus.magnifyingglass"_s,
         uR"(<circle cx="10" cy="10" r="7"/><path d="M15 15l6.5 6.5M7 10h6"/>)"_s},
        {u"plus.magnifyingglass"_s,
         uR"(<circle cx="10" cy="10" r="7"/><path d="M15 15l6.5 6.5M7 10h6M10 7v6"/>)"_s},
        {u"chevron.left"_s, uR"(<path d="M15 4l-8 8 8 8"/>)"_s},
        {u"chevron.right"_s, uR"(<path d="M9 4l8 8-8 8"/>)"_s},
        {u"arrow.up.forward.app"_s,
         uR"(<rect x="3" y="3" width="18" height="18" rx="4"/><path d="M9 15l6-6M10 9h5v5"/>)"_s},
        {u"arrow.clockwise"_s, uR"(<path d="M19.5 12a7.5 7.5 0 1 1-2.2-5.3M19.5 4v4.5H15"/>)"_s},
        {u"arrow.counterclockwise"_s,
         uR"(<path d="M4.5 12a7.5 7.5 0 1 0 2.2-5.3M4.5 4v4.5H9"/>)"_s},
        {u"arrow.up.left.and.arrow.down.right"_s,
         uR"(<path d="M4 10V4h6M4 4l6.5 6.5M20 14v6h-6M20 20l-6.5-6.5"/>)"_s},
        {u"square.grid.2x2"_s,
         uR"(<rect x="3.5" y="3.5" width="7" height="7" rx="1.5"/><rect x="13.5" y="3.5" width="7" height="7" rx="1.5"/><rect x="3.5" y="13.5" width="7" height="7" rx="1.5"/><rect x="13.5" y="13.5" width="7" height="7" rx="1.5"/>)"_s},
        {u"wand.and.stars"_s,
         uR"(<path d="M4 20L15 9M13 7l4 4M18 3v3M16.5 4.5h3M20 9v2M19 10h2M9 3v2M8 4h2"/>)"_s},
        {u"megaphone"_s,
         uR"(<path d="M3 10v4h4l9 5V5L7 10H3zM7 14l1.5 6h3L10 15.5M19 9a3 3 0 0 1 0 6"/>)"_s},
        {u"rectangle.stack"_s,
         uR"(<rect x="3" y="9" width="18" height="12" rx="2"/><path d="M5 6h14M7 3h10"/>)"_s},
        {u"calendar"_s,
         uR"(<rect x="3" y="5" width="18" height="16" rx="2.5"/><path d="M3 10h18M8 3v4M16 3v4"/>)"_s},
        {u"chart.line.uptrend.xyaxis"_s, uR"(<path d="M3 3v18h18M6 16l4.5-5 3.5 3 6-7"/>)"_s},
        {u"chart.bar"_s,
         uR"(<path d="M3 21h18"/><rect x="5" y="11" width="3.5" height="8"/><rect x="10.25" y="6" width="3.5" height="13"/><rect x="15.5" y="13" width="3.5" height="6"/>)"_s},
        {u"link"_s,
         uR"(<path d="M10 14a4 4 0 0 0 5.7 0l3.5-3.5a4 4 0 0 0-5.7-5.7L12 6.3M14 10a4 4 0 0 0-5.7 0l-3.5 3.5a4 4 0 0 0 5.7 5.7l1.5-1.5"/>)"_s},
        {u"trash"_s, uR"(<path d="M4 6h16M9 6V4h6v2M6 6l1 15h10l1-15M10 10v7M14 10v7"/>)"_s},
        {u"checkmark"_s, uR"(<path d="M4 12.5l5 5L20 6.5"/>)"_s},
        {u"checkmark.circle.fill"_s,
         uR"(<circle cx="12" cy="12" r="11" fill="C" stroke="none"/><path d="M7 12.5l3.5 3.5L17 9" stroke="#fff"/>)"_s},
        {u"square.and.pencil"_s,
         uR"(<path d="M20 13v6a2 2 0 0 1-2 2H5a2 2 0 0 1-2-2V6a2 2 0 0 1 2-2h6M17.5 3.5l3 3L12 15l-4 1 1-4z"/>)"_s},
        {u"globe.americas.fill"_s,
         uR"(<circle cx="12" cy="12" r="10" fill="C" stroke="none"/><path d="M2 12h20M12 2a15 15 0 0 1 0 20M12 2a15 15 0 0 0 0 20" stroke="#fff" stroke-width="1.2"/>)"_s},
        {u"ellipsis"_s,
         uR"(<circle cx="5" cy="12" r="1.6" fill="C"/><circle cx="12" cy="12" r="1.6" fill="C"/><circle cx="19" cy="12" r="1.6" fill="C"/>)"_s},
        {u"video.badge.plus"_s,
         uR"(<rect x="2" y="6" width="14" height="12" rx="2.5"/><path d="M16 10.5l5-3v9l-5-3M9 9v6M6 12h6"/>)"_s},
        {u"play.fill"_s, uR"(<path d="M7 4.5v15l12.5-7.5z" fill="C" stroke-linejoin="round"/>)"_s},
        {u"pause.fill"_s,
         uR"(<rect x="6" y="4.5" width="4" height="15" rx="1" fill="C" stroke="none"/><rect x="14" y="4.5" width="4" height="15" rx="1" fill="C" stroke="none"/>)"_s},
        {u"speaker.wave.2.fill"_s,
         uR"(<path d="M3 9.5h4l5-4v13l-5-4H3z" fill="C" stroke-linejoin="round"/><path d="M15.5 9a4 4 0 0 1 0 6M18 6.5a7.5 7.5 0 0 1 0 11"/>)"_s},
        {u"play.circle.fill"_s,
         uR"(<circle cx="12" cy="12" r="11" fill="C" stroke="none"/><path d="M9.5 7.5v9l7-4.5z" fill="#fff" stroke="none"/>)"_s},
        {u"pause.circle.fill"_s,
         uR"(<circle cx="12" cy="12" r="11" fill="C" stroke="none"/><path d="M9.5 8v8M14.5 8v8" stroke="#fff" stroke-width="2.4"/>)"_s},
        {u"chevron.compact.left"_s, uR"(<path d="M14 5l-4 7 4 7" stroke-width="2.6"/>)"_s},
        {u"chevron.compact.right"_s, uR"(<path d="M10 5l4 7-4 7" stroke-width="2.6"/>)"_s},
        {u"arrow.up.circle"_s,
         uR"(<circle cx="12" cy="12" r="10"/><path d="M12 17V7M7.5 11.5L12 7l4.5 4.5"/>)"_s},
        {u"arrow.down.circle"_s,
         uR"(<circle cx="12" cy="12" r="10"/><path d="M12 7v10M7.5 12.5L12 17l4.5-4.5"/>)"_s},
        {u"speaker.slash.fill"_s,
         uR"(<path d="M3 9.5h4l5-4v13l-5-4H3z" fill="C" stroke-linejoin="round"/><path d="M16 9.5l5 5M21 9.5l-5 5"/>)"_s},
    };
    return table;
}

} // namespace

QByteArray IconProvider::svg(const QString& name, const QString& color) {
    const auto body = bodies().constFind(name);
    if (body == bodies().constEnd()) {
        return {};
    }
    QString content = *body;
    content.replace(u"\"C\""_s, u"\""_s + color + u"\""_s);
    return (u"<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 24 24\" fill=\"none\" "
            u"stroke=\""_s +
            color +
            u"\" stroke-width=\"1.8\" stroke-linecap=\"round\" stroke-linejoin=\"round\">"_s +
            content + u"</svg>"_s)
        .toUtf8();
}

IconProvider::IconProvider()
    : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage IconProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    const qsizetype question = id.indexOf(u'?');
    const QString name = question < 0 ? id : id.left(question);
    const QString color = question < 0 ? u"#000000"_s : id.mid(question + 1);
    const QSize target =
        requestedSize.isValid() && !requestedSize.isEmpty() ? requestedSize : QSize(48, 48);
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(svg(name, color));
    if (renderer.isValid()) {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    if (size) {
        *size = image.size();
    }
    return image;
}

} // namespace tolvane
