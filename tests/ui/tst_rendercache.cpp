#include "ui/chat/rendercache.h"

#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolvane;

namespace {

// The rich text without the wrapper that keeps white space as typed.
QString body(const QString& html) {
    const QString open = u"<span style=\"white-space: pre-wrap\">"_s;
    const QString close = u"</span>"_s;
    if (!html.startsWith(open) || !html.endsWith(close)) {
        return u"<unwrapped>"_s + html;
    }
    return html.mid(open.size(), html.size() - open.size() - close.size());
}

QList<QUuid> newIds(int count) {
    QList<QUuid> ids;
    for (int i = 0; i < count; ++i) {
        ids.append(QUuid::createUuid());
    }
    return ids;
}

} // namespace

class TestRenderCache : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void displayText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("display");
        QTest::newRow("trailing markdown edit link")
            << "Here is your draft.\n\n[Open the editor](https://app.example.com/edit/tok123)"
            << "Here is your draft.";
        QTest::newRow("markdown edit link mid-sentence")
            << "See [this](https://app.example.com/edit/t) now."
            << "See now.";
        QTest::newRow("bare edit address keeps the next line")
            << "Line one\n\nLine two https://app.example.com/edit/tok\nmore"
            << "Line one\n\nLine two\nmore";
        QTest::newRow("lead-in, pointer and address")
            << "Draft saved. Go here to edit the post: \U0001F447 https://x.example/edit/abc"
            << "Draft saved.";
        QTest::newRow("lead-in before a markdown link")
            << "Go here to edit the post: [open](http://x.example/edit/abc)"
            << "";
        QTest::newRow("other links stay")
            << "Read [the guide](https://x.example/guide) or https://x.example/docs"
            << "Read [the guide](https://x.example/guide) or https://x.example/docs";
        QTest::newRow("lone pointing down") << "\U0001F447"
                                            << "";
        QTest::newRow("every symbol")
            << "\U0001F447\U0001F446\U0001F449\U0001F448 a \u261D\uFE0F\u270F\uFE0F\U0001F4DD b "
               "\u270D\uFE0F\U0001F58A\uFE0F\U0001F58B\uFE0F"
            << "a  b";
        QTest::newRow("outer white space and line breaks trimmed, inner kept")
            << " \n\t Hello\n\n  world \n "
            << "Hello\n\n  world";
    }
    void displayText() {
        QFETCH(QString, text);
        QFETCH(QString, display);
        QCOMPARE(RenderCache::displayText(text), display);
    }

    void inlineMarkdown_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("html");
        QTest::newRow("strong") << "a **bold** b"
                                << "a <b>bold</b> b";
        QTest::newRow("strong with underscores") << "__bold__"
                                                 << "<b>bold</b>";
        QTest::newRow("emphasis") << "an *idea*"
                                  << "an <i>idea</i>";
        QTest::newRow("strikethrough") << "~~old~~ new"
                                       << "<s>old</s> new";
        QTest::newRow("nested") << "**bold *and* more**"
                                << "<b>bold <i>and</i> more</b>";
        QTest::newRow("code keeps its stars") << "`a *b* c`"
                                              << "<code>a *b* c</code>";
        QTest::newRow("link") << "[the guide](https://x.example/g?a=1&b=2)"
                              << "<a href=\"https://x.example/g?a=1&amp;b=2\">the guide</a>";
        QTest::newRow("emphasis inside link text")
            << "[**big**](https://x.example)"
            << "<a href=\"https://x.example\"><b>big</b></a>";
        QTest::newRow("bare address") << "go to https://x.example/a now"
                                      << "go to <a href=\"https://x.example/a\">"
                                         "https://x.example/a</a> now";
        QTest::newRow("spaced stars are arithmetic") << "2 * 3 * 4"
                                                     << "2 * 3 * 4";
        QTest::newRow("snake case") << "use my_var_name here"
                                    << "use my_var_name here";
        QTest::newRow("unclosed") << "**open"
                                  << "**open";
        QTest::newRow("escaped star") << "\\*not\\*"
                                      << "*not*";
        QTest::newRow("markup escaped") << "<b>x</b> & y"
                                        << "&lt;b&gt;x&lt;/b&gt; &amp; y";
        QTest::newRow("line breaks") << "one\ntwo"
                                     << "one<br>two";
        QTest::newRow("block markers stay") << "# Title\n- item\n1. first"
                                            << "# Title<br>- item<br>1. first";
    }
    void inlineMarkdown() {
        QFETCH(QString, text);
        QFETCH(QString, html);
        QCOMPARE(body(RenderCache::inlineMarkdownToHtml(text)), html);
    }

    void renderShowsDisplayAndHtml() {
        RenderCache cache;
        const auto rendered = cache.render(
            QUuid::createUuid(), "**Done.** [Edit](https://x.example/edit/tok) \U0001F447");
        QCOMPARE(rendered.display, QString("**Done.**"));
        QCOMPARE(body(rendered.html), QString("<b>Done.</b>"));
    }

    void sameTextParsesOnce() {
        RenderCache cache;
        const QUuid a = QUuid::createUuid();
        cache.render(a, "hello");
        cache.render(a, "hello");
        QCOMPARE(cache.parseCount(), 1);
        // Same text under another id is its own entry.
        cache.render(QUuid::createUuid(), "hello");
        QCOMPARE(cache.parseCount(), 2);
    }

    void evictsTheOldestAfterCapacity_data() {
        QTest::addColumn<int>("others");
        QTest::addColumn<bool>("parsedAgain");
        QTest::newRow("one short of full keeps it") << int(RenderCache::capacity) - 1 << false;
        QTest::newRow("a full table of others evicts it") << int(RenderCache::capacity) << true;
    }
    void evictsTheOldestAfterCapacity() {
        QFETCH(int, others);
        QFETCH(bool, parsedAgain);
        RenderCache cache;
        const QUuid a = QUuid::createUuid();
        cache.render(a, "A");
        for (const QUuid& id : newIds(others)) {
            cache.render(id, "other");
        }
        QVERIFY(cache.size() <= RenderCache::capacity);
        const qsizetype before = cache.parseCount();
        cache.render(a, "A");
        QCOMPARE(cache.parseCount() - before, parsedAgain ? 1 : 0);
    }

    void growingTextKeepsItsPlace() {
        RenderCache cache;
        const QUuid a = QUuid::createUuid();
        cache.render(a, "Hel");
        const QList<QUuid> others = newIds(int(RenderCache::capacity) - 1);
        for (const QUuid& id : others) {
            cache.render(id, "other");
        }
        // The streamed reply grows: parsed again at each change.
        QCOMPARE(cache.render(a, "Hello").display, QString("Hello"));
        QCOMPARE(cache.render(a, "Hello **you**").display, QString("Hello **you**"));
        QCOMPARE(cache.parseCount(), 1 + others.size() + 2);
        QCOMPARE(cache.size(), RenderCache::capacity);

        // Still the oldest: the next new message evicts it, not the second one.
        cache.render(QUuid::createUuid(), "newest");
        qsizetype before = cache.parseCount();
        cache.render(others.first(), "other");
        QCOMPARE(cache.parseCount(), before);
        before = cache.parseCount();
        cache.render(a, "Hello **you**");
        QCOMPARE(cache.parseCount(), before + 1);
    }
};

QTEST_GUILESS_MAIN(TestRenderCache)
#include "tst_rendercache.moc"
