#include "intent.h"
#include "intentsupport.h"
#include "previewrenderer.h"
#include "store.h"
#include "textcut.h"

using namespace Qt::StringLiterals;

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
    t.intent = u"carousel"_s;
    bool known = themeKey.isEmpty();
    for (const auto& th : PreviewRenderer::themes()) {
        known = known || th.key == themeKey;
    }
    if (!known) {
        QStringList keys;
        for (const auto& th : PreviewRenderer::themes()) {
            keys.append(u"`%1`"_s.arg(th.key));
        }
        t.label = u"List carousel themes"_s;
        t.reply = u"I don't have a theme called “%1”. Themes: %2. Try “/carousel "
                  "mint”."_s.arg(themeKey, keys.join(u", "_s));
        return t;
    }
    if (!themeKey.isEmpty()) {
        c.store.setState(c.userID, stateTheme, themeKey);
    }
    const PreviewRenderer::Theme theme =
        PreviewRenderer::theme(c.store.state(c.userID, stateTheme));

    const std::optional<Draft> last = c.store.latestDraft(c.userID);
    QStringList slides;
    QString source;
    if (last) {
        QStringList paragraphs = last->text.split(u"\n\n"_s, Qt::SkipEmptyParts);
        if (!paragraphs.isEmpty() && paragraphs.last().startsWith(QLatin1Char('#'))) {
            paragraphs.removeLast();
        }
        QStringList points;
        for (qsizetype i = 1; i < paragraphs.size(); ++i) {
            for (const QString& line : paragraphs[i].split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                points.append(line.trimmed());
            }
        }
        slides.append(paragraphs.value(0).trimmed());
        const QString cta = points.isEmpty() ? QString() : points.takeLast();
        slides.append(points.mid(0, 6));
        slides.append(cta.isEmpty() ? u"Follow for more."_s : cta);
        source = quoteFirstLine(last->text);
    } else {
        slides = {u"Your carousel title goes here"_s, u"One idea per slide keeps people swiping."_s,
                  u"Short sentences. Big type."_s, u"End with a question or a next step."_s};
    }
    for (QString& s : slides) {
        s = textcut::elide(s, 160);
    }
    c.status(
        u"Rendering %1 slides in the %2 theme…"_s.arg(slides.size()).arg(theme.name.toLower()));
    const QString author = c.store.memory(c.userID, u"name"_s);
    const QList<QByteArray> pngs = PreviewRenderer::renderCarousel(slides, author, theme);
    const QString group = u"carousel-"_s + Store::newToken();
    for (qsizetype i = 0; i < pngs.size(); ++i) {
        t.images.append(
            {pngs[i], u"image/png"_s, u"Slide %1 of %2"_s.arg(i + 1).arg(pngs.size()), group});
    }
    t.label = u"Render a carousel"_s;
    t.toolCalls.append(toolCall(u"render_carousel"_s,
                                {{u"theme"_s, theme.key}, {u"slides"_s, int(slides.size())}}));
    QStringList keys;
    for (const auto& th : PreviewRenderer::themes()) {
        keys.append(u"`%1`"_s.arg(th.key));
    }
    t.reply = (last ? u"Here's %1 as a carousel in the **%2** theme."_s.arg(source, theme.name)
                    : u"No draft yet, so here's a sample in the **%1** theme. Draft "
                      "a post and run /carousel again to get your own slides."_s.arg(theme.name)) +
              u"\n\nOther themes: %1 — “/carousel mint” switches."_s.arg(keys.join(u", "_s));
    return t;
}

} // namespace

std::unique_ptr<IntentHandler> makeCarouselIntent() {
    return std::make_unique<CarouselIntent>();
}

} // namespace tolvane::coach
