import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Connection

// The advanced settings: four switches and two choice lists, each written straight into the
// app-wide state (which stores it), then the links to the proxy rules and, in store builds
// while the service offers no other way, to account deletion.
Rectangle {
    id: page
    objectName: "advancedSettingsView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    Column {
        width: parent.width
        spacing: 8

        PageBand {}

        MenuItemView {
            objectName: "row_commadnProxy"
            visible: AdvancedSettings.showTerminalProxy
            name: "Terminal Proxy"
            boolTarget: AppStateManager
            boolProperty: "commadnProxy"
        }
        MenuItemView {
            objectName: "row_reconnect"
            name: "Disconnect Optimization"
            boolTarget: AppStateManager
            boolProperty: "reconnect"
        }
        MenuItemView {
            objectName: "row_status"
            name: "Menu Bar Icon"
            boolTarget: AppStateManager
            boolProperty: "status"
        }
        MenuItemView {
            objectName: "row_systemProxy"
            name: "Do not automatically open the system proxy"
            boolTarget: AppStateManager
            boolProperty: "systemProxy"
        }
        MenuItemView {
            objectName: "row_dns"
            name: "Customized DNS"
            info: "Customized DNS tips"
            textTarget: AppStateManager
            textProperty: "dns"
            list: AdvancedSettings.dnsChoices()
        }
        MenuItemView {
            objectName: "row_dnsStrategy"
            name: "routing strategy"
            info: "routing strategy tips"
            textTarget: AppStateManager
            textProperty: "dnsStrategy"
            list: AdvancedSettings.strategyChoices
        }
        Rectangle {
            objectName: "advancedDivider"
            width: parent.width
            height: 1
            color: Theme.gray
        }
        MenuItemView {
            objectName: "row_proxyRulues"
            name: "Proxy Rules"
            route: "proxyRulues"
        }
        MenuItemView {
            objectName: "row_delete"
            visible: AdvancedSettings.showDeleteAccount
            name: "delete account"
            route: "delete"
        }
    }
}
