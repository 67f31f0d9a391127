#pragma once

namespace lumora {

// The toolkit's own messages (QML warnings, qWarning from our code and from Qt) go to the
// console log as its other lines do, and so into its file copy. Debug messages are dropped, as
// the console log drops its own; a fatal message is logged before the program aborts.
void routeQtMessagesToConsoleLog();

}  // namespace lumora
