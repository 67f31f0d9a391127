import QtQml
import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Account
import Lumora.Info
import Lumora.Home
import Lumora.Location
import Lumora.Shell

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
        case "location": return table.location
        case "node": return table.node
        case "tag": return table.tag
        default: return table.placeholder
        }
    }
}
