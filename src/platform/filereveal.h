#pragma once

#include <QString>

#include <functional>

namespace tolvane {

// Shows a file in the desktop's file viewer: the freedesktop FileManager1
// ShowItems call on the session bus, which opens the folder with the file
// selected. Without a session bus, or when no file manager answers within a
// few seconds, the folder is opened with the desktop's default handler
// instead. Returns at once; the call completes on the event loop.
void revealInFileViewer(const QString& path);

// The same with the fallback given, for tests that must not open anything.
void revealInFileViewer(const QString& path, std::function<void(const QString& folder)> fallback);

} // namespace tolvane
