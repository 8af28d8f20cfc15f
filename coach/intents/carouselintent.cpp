#include "intent.h"
#include "intentsupport.h"
#include "previewrenderer.h"
#include "store.h"
#include "textcut.h"

namespace tolvane::coach {

using namespace intents;

namespace {

class CarouselIntent final : public IntentHandler {
public:
    CoachTurn handle(const IntentContext& c, const IntentArgs& a) override;
};

CoachTurn CarouselIntent::handle(const IntentContext& c, const IntentArgs& a) {
    const QString themeKey = a.arg.toLower();
    CoachTurn t;
    t.intent = QStringLiteral("carousel");
    bool known = themeKey.isEmpty();
    for (const auto& th : PreviewRenderer::themes())
        known = known || th.key == themeKey;
    if (!known) {
        QStringList keys;
        for (const auto& th : PreviewRenderer::themes())
            keys.append(QStringLiteral("`%1`").arg(th.key));
        t.label = QStringLiteral("List carousel themes");
        t.reply = QStringLiteral("I don't have a theme called “%1”. Themes: %2. Try “/carousel "
                                 "mint”.")
                      .arg(themeKey, keys.join(QStringLiteral(", ")));
        return t;
    }
    if (!themeKey.isEmpty())
        c.store.setState(c.userId, stateTheme, themeKey);
    const PreviewRenderer::Theme theme =
        PreviewRenderer::theme(c.store.state(c.userId, stateTheme));

    const std::optional<Draft> last = c.store.latestDraft(c.userId);
    QStringList slides;
    QString source;
    if (last) {
        QStringList paragraphs = last->text.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
        if (!paragraphs.isEmpty() && paragraphs.last().startsWith(QLatin1Char('#')))
            paragraphs.removeLast();
        QStringList points;
        for (qsizetype i = 1; i < paragraphs.size(); ++i) {
            for (const QString& line : paragraphs[i].split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                points.append(line.trimmed());
        }
        slides.append(paragraphs.value(0).trimmed());
        const QString cta = points.isEmpty() ? QString() : points.takeLast();
        slides.append(points.mid(0, 6));
        slides.append(cta.isEmpty() ? QStringLiteral("Follow for more.") : cta);
        source = quoteFirstLine(last->text);
    } else {
        slides = {QStringLiteral("Your carousel title goes here"),
                  QStringLiteral("One idea per slide keeps people swiping."),
                  QStringLiteral("Short sentences. Big type."),
                  QStringLiteral("End with a question or a next step.")};
    }
    for (QString& s : slides)
        s = textcut::elide(s, 160);
    c.status(QStringLiteral("Rendering %1 slides in the %2 theme…")
                 .arg(slides.size())
                 .arg(theme.name.toLower()));
    const QString author = c.store.memory(c.userId, QStringLiteral("name"));
    const QList<QByteArray> pngs = PreviewRenderer::renderCarousel(slides, author, theme);
    const QString group = QStringLiteral("carousel-") + Store::newToken();
    for (qsizetype i = 0; i < pngs.size(); ++i)
        t.images.append({pngs[i], QStringLiteral("image/png"),
                         QStringLiteral("Slide %1 of %2").arg(i + 1).arg(pngs.size()), group});
    t.label = QStringLiteral("Render a carousel");
    t.toolCalls.append(toolCall(
        QStringLiteral("render_carousel"),
        {{QStringLiteral("theme"), theme.key}, {QStringLiteral("slides"), int(slides.size())}}));
    QStringList keys;
    for (const auto& th : PreviewRenderer::themes())
        keys.append(QStringLiteral("`%1`").arg(th.key));
    t.reply = (last ? QStringLiteral("Here's %1 as a carousel in the **%2** theme.")
                          .arg(source, theme.name)
                    : QStringLiteral("No draft yet, so here's a sample in the **%1** theme. Draft "
                                     "a post and run /carousel again to get your own slides.")
                          .arg(theme.name)) +
              QStringLiteral("\n\nOther themes: %1 — “/carousel mint” switches.")
                  .arg(keys.join(QStringLiteral(", ")));
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeCarouselIntent() {
    return std::make_unique<CarouselIntent>();
}

} // namespace tolvane::coach
