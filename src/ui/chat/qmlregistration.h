#pragma once

class QQmlEngine;

namespace tolvane {

// Registers the "Tolvane" module: the views' types, singletons and enums.
void registerQmlTypes();

// The image providers the views address: "image://tolvane/..." for message
// and preview images, "image://icon/..." for tinted icons.
void installImageProviders(QQmlEngine& engine);

} // namespace tolvane
