#pragma once

class QQmlEngine;

namespace tolvane {

// Makes the view-model types creatable from the views ("import Tolvane").
void registerQmlTypes();

// The image providers the views address: "image://tolvane/..." for message
// and preview images, "image://icon/..." for tinted icons.
void installImageProviders(QQmlEngine& engine);

} // namespace tolvane
