#pragma once

// The static QML modules of the user interface. Include in exactly one source file of each
// executable that shows the interface.

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Lumora_BasePlugin)
Q_IMPORT_QML_PLUGIN(Lumora_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(Lumora_AccountPlugin)
Q_IMPORT_QML_PLUGIN(Lumora_InfoPlugin)
Q_IMPORT_QML_PLUGIN(Lumora_HomePlugin)
Q_IMPORT_QML_PLUGIN(Lumora_ConnectionPlugin)
Q_IMPORT_QML_PLUGIN(Lumora_DiagnosisPlugin)
Q_IMPORT_QML_PLUGIN(Lumora_LocationPlugin)
Q_IMPORT_QML_PLUGIN(Lumora_ShellPlugin)
Q_IMPORT_QML_PLUGIN(Lumora_StorePlugin)
