#include "video/fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QLoggingCategory>
#include <QStringList>

#include <mutex>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcFonts, "tolvane.media.fonts")

namespace tolvane::Fonts {

namespace {

struct Loaded {
    QString heavyFamily;
    QString boldFamily;
    QString problem;
};

QString loadFile(const char* file, QStringList& problems) {
    const QString path = QString::fromUtf8(file);
    if (!QFile::exists(path)) {
        problems << u"missing font file %1 (install fonts-roboto-unhinted)"_s.arg(path);
        return {};
    }
    const int id = QFontDatabase::addApplicationFont(path);
    const QStringList families =
        id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
    if (families.isEmpty()) {
        problems << u"could not load font file %1"_s.arg(path);
        return {};
    }
    return families.first();
}

const Loaded& loaded() {
    static Loaded result;
    static std::once_flag once;
    std::call_once(once, [] {
        QStringList problems;
        result.heavyFamily = loadFile(heavyFontFile, problems);
        result.boldFamily = loadFile(boldFontFile, problems);
        result.problem = problems.join(u"; "_s);
        if (!result.problem.isEmpty()) {
            qCWarning(lcFonts) << "drawing with the system sans-serif face:" << result.problem;
        }
    });
    return result;
}

QFont make(const QString& family, QFont::Weight weight, qreal pixelSize) {
    QFont font;
    if (family.isEmpty()) {
        font.setStyleHint(QFont::SansSerif);
        font.setFamilies({u"sans-serif"_s});
    } else {
        font.setFamilies({family});
    }
    font.setWeight(weight);
    font.setPixelSize(qMax(1, qRound(pixelSize)));
    // The pictures are scaled when shown; hinting to this pixel grid would only
    // distort the glyphs.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace

QFont heavyFont(qreal pixelSize) {
    return make(loaded().heavyFamily, QFont::Black, pixelSize);
}

QFont boldFont(qreal pixelSize) {
    return make(loaded().boldFamily, QFont::Bold, pixelSize);
}

QString loadProblem() {
    return loaded().problem;
}

} // namespace tolvane::Fonts
