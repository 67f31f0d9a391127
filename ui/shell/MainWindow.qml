import QtQuick
import QtQuick.Window
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Shell

// The one main window: a fixed 400 by 660 page host with its overlays and the right-click menu.
// The desktop has no application menu, so "about" and "Language" sit in this menu too.
Window {
    id: window
    objectName: "mainWindow"
    width: Theme.pageWidth
    height: Theme.pageHeight
    minimumWidth: Theme.pageWidth
    maximumWidth: Theme.pageWidth
    minimumHeight: Theme.pageHeight
    maximumHeight: Theme.pageHeight
    color: "white"
    title: ShellActions.isAppStore ? "Tarnel ver: " + ShellActions.version : AppStateManager.appTitle
    visible: true

    // A language of the context menu: checked while it is the current one, whatever was clicked.
    component LanguageItem: MenuItem {
        property string code
        objectName: "language_" + code
        checkable: true
        checked: AppStateManager.currentLanguage === code
        onTriggered: {
            ShellActions.setLanguage(code)
            // The click toggled the check and so ended its binding (choosing the current
            // language again would leave it unchecked): bind it to the language once more.
            checked = Qt.binding(() => AppStateManager.currentLanguage === code)
        }
    }

    MainContent {
        id: content
        anchors.fill: parent
    }
    // The window's keys (Escape) are the content's to handle: when the item that had the
    // keyboard goes (a page closed under its field), the content takes it back. Only while the
    // window is in front: in the background its keyboard rests with the window itself, and coming
    // to the front gives it back to the field that had it (taking it then would leave the field
    // without keys); when that field went meanwhile, the content takes it on coming back.
    function takeKeysWhenNobodyHasThem() {
        if (window.active && (!activeFocusItem || activeFocusItem === contentItem))
            content.forceActiveFocus()
    }
    onActiveFocusItemChanged: takeKeysWhenNobodyHasThem()
    onActiveChanged: takeKeysWhenNobodyHasThem()

    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.RightButton
        onPressed: (mouse) => contextMenu.popup()
    }

    Menu {
        id: contextMenu
        objectName: "contextMenu"

        MenuItem {
            visible: !ShellActions.isAppStore
            height: visible ? implicitHeight : 0
            //% "Visit Official Website"
            text: qsTrId("visit official website")
            onTriggered: ShellActions.openOfficialWebsite()
        }
        MenuItem {
            visible: !ShellActions.isAppStore
            height: visible ? implicitHeight : 0
            //% "Check for Updates"
            text: qsTrId("Check For Updates")
            onTriggered: ShellActions.checkUpdate()
        }
        Menu {
            //% "Advanced"
            title: qsTrId("Advanced")
            //% "Debug Log"
            MenuItem { text: qsTrId("Debug Log"); onTriggered: ShellActions.openDebugLog() }
            //% "Clear Cache"
            MenuItem { text: qsTrId("Clear Cache"); onTriggered: ShellActions.clearCache() }
        }
        Menu {
            id: toolsMenu
            //% "Tools"
            title: qsTrId("Tools")
            // Made when the menu opens, so the ports are the engine's current ones.
            onAboutToShow: {
                httpItem.text = ShellActions.httpPortText()
                socksItem.text = ShellActions.socksPortText()
            }
            MenuItem { id: httpItem }
            MenuItem { id: socksItem }
        }
        Menu {
            //% "Shortcuts"
            title: qsTrId("Shortcut")
            //% "Settings"
            MenuItem { text: qsTrId("Settings"); onTriggered: ShellActions.openPage("settings") }
            //% "Advanced Settings"
            MenuItem { text: qsTrId("Advanced Settings"); onTriggered: ShellActions.openPage("advanced") }
            //% "Connection"
            MenuItem { text: qsTrId("Connection"); onTriggered: ShellActions.openPage("connection") }
            //% "Network Diagnosis"
            MenuItem { text: qsTrId("Network Diagnosis"); onTriggered: ShellActions.openPage("diagnsis") }
            //% "Device Manager"
            MenuItem { text: qsTrId("Devices Manager"); onTriggered: ShellActions.openPage("devices") }
        }
        Menu {
            objectName: "contextMenuLanguageMenu"
            //% "Language"
            title: qsTrId("Language")
            LanguageItem { text: "English"; code: "en" }
            LanguageItem { text: "简体中文"; code: "zh-Hans" }
            LanguageItem { text: "繁體中文"; code: "zh-Hant" }
        }
        //% "About"
        MenuItem { text: qsTrId("about"); onTriggered: ShellActions.openPage("about") }
        MenuSeparator {}
        //% "Restart"
        MenuItem { text: qsTrId("Restart"); onTriggered: ShellActions.restart() }
        //% "Quit"
        MenuItem { text: qsTrId("quit"); onTriggered: ShellActions.quit() }
    }
}
