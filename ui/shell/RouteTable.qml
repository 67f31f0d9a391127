import QtQml
import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Account
import Lumora.Info
import Lumora.Home
import Lumora.Connection
import Lumora.Diagnosis
import Lumora.Location
import Lumora.Shell
import Lumora.Store

// The page of every route. Routes whose page is not built yet show a titled placeholder.
QtObject {
    id: table

    property Component initial: Component { InitalizeView {} }
    property Component about: Component { AboutView {} }
    property Component login: Component { LoginView {} }
    property Component verify: Component { VerifyView {} }
    property Component menu: Component { MainMenuView {} }
    property Component main: Component { MainView {} }
    property Component notify: Component { NotifyListView {} }
    property Component settings: Component { SettingsView {} }
    property Component changePWD: Component { ChangePasswordView {} }
    property Component devices: Component { DeviceManagerView {} }
    property Component upgrade: Component { UpgradeDeviceView {} }
    property Component deleteAccount: Component { DeleteAccountView {} }
    property Component feedback: Component { FeedbackView {} }
    property Component advanced: Component { AdvancedSettingsView {} }
    property Component proxyRulues: Component { ProxyRuluesView {} }
    property Component shop: Component { ShopView {} }
    property Component discount: Component { CouponsView {} }
    property Component share: Component { ShareView {} }
    property Component connection: Component { ConnectionView {} }
    property Component mobile: Component { MobileAppView {} }
    property Component diagnsis: Component { NetworkDiagnosisView {} }
    property Component tools: Component { ToolsView {} }
    property Component location: Component { CountriesView {} }
    property Component node: Component { NodesView {} }
    property Component tag: Component { TagsView {} }
    property Component placeholder: Component {
        PlaceholderPage {
            // The loader that shows a page carries its route.
            readonly property var route: parent ? parent.route : undefined
            title: !route ? "" : route.title !== "" ? qsTrId(route.title) : route.name
        }
    }

    function pageFor(route) {
        if (route === undefined || route === null)
            return null
        switch (route.name) {
        case "initial": return table.initial
        case "about": return table.about
        case "login": return table.login
        case "verify": return table.verify
        case "menu": return table.menu
        case "main": return table.main
        case "notify": return table.notify
        case "settings": return table.settings
        case "changePWD": return table.changePWD
        case "devices": return table.devices
        case "upgrade": return table.upgrade
        // Only store builds offer the way here (and the page deletes nothing elsewhere).
        case "delete": return table.deleteAccount
        case "feedback": return table.feedback
        case "advanced": return table.advanced
        case "proxyRulues": return table.proxyRulues
        case "shop": return StoreFlags.shopAvailable() ? table.shop : table.placeholder
        case "discount": return table.discount
        case "share": return table.share
        case "connection": return table.connection
        case "mobile": return table.mobile
        case "diagnsis": return table.diagnsis
        case "tools": return table.tools
        case "location": return table.location
        case "node": return table.node
        case "tag": return table.tag
        default: return table.placeholder
        }
    }
}
