#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tolvane::linkedinpreview {

// The texts of the LinkedIn-style card beside the draft editor.

inline const QString bodyPlaceholder = QStringLiteral("Your post preview appears here…");
inline const QString footer = QStringLiteral("Like · Comment · Repost");
// Before the globe symbol of the meta line.
inline const QString meta = QStringLiteral("now · ");

// The author's name, or "Your Name" when there is none.
QString name(const QString& authorName);
// The letter on the avatar circle: the name's first character after spaces and
// tabs, upper-cased, or "Y" when the name is blank.
QString initial(const QString& authorName);
// The headline when it holds more than spaces, else the handle; empty when the
// card shows no subtitle.
QString subtitle(const QString& headline, const QString& handle);
// The post text, or the placeholder while it is empty.
QString body(const QString& text);

// A data URL for the profile picture when `base64` decodes to an image, so the
// view can show it without an image provider.
std::optional<QUrl> avatarUrl(const std::optional<QString>& base64);

} // namespace tolvane::linkedinpreview
