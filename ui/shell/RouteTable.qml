import QtQml
import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Info
import Lumora.Shell

// The page of every route. Routes whose page is not built yet show a titled placeholder.
QtObject {
    id: table

    property Component initial: Component { InitalizeView {} }
    property Component about: Component { AboutView {} }
    property Component notify: Component { NotifyListView {} }
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
        case "notify": return table.notify
        default: return table.placeholder
        }
    }
}
