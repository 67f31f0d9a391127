#pragma once

#include <QPointer>
#include <QSize>
#include <QWindow>

#include <optional>

namespace lumora {

// The main window's fixed size; pages fill it and the page slide moves by its width.
inline constexpr QSize kMainWindowSize{400, 660};

// True only in store builds (fixed at build time); read once.
bool isAppStoreBuild();
// Test seam: makes isAppStoreBuild() answer `value` until reset with none. GUI thread only.
void setAppStoreBuildForTesting(std::optional<bool> value);

// The one main window, set by the composition root when it exists; none before. GUI thread only.
QWindow* mainWindow();
void setMainWindow(QWindow* window);

}  // namespace lumora
